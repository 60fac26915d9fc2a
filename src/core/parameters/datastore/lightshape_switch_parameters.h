#pragma once

#include "core/parameters/bool_raw_parameter.h"
#include "core/parameters/datastore/builtin_parameter.h"

namespace tarvesk::core {

// The lightshape switches held in the driver's bytes 0x3FE6 and 105.

// Bit 5 of 0x3FE6: the driver's configuration enables lightshape.
class LightShapeEnableParameter : public BoolRawParameter
{
    Q_OBJECT
public:
    LightShapeEnableParameter();
    QM_BUILTIN_CLONE(LightShapeEnableParameter)
};

// Bit 7 of byte 105: lightshape runs. Switching it also writes the active
// flag at 81 on drivers of drive type 0 or 1, and rewrites byte 105 to its
// bits 0, 1 and 7 with the DALI dim curve bit set.
class LightShapeActiveParameter : public BoolRawParameter
{
    Q_OBJECT
public:
    static constexpr int DriveTypeAddress = 52;
    static constexpr int ActiveFlagAddress = 81;

    LightShapeActiveParameter();
    QM_BUILTIN_CLONE(LightShapeActiveParameter)

    int setRawValue(QVariant value) override;
    // Shown to users only where lightshape is enabled; a stored true on a
    // driver without lightshape is switched off in the driver.
    void setParameterDependencies() override;
};

// Bit 2 of byte 105.
class LightShapeDimCurveOverrideParameter : public BoolRawParameter
{
    Q_OBJECT
public:
    LightShapeDimCurveOverrideParameter();
    QM_BUILTIN_CLONE(LightShapeDimCurveOverrideParameter)
};

// A profile input with no place in the driver (address -1): the raw
// interface decides what it holds there.
class LightShapeCustomVfParameter : public BoolRawParameter
{
    Q_OBJECT
public:
    LightShapeCustomVfParameter();
    QM_BUILTIN_CLONE(LightShapeCustomVfParameter)
};

} // namespace tarvesk::core
