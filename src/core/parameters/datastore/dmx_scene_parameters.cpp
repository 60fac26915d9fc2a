#include "core/parameters/datastore/dmx_scene_parameters.h"

#include "core/itf_error.h"
#include "core/parameters/datastore/core_version_string_parameter.h"
#include "core/parameters/parameter_logging.h"
#include "service/string_exception.h"

#include <QDebug>

namespace tarvesk::core {

namespace {

constexpr int kFirstSceneWord = 10;
const QString kNotSuppported = QStringLiteral(" parameter not suppported for core version ");

} // namespace

DmxSceneOutputParameter::DmxSceneOutputParameter(int scene, int output)
    : IntegerRawParameter(QStringLiteral("scene_%1_output_%2").arg(scene).arg(output),
        kFirstSceneWord + 2 * (scene - 1) + (output - 1) / 2, presmondeInterface(), 0xFFFF)
    , _output(output)
{
    describeBuiltin(*this, QStringLiteral("Scene %1 output %2").arg(scene).arg(output),
        QStringLiteral("user_basic"), QStringLiteral("Config"), false);
    setNetworkResolution(ITF_RES_WORD);
    setMinValue(0);
    setMaxValue(255);
    setStepSize(1);
}

int DmxSceneOutputParameter::readLevel(QVariant& out, const QString& notSupportedText)
{
    if (!isSupportedByCore(*this, CoreVersionRule::Core21_3, notSupportedText))
        return ITF_ERR_UNSUPPORTED_FEATURE;
    QVariant word;
    const int status = IntegerRawParameter::readRawValue(word);
    if (status != 0)
        return status;
    out = int(isHighByte() ? (word.toUInt() >> 8) & 0xFFu : word.toUInt() & 0xFFu);
    return 0;
}

int DmxSceneOutputParameter::readRawValue(QVariant& out)
{
    return readLevel(out, kNotSuppported);
}

int DmxSceneOutputParameter::setRawValue(QVariant value)
{
    bool ok = false;
    const qlonglong level = value.toLongLong(&ok);
    if (!ok || level < 0 || level > 255)
        return ITF_ERR_INVALID_PARAM;
    QVariant word;
    const int status = IntegerRawParameter::readRawValue(word);
    if (status != 0)
        return status;
    const unsigned int old = word.toUInt();
    const unsigned int updated
        = isHighByte() ? (unsigned(level) << 8) | (old & 0x00FFu) : (old & 0xFF00u) | unsigned(level);
    return IntegerRawParameter::setRawValue(updated);
}

DmxScene2Output4Parameter::DmxScene2Output4Parameter()
    : DmxSceneOutputParameter(2, 4)
{ }

int DmxScene2Output4Parameter::readRawValue(QVariant& out)
{
    QString failure;
    try {
        return readLevel(out, QStringLiteral(" parameter not supported for core version "));
    } catch (const StringException& e) {
        failure = e.message();
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
    }
    qCDebug(parameterLog()).noquote()
        << QStringLiteral("Error getting raw value for parameter %1: %2").arg(getIdentifier(), failure);
    return ITF_ERR_UNSUPPORTED_FEATURE;
}

CumulativeCurrentParameter::CumulativeCurrentParameter()
    : RawParameter(QStringLiteral("cumulative_current"), -1, presmondeInterface())
{
    describeBuiltin(*this, QStringLiteral("Max Aggregate Current Output"), QStringLiteral("user_basic"),
        QStringLiteral("Drive"), true);
    setUnit(PARAM_UNIT_MILLIAMPERE);
    setMinValue(150);
    setMaxValue(10000);
}

EqualOutputParameter::EqualOutputParameter()
    : BoolRawParameter(QStringLiteral("equal_output"), -1, presmondeInterface())
{
    describeBuiltin(*this, QStringLiteral("Equal Currents For All Outputs"), QStringLiteral("dev"),
        QStringLiteral("Drive"), true);
    setBitmask(0xFFFF);
}

} // namespace tarvesk::core
