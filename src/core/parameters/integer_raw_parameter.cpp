#include "core/parameters/integer_raw_parameter.h"

#include "core/core_errors.h"
#include "core/itf_error.h"
#include "core/parameters/parameter_logging.h"
#include "core/parameters/parameter_value.h"
#include "core/parameters/raw_parameter_interface.h"

#include <QDebug>

#include <algorithm>
#include <cmath>
#include <limits>

namespace tarvesk::core {

IntegerRawParameter::IntegerRawParameter(
    const QString& identifier, int address, const QString& rawInterface, int bitmask)
    : RawParameter(identifier, address, rawInterface)
{
    setParameterType(PARAM_TYPE_NUMBER);
    setMinValue(0);
    storeMaxValue(65535);
    setStepSize(1.0);
    setBitmask(static_cast<unsigned int>(bitmask));
}

IParameter* IntegerRawParameter::clone()
{
    auto* copy = new IntegerRawParameter(getIdentifier(), -1, presmondeInterface(), 65535);
    copy->copyFrom(this);
    return copy;
}

int IntegerRawParameter::setRawValue(QVariant value)
{
    const qint64 field = checkedInteger(value, getIdentifier(), std::numeric_limits<std::int32_t>::min(),
        std::numeric_limits<std::uint32_t>::max());
    try {
        unsigned int word = 0;
        const int status = readWord(word);
        if (status != 0)
            return status;
        return writeWord((static_cast<quint32>(field) & getBitmask()) | (word & ~getBitmask()));
    } catch (const ParameterError& e) {
        qCDebug(parameterLog()).noquote() << e.what();
        return ITF_ERR_UNSUPPORTED_MODULE;
    }
}

int IntegerRawParameter::readRawValue(QVariant& out)
{
    try {
        unsigned int word = 0;
        const int status = readWord(word);
        if (status != 0)
            return status;
        setParameterDependencies();
        out = QVariant(word & getBitmask());
        return 0;
    } catch (const ParameterError& e) {
        qCDebug(parameterLog()).noquote() << e.what();
        return ITF_ERR_UNSUPPORTED_MODULE;
    }
}

int IntegerRawParameter::kelvinToMirek(int kelvin) const
{
    if (kelvin <= 0)
        return 65535;
    if (kelvin > 1000000)
        return 0;
    return 1000000 / kelvin;
}

int IntegerRawParameter::mirekToKelvin(int mirek) const
{
    if (mirek <= 0)
        return 1000001;
    if (mirek >= 65535)
        return 0;
    int kelvin = (1000000 / mirek) / 10 * 10;
    const std::optional<double> hi = numericValue(getMaxValue());
    const std::optional<double> lo = numericValue(getMinValue());
    // The kelvin lies in 0..1000000, so a limit that it crosses fits an int.
    if (hi && std::isfinite(*hi) && kelvin > *hi)
        kelvin = static_cast<int>(std::max(std::floor(*hi), -2147483648.0));
    else if (lo && std::isfinite(*lo) && kelvin < *lo)
        kelvin = static_cast<int>(std::min(std::ceil(*lo), 2147483647.0));
    return kelvin;
}

} // namespace tarvesk::core
