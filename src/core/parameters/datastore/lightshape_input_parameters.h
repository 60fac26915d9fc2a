#pragma once

#include "core/parameters/datastore/builtin_parameter.h"
#include "core/parameters/integer_raw_parameter.h"

namespace tarvesk::core {

// The inputs from which a lightshape profile is computed. They are hidden;
// users see them (access level "user_basic") only on drivers whose
// lightshape is enabled, everyone else at level "dev".

// Applies that rule to a parameter; a driver that cannot be asked leaves it at
// "dev" with a warning (whose text starts with warningPrefix) in the default
// category.
void applyLightShapeInputVisibility(RawParameter& parameter, const QString& warningPrefix = QString());

// An input that lives only in the parameter (address -1), hidden by the rule.
class LightShapeInputParameter : public RawParameter
{
    Q_OBJECT
public:
    LightShapeInputParameter(const QString& identifier, const QString& warningPrefix = QString());
    void setParameterDependencies() override { applyLightShapeInputVisibility(*this, _warningPrefix); }

private:
    QString _warningPrefix;
};

// The path CCT limits: kelvin for clients, mirek in the driver's words 180 and 181.
class LightShapeCctLimitParameter : public IntegerRawParameter
{
    Q_OBJECT
public:
    LightShapeCctLimitParameter(const QString& identifier, int address);
    int setRawValue(QVariant value) override;
    int readRawValue(QVariant& out) override;
    void setParameterDependencies() override { applyLightShapeInputVisibility(*this); }
};

class LightShapeCctMinParameter : public LightShapeCctLimitParameter
{
    Q_OBJECT
public:
    LightShapeCctMinParameter();
    QM_BUILTIN_CLONE(LightShapeCctMinParameter)
};

class LightShapeCctMaxParameter : public LightShapeCctLimitParameter
{
    Q_OBJECT
public:
    LightShapeCctMaxParameter();
    QM_BUILTIN_CLONE(LightShapeCctMaxParameter)
};

#define QM_LIGHTSHAPE_INPUT(Class)                                                                           \
    class Class : public LightShapeInputParameter                                                            \
    {                                                                                                        \
    public:                                                                                                  \
        Class();                                                                                             \
        QM_BUILTIN_CLONE(Class)                                                                              \
    };

QM_LIGHTSHAPE_INPUT(LightShapeLuminousFluxCs1Parameter)
QM_LIGHTSHAPE_INPUT(LightShapeLuminousFluxCs2Parameter)
QM_LIGHTSHAPE_INPUT(LightShapeCctOutput1Parameter)
QM_LIGHTSHAPE_INPUT(LightShapeCctOutput2Parameter)
QM_LIGHTSHAPE_INPUT(LightShapeLuminousFluxOptimizationMethodParameter)
QM_LIGHTSHAPE_INPUT(LightShapeMaximumLuminousFluxParameter)
QM_LIGHTSHAPE_INPUT(LightShapeForwardVoltage1Parameter)
QM_LIGHTSHAPE_INPUT(LightShapeForwardVoltage2Parameter)

#undef QM_LIGHTSHAPE_INPUT

// Warm dimming or tunable white: follows from the driver (two channels always
// tune) and, on single-channel drivers, from "light_shaping_dt8"; its one
// option is rebuilt at each read.
class LightShapeControlStrategyParameter : public RawParameter
{
    Q_OBJECT
public:
    LightShapeControlStrategyParameter();
    QM_BUILTIN_CLONE(LightShapeControlStrategyParameter)
    void setParameterDependencies() override;
};

// Profile inputs without dependencies, kept in the parameter.
#define QM_LIGHTSHAPE_PLAIN(Class)                                                                           \
    class Class : public RawParameter                                                                        \
    {                                                                                                        \
    public:                                                                                                  \
        Class();                                                                                             \
        QM_BUILTIN_CLONE(Class)                                                                              \
    };

QM_LIGHTSHAPE_PLAIN(LightShapeVersionParameter)
QM_LIGHTSHAPE_PLAIN(LightShapeLedCurrentOutput1Parameter)
QM_LIGHTSHAPE_PLAIN(LightShapeLedCurrentOutput2Parameter)
QM_LIGHTSHAPE_PLAIN(LightShapeIsDt8Parameter)

#undef QM_LIGHTSHAPE_PLAIN

} // namespace tarvesk::core
