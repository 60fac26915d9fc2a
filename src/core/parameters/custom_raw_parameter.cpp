#include "core/parameters/custom_raw_parameter.h"

#include "core/core_errors.h"
#include "core/itf_error.h"
#include "core/parameters/parameter_logging.h"
#include "core/parameters/parameter_value.h"
#include "core/parameters/raw_parameter_interface.h"

#include <QDebug>

namespace tarvesk::core {

namespace {

struct WordRange
{
    qint64 minimum; // negative values are stored in two's complement
    qint64 maximum;
    quint32 mask;
};

WordRange wordRange(NetworkResolution resolution)
{
    switch (resolution) {
    case ITF_RES_BYTE:
        return {-128, 255, 0xFFu};
    case ITF_RES_WORD:
        return {-32768, 65535, 0xFFFFu};
    default:
        return {-2147483648LL, 4294967295LL, 0xFFFFFFFFu};
    }
}

} // namespace

CustomRawParameter::CustomRawParameter(
    const QString& identifier, int address, const QString& resolution, const QString& rawInterface)
    : RawParameter(identifier, address, rawInterface)
{
    setAccessLevel(QStringLiteral("user_basic"));
    setGroup(QStringLiteral("Raw"));
    setResolutionEnum(resolution);
    setMaxValueForResolution(getNetworkResolution());
}

IParameter* CustomRawParameter::clone()
{
    auto* copy
        = new CustomRawParameter(getIdentifier(), -1, QStringLiteral("ITF_RES_BYTE"), presmondeInterface());
    copy->copyFrom(this);
    return copy;
}

int CustomRawParameter::setRawValue(QVariant value)
{
    // A value that does not fit the word is the caller's error, not the bus's.
    const WordRange range = wordRange(getNetworkResolution());
    const qint64 word = checkedInteger(value, getIdentifier(), range.minimum, range.maximum);
    try {
        return writeWord(static_cast<quint32>(word) & range.mask);
    } catch (const ParameterError& e) {
        qCWarning(parameterLog()).noquote()
            << QStringLiteral("CustomRawParameter::setRawValue: ") + QString::fromUtf8(e.what());
        return ITF_ERR_UNSUPPORTED_MODULE;
    }
}

int CustomRawParameter::readRawValue(QVariant& out)
{
    try {
        unsigned int word = 0;
        const int status = readWord(word);
        if (status != 0)
            return status;
        out = QVariant(word);
        return 0;
    } catch (const ParameterError& e) {
        qCWarning(parameterLog()).noquote() << e.what();
        return ITF_ERR_UNSUPPORTED_MODULE;
    }
}

} // namespace tarvesk::core
