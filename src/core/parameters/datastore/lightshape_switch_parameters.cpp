#include "core/parameters/datastore/lightshape_switch_parameters.h"

#include "core/core_errors.h"
#include "core/parameters/datastore/lightshape_module.h"
#include "core/parameters/parameter_logging.h"
#include "core/parameters/parameter_value.h"
#include "core/parameters/raw_parameter_interface.h"

#include <QDebug>

namespace tarvesk::core {

namespace {

const QString kLightShape = QStringLiteral("LightShape");

} // namespace

LightShapeEnableParameter::LightShapeEnableParameter()
    : BoolRawParameter(
        QStringLiteral("light_shaping_enable"), LightShapeModule::EnableAddress, presmondeInterface())
{
    describeBuiltin(*this, QStringLiteral("Enable"), QStringLiteral("dev"), kLightShape, true);
    setBitmask(LightShapeModule::EnableBit);
}

LightShapeActiveParameter::LightShapeActiveParameter()
    : BoolRawParameter(
        QStringLiteral("light_shaping_active"), LightShapeModule::ActiveAddress, presmondeInterface())
{
    describeBuiltin(*this, QStringLiteral("Active"), QStringLiteral("user_basic"), kLightShape, false);
    setBitmask(LightShapeModule::ActiveBit);
}

int LightShapeActiveParameter::setRawValue(QVariant value)
{
    const bool on = checkedBool(value, getIdentifier());
    try {
        RawParameterInterface* itf = getRawInterface();
        unsigned int driveType = 0;
        // A drive type that could not be read is not taken for type 0.
        int status = itf->getParameter(ITF_RES_BYTE, DriveTypeAddress, driveType);
        if (status != 0)
            return status;
        if (driveType <= 1) {
            status = itf->setParameter(ITF_RES_BYTE, ActiveFlagAddress, on ? 1u : 0u);
            if (status != 0)
                return status;
        }
    } catch (const ParameterError& e) {
        qCWarning(parameterLog()).noquote() << e.what();
    }
    return BoolRawParameter::setRawValue(on);
}

void LightShapeActiveParameter::setParameterDependencies()
{
    try {
        const bool enabled = LightShapeModule(getRawInterface()).isEnabled();
        setAccessLevel(enabled ? QStringLiteral("user_basic") : QStringLiteral("dev"));
        bool stored = false;
        if (!enabled && getActualValue().canConvert<bool>())
            stored = getActualValue().toBool();
        if (stored)
            setRawValue(false);
    } catch (const ParameterError& e) {
        qCWarning(parameterLog()).noquote() << e.what();
    }
}

LightShapeDimCurveOverrideParameter::LightShapeDimCurveOverrideParameter()
    : BoolRawParameter(QStringLiteral("light_shaping_dali_dim_curve_compliant"),
        LightShapeModule::ActiveAddress, presmondeInterface())
{
    describeBuiltin(
        *this, QStringLiteral("DALI dim curve enable"), QStringLiteral("dev"), kLightShape, false);
    setBitmask(0x04);
    setDefaultValue(true);
}

LightShapeCustomVfParameter::LightShapeCustomVfParameter()
    : BoolRawParameter(QStringLiteral("light_shaping_default_forward_voltages"), -1, presmondeInterface())
{
    describeBuiltin(
        *this, QStringLiteral("Default forward voltages"), QStringLiteral("user_basic"), kLightShape, false);
    setBitmask(0xFFFF);
}

} // namespace tarvesk::core
