#include "core/parameters/datastore/startup_parameters.h"

#include "core/itf_error.h"
#include "core/parameters/datastore/core_version_string_parameter.h"

namespace tarvesk::core {

namespace {

constexpr int kConfigurationByte = 1;
const QString kConfig = QStringLiteral("Config");

} // namespace

ExtraStartupDelayParameter::ExtraStartupDelayParameter()
    : IntegerRawParameter(
        QStringLiteral("extra_startup_delay"), kConfigurationByte, presmondeInterface(), 0x0F)
{
    describeBuiltin(*this, QStringLiteral("Extra Startup Delay"), QStringLiteral("dev"), kConfig, false);
    setUnit(PARAM_UNIT_MILLISECONDS);
    setScale(50);
    setMinValue(0);
    setMaxValue(750);
    setStepSize(1);
}

int ExtraStartupDelayParameter::readRawValue(QVariant& out)
{
    if (!isSupportedByCore(*this, CoreVersionRule::Core20_34))
        return ITF_ERR_UNSUPPORTED_FEATURE;
    return IntegerRawParameter::readRawValue(out);
}

ForceStartupFadeParameter::ForceStartupFadeParameter()
    : BoolRawParameter(QStringLiteral("startup_force_480ms_fade"), kConfigurationByte, presmondeInterface())
{
    describeBuiltin(*this, QStringLiteral("Force Startup 480ms Fade"), QStringLiteral("dev"), kConfig, false);
    setBitmask(0x10);
}

int ForceStartupFadeParameter::readRawValue(QVariant& out)
{
    if (!isSupportedByCore(*this, CoreVersionRule::Core20_34))
        return ITF_ERR_UNSUPPORTED_FEATURE;
    return BoolRawParameter::readRawValue(out);
}

StartupBehaviourParameter::StartupBehaviourParameter()
    : EnumRawParameter(QStringLiteral("startup_behaviour"), kConfigurationByte, presmondeInterface())
{
    describeBuiltin(*this, QStringLiteral("Startup mode"), QStringLiteral("user_basic"), kConfig, false);
    setBitmask(0x30);
    addEnumValue(0x10, QStringLiteral("Goto Scene 1"));
    addEnumValue(0x20, QStringLiteral("Goto Scene 2"));
    setEnumOptions({QStringLiteral("Goto Scene 1"), QStringLiteral("Goto Scene 2")});
    setDefaultValue(QStringLiteral("Goto Scene 1"));
}

int StartupBehaviourParameter::readRawValue(QVariant& out)
{
    if (!isSupportedByCore(*this, CoreVersionRule::Core21_3))
        return ITF_ERR_UNSUPPORTED_FEATURE;
    return EnumRawParameter::readRawValue(out);
}

DmxFailureBehaviourParameter::DmxFailureBehaviourParameter()
    : EnumRawParameter(QStringLiteral("dmx_failure_behaviour"), kConfigurationByte, presmondeInterface())
{
    describeBuiltin(*this, QStringLiteral("Fail mode"), QStringLiteral("user_basic"), kConfig, false);
    setBitmask(0xC0);
    addEnumValue(0x00, QStringLiteral("Retain last value"));
    addEnumValue(0x40, QStringLiteral("Goto Scene 1"));
    addEnumValue(0x80, QStringLiteral("Goto Scene 2"));
    setEnumOptions({QStringLiteral("Retain last value"), QStringLiteral("Goto Scene 1"),
        QStringLiteral("Goto Scene 2")});
    setDefaultValue(QStringLiteral("Retain last value"));
}

int DmxFailureBehaviourParameter::readRawValue(QVariant& out)
{
    if (!isSupportedByCore(*this, CoreVersionRule::Core21_3))
        return ITF_ERR_UNSUPPORTED_FEATURE;
    return EnumRawParameter::readRawValue(out);
}

} // namespace tarvesk::core
