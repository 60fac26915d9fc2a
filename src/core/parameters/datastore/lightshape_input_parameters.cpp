#include "core/parameters/datastore/lightshape_input_parameters.h"

#include "core/core_errors.h"
#include "core/idevice.h"
#include "core/itf_error.h"
#include "core/parameters/datastore/lightshape_module.h"
#include "core/parameters/raw_parameter_interface.h"

#include <QDebug>

#include <algorithm>

namespace tarvesk::core {

namespace {

const QString kLightShape = QStringLiteral("LightShape");
const QString kUser = QStringLiteral("user_basic");
const QString kDev = QStringLiteral("dev");
constexpr int kDriveTypeAddress = 52;
constexpr int kMinKelvin = 1667;
constexpr int kMaxKelvin = 7500;

void describeInput(RawParameter& p, const QString& displayName, ParamUnit unit, const QVariant& minimum,
    const QVariant& maximum, double step, const QVariant& defaultValue, bool readOnly = true)
{
    describeBuiltin(p, displayName, kUser, kLightShape, readOnly);
    p.setUnit(unit);
    p.setMinValue(minimum);
    p.setMaxValue(maximum);
    p.setStepSize(step);
    p.setDefaultValue(defaultValue);
}

} // namespace

void applyLightShapeInputVisibility(RawParameter& parameter, const QString& warningPrefix)
{
    parameter.setHidden(true);
    try {
        parameter.setAccessLevel(LightShapeModule(parameter.getRawInterface()).isEnabled() ? kUser : kDev);
    } catch (const ParameterError& e) {
        qWarning().noquote() << warningPrefix + QString::fromUtf8(e.what());
        parameter.setAccessLevel(kDev);
    }
}

LightShapeInputParameter::LightShapeInputParameter(const QString& identifier, const QString& warningPrefix)
    : RawParameter(identifier, -1, presmondeInterface())
    , _warningPrefix(warningPrefix)
{ }

LightShapeCctLimitParameter::LightShapeCctLimitParameter(const QString& identifier, int address)
    : IntegerRawParameter(identifier, address, presmondeInterface(), 0xFFFF)
{
    setNetworkResolution(ITF_RES_WORD);
}

int LightShapeCctLimitParameter::setRawValue(QVariant value)
{
    bool ok = false;
    const int kelvin = value.toInt(&ok);
    if (!ok)
        return ITF_ERR_INVALID_PARAM;
    return IntegerRawParameter::setRawValue(kelvinToMirek(kelvin));
}

int LightShapeCctLimitParameter::readRawValue(QVariant& out)
{
    QVariant mirek;
    const int status = IntegerRawParameter::readRawValue(mirek);
    if (status != 0)
        return status;
    out = std::clamp(mirekToKelvin(mirek.toInt()), kMinKelvin, kMaxKelvin);
    return 0;
}

LightShapeCctMinParameter::LightShapeCctMinParameter()
    : LightShapeCctLimitParameter(QStringLiteral("light_shaping_cct_min"), 180)
{
    describeInput(
        *this, QStringLiteral("Minimum path CCT"), PARAM_UNIT_KELVIN, kMinKelvin, kMaxKelvin, 1, 3000);
}

LightShapeCctMaxParameter::LightShapeCctMaxParameter()
    : LightShapeCctLimitParameter(QStringLiteral("light_shaping_cct_max"), 181)
{
    describeInput(
        *this, QStringLiteral("Maximum path CCT"), PARAM_UNIT_KELVIN, kMinKelvin, kMaxKelvin, 1, 5000);
}

LightShapeLuminousFluxCs1Parameter::LightShapeLuminousFluxCs1Parameter()
    : LightShapeInputParameter(QStringLiteral("light_shaping_flux_output_1"),
        QStringLiteral("LightShapeLuminousFluxCs1Parameter::setParameterDependencies: "))
{
    describeInput(*this, QStringLiteral("LED LOP 1"), PARAM_UNIT_LUMEN, 0, 20000, 10, 1000);
}

LightShapeLuminousFluxCs2Parameter::LightShapeLuminousFluxCs2Parameter()
    : LightShapeInputParameter(QStringLiteral("light_shaping_flux_output_2"),
        QStringLiteral("LightShapeLuminousFluxCs2Parameter::setParameterDependencies: "))
{
    describeInput(*this, QStringLiteral("LED LOP 2"), PARAM_UNIT_LUMEN, 0, 20000, 10, 1000);
}

LightShapeCctOutput1Parameter::LightShapeCctOutput1Parameter()
    : LightShapeInputParameter(QStringLiteral("light_shaping_cct_output_1"))
{
    describeInput(*this, QStringLiteral("CCT output 1"), PARAM_UNIT_KELVIN, 1800, 6500, 100, 3000);
}

LightShapeCctOutput2Parameter::LightShapeCctOutput2Parameter()
    : LightShapeInputParameter(QStringLiteral("light_shaping_cct_output_2"))
{
    describeInput(*this, QStringLiteral("CCT output 2"), PARAM_UNIT_KELVIN, 1800, 6500, 100, 5000);
}

LightShapeLuminousFluxOptimizationMethodParameter::LightShapeLuminousFluxOptimizationMethodParameter()
    : LightShapeInputParameter(QStringLiteral("light_shaping_flux_optimization_method"))
{
    describeBuiltin(*this, QStringLiteral("Lf optimization"), kUser, kLightShape, true);
    setParameterType(PARAM_TYPE_ENUM);
    setUnit(PARAM_UNIT_LUMEN);
    setEnumOptions({QStringLiteral("Constant"), QStringLiteral("Maximize")});
    setDefaultValue(QStringLiteral("Maximize"));
}

LightShapeMaximumLuminousFluxParameter::LightShapeMaximumLuminousFluxParameter()
    : LightShapeInputParameter(QStringLiteral("light_shaping_maximum_flux"))
{
    describeInput(*this, QStringLiteral("Target combined LOP"), PARAM_UNIT_LUMEN, 0, 40000, 10, 1000);
}

LightShapeForwardVoltage1Parameter::LightShapeForwardVoltage1Parameter()
    : LightShapeInputParameter(QStringLiteral("light_shaping_forward_voltage_1"))
{
    describeInput(*this, QStringLiteral("Forward voltage 1"), PARAM_UNIT_VOLT, 0, 90, 0.1, 42, false);
}

LightShapeForwardVoltage2Parameter::LightShapeForwardVoltage2Parameter()
    : LightShapeInputParameter(QStringLiteral("light_shaping_forward_voltage_2"))
{
    describeInput(*this, QStringLiteral("Forward voltage 2"), PARAM_UNIT_VOLT, 0, 90, 0.1, 42, false);
}

LightShapeControlStrategyParameter::LightShapeControlStrategyParameter()
    : RawParameter(QStringLiteral("light_shaping_control_strategy"), -1, presmondeInterface())
{
    describeBuiltin(*this, QStringLiteral("Control strategy"), kUser, kLightShape, true);
    setParameterType(PARAM_TYPE_ENUM);
    setEnumOptions({QStringLiteral("Warm Dimming"), QStringLiteral("Tunable White")});
    setDefaultValue(QStringLiteral("Warm Dimming"));
}

void LightShapeControlStrategyParameter::setParameterDependencies()
{
    setHidden(true);
    try {
        RawParameterInterface* itf = getRawInterface();
        setAccessLevel(LightShapeModule(itf).isEnabled() ? kUser : kDev);
        unsigned int driveType = 0;
        if (itf->getParameter(ITF_RES_BYTE, kDriveTypeAddress, driveType) != 0)
            throw ParameterError("Error reading parameter");
        bool dt8 = false;
        if (IParameter* flag
            = getDeviceInterface()->getParameterInterface(QStringLiteral("light_shaping_dt8"))) {
            QVariant value;
            if (flag->getValue(value, IParameter::UPDATE_YES) == 0)
                dt8 = value.toBool();
        }
        const QString option
            = driveType > 1 || dt8 ? QStringLiteral("Tunable White") : QStringLiteral("Warm Dimming");
        setEnumOptions({option});
        setDefaultValue(option);
    } catch (const ParameterError& e) {
        qWarning().noquote() << QStringLiteral(
                                    "LightShapeControlStrategyParameter::setParameterDependencies: ")
                + QString::fromUtf8(e.what());
        setAccessLevel(kDev);
    }
}

LightShapeVersionParameter::LightShapeVersionParameter()
    : RawParameter(QStringLiteral("light_shaping_version"), -1, presmondeInterface())
{
    describeBuiltin(*this, QStringLiteral("Version"), kUser, kLightShape, false);
    setParameterType(PARAM_TYPE_ENUM);
    setEnumOptions({QStringLiteral("1.0"), QStringLiteral("1.1")});
    setDefaultValue(QStringLiteral("1.0"));
}

LightShapeLedCurrentOutput1Parameter::LightShapeLedCurrentOutput1Parameter()
    : RawParameter(QStringLiteral("light_shaping_led_output_1"), -1, presmondeInterface())
{
    describeInput(
        *this, QStringLiteral("LED current output 1"), PARAM_UNIT_MILLIAMPERE, 150, 1400, 10, 700, false);
}

LightShapeLedCurrentOutput2Parameter::LightShapeLedCurrentOutput2Parameter()
    : RawParameter(QStringLiteral("light_shaping_led_output_2"), -1, presmondeInterface())
{
    describeInput(
        *this, QStringLiteral("LED current output 2"), PARAM_UNIT_MILLIAMPERE, 150, 1400, 10, 700, false);
}

LightShapeIsDt8Parameter::LightShapeIsDt8Parameter()
    : RawParameter(QStringLiteral("light_shaping_dt8"), -1, presmondeInterface())
{
    describeBuiltin(*this, QStringLiteral("DT8 compatible"), kUser, kLightShape, true);
    setParameterType(PARAM_TYPE_BOOLEAN);
    setDefaultValue(false);
}

} // namespace tarvesk::core
