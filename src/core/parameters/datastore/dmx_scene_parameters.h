#pragma once

#include "core/parameters/bool_raw_parameter.h"
#include "core/parameters/datastore/builtin_parameter.h"
#include "core/parameters/integer_raw_parameter.h"

namespace tarvesk::core {

// One output's level (0..255) in one of the two DMX scenes of a Presmonde
// driver. The words 10 to 13 hold two outputs each, the odd output in the
// low byte and the even one in the high byte; a write changes only its own
// byte. Levels are read only on cores from 21.3 on.
class DmxSceneOutputParameter : public IntegerRawParameter
{
    Q_OBJECT

public:
    DmxSceneOutputParameter(int scene, int output);

    // ITF_ERR_INVALID_PARAM for a level outside 0..255, before any access.
    int setRawValue(QVariant value) override;
    int readRawValue(QVariant& out) override;

protected:
    bool isHighByte() const { return _output % 2 == 0; }
    int readLevel(QVariant& out, const QString& notSupportedText);

private:
    int _output;
};

#define QM_DMX_SCENE_OUTPUT(Class, scene, output)                                                            \
    class Class : public DmxSceneOutputParameter                                                             \
    {                                                                                                        \
    public:                                                                                                  \
        Class()                                                                                              \
            : DmxSceneOutputParameter(scene, output)                                                         \
        { }                                                                                                  \
        QM_BUILTIN_CLONE(Class)                                                                              \
    };

QM_DMX_SCENE_OUTPUT(DmxScene1Output1Parameter, 1, 1)
QM_DMX_SCENE_OUTPUT(DmxScene1Output2Parameter, 1, 2)
QM_DMX_SCENE_OUTPUT(DmxScene1Output3Parameter, 1, 3)
QM_DMX_SCENE_OUTPUT(DmxScene1Output4Parameter, 1, 4)
QM_DMX_SCENE_OUTPUT(DmxScene2Output1Parameter, 2, 1)
QM_DMX_SCENE_OUTPUT(DmxScene2Output2Parameter, 2, 2)
QM_DMX_SCENE_OUTPUT(DmxScene2Output3Parameter, 2, 3)

#undef QM_DMX_SCENE_OUTPUT

// The last output of scene 2 reports a failed core version check or read at
// debug level and gives no value, where the others let the failure through.
class DmxScene2Output4Parameter : public DmxSceneOutputParameter
{
    Q_OBJECT
public:
    DmxScene2Output4Parameter();
    QM_BUILTIN_CLONE(DmxScene2Output4Parameter)
    int readRawValue(QVariant& out) override;
};

// The most current all outputs may take together; kept in the parameter.
class CumulativeCurrentParameter : public RawParameter
{
    Q_OBJECT
public:
    CumulativeCurrentParameter();
    QM_BUILTIN_CLONE(CumulativeCurrentParameter)
};

// Whether all outputs take the same current; address -1 of the raw interface.
class EqualOutputParameter : public BoolRawParameter
{
    Q_OBJECT
public:
    EqualOutputParameter();
    QM_BUILTIN_CLONE(EqualOutputParameter)
};

} // namespace tarvesk::core
