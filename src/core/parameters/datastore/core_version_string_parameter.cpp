#include "core/parameters/datastore/core_version_string_parameter.h"

#include "core/core_errors.h"
#include "core/idevice.h"
#include "core/itf_error.h"
#include "core/parameters/parameter_logging.h"
#include "service/string_exception.h"

#include <QDebug>

namespace tarvesk::core {

namespace {

// The source location that clients see in these messages.
const QString kSource = QStringLiteral("src/core/parameters/datastore/core_version_parameter");

} // namespace

CoreVersionStringParameter::CoreVersionStringParameter()
    : IntegerRawParameter(QStringLiteral("core_version_string"), Address, presmondeInterface(), 0xFFFF)
{
    describeBuiltin(
        *this, QStringLiteral("Core Version string"), QStringLiteral("dev"), QStringLiteral("Info"), true);
    setNetworkResolution(ITF_RES_WORD);
    setMinValue(0);
    setMaxValue(16383);
}

QString CoreVersionStringParameter::versionText(unsigned int word)
{
    return QStringLiteral("%1.%2").arg(word & 0xFFu).arg((word >> 8) & 0x3Fu);
}

int CoreVersionStringParameter::readRawValue(QVariant& out)
{
    try {
        unsigned int word = 0;
        const int status = readWord(word);
        if (status != 0)
            return status;
        out = versionText(word);
        return 0;
    } catch (const ParameterError& e) {
        qCWarning(parameterLog()).noquote() << e.what();
        return ITF_ERR_UNSUPPORTED_MODULE;
    }
}

int CoreVersionStringParameter::setRawValue(QVariant)
{
    return ITF_ERR_UNSUPPORTED_PARAMETER;
}

QString CoreVersionStringParameter::versionInfoAt(int index)
{
    QVariant text;
    if (readRawValue(text) != 0 || !text.isValid())
        throw StringException(QStringLiteral("Invalid type, A string/double type is expected"), kSource, 50);
    const QStringList parts = text.toString().split(QLatin1Char('.'));
    if (index < 0 || index >= parts.size())
        throw StringException(QStringLiteral("Invalid index %1").arg(index), kSource, 57);
    return parts.at(index);
}

bool coreVersionSupports(CoreVersionRule rule, int major, int minor)
{
    switch (rule) {
    case CoreVersionRule::Core20_34:
        return (major == 16 && minor >= 21) || (major >= 20 && minor >= 34) || major >= 21;
    case CoreVersionRule::Core21_3:
        return (major >= 21 && minor >= 3) || major >= 22;
    }
    return false;
}

bool isSupportedByCore(RawParameter& parameter, CoreVersionRule rule, const QString& notSupportedText)
{
    auto* version = dynamic_cast<CoreVersionStringParameter*>(
        parameter.getDeviceInterface()->getParameterInterface(QStringLiteral("core_version_string")));
    if (!version)
        return true;
    const QString majorText = version->major();
    const QString minorText = version->minor();
    // A part that is not a number counts as 0.
    if (coreVersionSupports(rule, majorText.toInt(), minorText.toInt()))
        return true;
    const QString needed = rule == CoreVersionRule::Core20_34
        ? QStringLiteral(" - core version must be >= 20.34 or 16.21 upwards (in core 16 module)")
        : QStringLiteral(" - core version must be >= 21.3");
    qCDebug(parameterLog()).noquote() << parameter.getIdentifier() + notSupportedText
            + QString::number((majorText + QLatin1Char('.') + minorText).toDouble()) + needed;
    return false;
}

} // namespace tarvesk::core
