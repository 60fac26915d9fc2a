#pragma once

#include "core/parameters/datastore/builtin_parameter.h"
#include "core/parameters/enum_raw_parameter.h"

namespace tarvesk::core {

// How a two-channel (caspelink) driver balances its channels over the dim
// level: logarithmic or linear. The setting is the LED dimming curve of the
// driver's DALI side, so it is written and read with DALI commands; byte 105
// only names its place.
class LightShapeCctBalanceCurveParameter : public EnumRawParameter
{
    Q_OBJECT

public:
    // The address byte at which the driver's DALI side takes the commands.
    static constexpr unsigned char DaliAddress = 0x83;
    static constexpr int Attempts = 3;

    LightShapeCctBalanceCurveParameter();
    QM_BUILTIN_CLONE(LightShapeCctBalanceCurveParameter)

    // 0, or ITF_ERR_UNSUPPORTED_PARAMETER when the driver has one channel,
    // lightshape is not active, the device has no DALI port or a command
    // failed; a failed memory read gives its status. Nothing is stored.
    int setRawValue(QVariant value) override;
    // Asks the driver (three attempts). Throws ParameterError for a driver
    // with one channel; a DaliException of the port reaches the caller.
    int readRawValue(QVariant& out) override;
    void setParameterDependencies() override { setHidden(true); }
};

} // namespace tarvesk::core
