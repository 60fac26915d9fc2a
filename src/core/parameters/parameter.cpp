#include "core/parameters/parameter.h"

#include "core/core_errors.h"
#include "core/parameters/parameter_logging.h"
#include "core/parameters/parameter_value.h"

#include <cxxabi.h>

#include <QDebug>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tarvesk::core {

namespace {

// Scaled values are compared with a small relative tolerance, so that a raw
// value of 123 at scale 0.1 (12.300000000000001) still counts as within a
// maximum of 12.3.
double tolerance(double reference)
{
    return 1e-9 * std::max(1.0, std::fabs(reference));
}

std::optional<double> finiteNumber(const QVariant& value)
{
    const std::optional<double> d = numericValue(value);
    if (d && std::isfinite(*d))
        return d;
    return std::nullopt;
}

// The largest range a raw value held as an integer may take: a 32-bit memory
// word read either as signed or as unsigned.
constexpr double kRawMinimum = -2147483648.0;
constexpr double kRawMaximum = 4294967295.0;

// Beyond 2^53 a double no longer holds every whole number.
constexpr WideInteger kLargestExactDouble = WideInteger(1) << 53;

bool beyondDoubles(WideInteger value)
{
    return value > kLargestExactDouble || value < -kLargestExactDouble;
}

QVariant wholeNumberVariant(WideInteger value)
{
    return value < 0 ? QVariant(static_cast<qlonglong>(value)) : QVariant(static_cast<qulonglong>(value));
}

// A limit as a whole number, rounded to the side that keeps values within it.
std::optional<WideInteger> wholeLimit(const QVariant& limit, bool upper)
{
    if (const std::optional<WideInteger> exact = exactIntegerValue(limit))
        return exact;
    const std::optional<double> d = finiteNumber(limit);
    if (!d || std::fabs(*d) >= 9.2e18)
        return std::nullopt;
    return WideInteger(upper ? std::floor(*d) : std::ceil(*d));
}

void registerParamType()
{
    static const bool registered = [] {
        qRegisterMetaType<ParamType>("ParamType");
        return true;
    }();
    Q_UNUSED(registered);
}

QString demangledTypeName(const std::type_info& type)
{
    int status = 0;
    char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    QString name = QString::fromUtf8(status == 0 && demangled ? demangled : type.name());
    std::free(demangled);
    name.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    name.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return name;
}

} // namespace

Parameter::Parameter()
{
    registerParamType();
}

Parameter::Parameter(QString identifier, NetworkResolution resolution, ParamReadWrite readWrite)
    : _identifier(std::move(identifier))
    , _readWrite(readWrite)
    , _resolution(resolution)
{
    registerParamType();
    setMaxValueForResolution(resolution);
    _accessLevel = QStringLiteral("dev");
}

Parameter::Parameter(const int& address, const QString& identifier, QString rawInterface,
    NetworkResolution resolution, ParamReadWrite readWrite)
    : _identifier(QStringLiteral("RAW_") + identifier)
    , _readWrite(readWrite)
    , _resolution(resolution)
    , _accessLevel(QStringLiteral("user_basic"))
    , _bitmask(0)
    , _address(address)
    , _rawInterface(std::move(rawInterface))
{
    registerParamType();
    setMaxValueForResolution(resolution);
}

Parameter::Parameter(const ParameterData& data)
    : _identifier(QString::fromStdString(data.identifier))
    , _displayName(QString::fromStdString(data.displayName))
    , _description(QString::fromStdString(data.description))
    , _parameterType(data.type)
    , _unit(data.unit)
    , _group(QString::fromStdString(data.group))
    , _accessLevel(QString::fromStdString(data.accessLevel))
    , _defaultValue(convertAnyToQVariant(data.defaultValue))
    , _minValue(convertAnyToQVariant(data.minValue))
    , _maxValue(convertAnyToQVariant(data.maxValue))
    , _offset(data.offset)
    , _scale(data.scale)
    , _stepSize(data.stepSize)
    , _specialValues(data.specialValues)
    , _daliMemoryBankData(data.daliMemoryBankData)
    , _actionData {data.readAction, data.writeAction}
{
    registerParamType();
    for (const std::string& tag : data.tags)
        _tags.append(QString::fromStdString(tag));
    const bool canRead = !data.readAction.empty();
    const bool canWrite = !data.writeAction.empty();
    if (canRead && !canWrite)
        _readWrite = PARAM_READ_ONLY;
    else if (canWrite && !canRead)
        _readWrite = PARAM_WRITE_ONLY;
    else
        _readWrite = PARAM_READ_WRITE;
}

Parameter::~Parameter() = default;

void Parameter::initMeta()
{
    qRegisterMetaType<Parameter*>("Parameter *");
    qRegisterMetaType<IParameter*>();
    qRegisterMetaType<ParamType>("ParamType");
    qRegisterMetaType<QStringList>("QStringList&");
    qRegisterMetaType<IParameter::ParamUpdate>("tarvesk::core::IParameter::ParamUpdate");
}

QVariant Parameter::convertAnyToQVariant(const std::any& value)
{
    if (!value.has_value())
        return QVariant();
    if (const int* v = std::any_cast<int>(&value))
        return QVariant(*v);
    if (const unsigned int* v = std::any_cast<unsigned int>(&value))
        return QVariant(*v);
    if (const unsigned long* v = std::any_cast<unsigned long>(&value))
        return QVariant::fromValue(*v);
    if (const unsigned long long* v = std::any_cast<unsigned long long>(&value))
        return QVariant(static_cast<qulonglong>(*v));
    if (const bool* v = std::any_cast<bool>(&value))
        return QVariant(*v);
    if (const char* const* v = std::any_cast<const char*>(&value))
        return QVariant(QString::fromUtf8(*v));
    if (char* const* v = std::any_cast<char*>(&value))
        return QVariant(QString::fromUtf8(*v));
    throw ParameterError(
        QStringLiteral("Unknown type: \"%1\"").arg(demangledTypeName(value.type())).toStdString());
}

int Parameter::convert8BitValueToTwosComplement(int value)
{
    return static_cast<std::int8_t>(static_cast<std::uint8_t>(value & 0xFF));
}

void Parameter::throwError(const QString& message) const
{
    throw ParameterError(message.toStdString());
}

const QString& Parameter::getDisplayName() const
{
    return _displayName.isEmpty() ? _identifier : _displayName;
}

bool Parameter::isAccessLevelSupported(const QString& level)
{
    static const QStringList order
        = {QStringLiteral("user_basic"), QStringLiteral("user_detailed"), QStringLiteral("oem")};
    if (level == QLatin1String("dev"))
        return true;
    const int callerRank = order.indexOf(level);
    if (callerRank < 0)
        return false;
    const int ownRank = order.indexOf(_accessLevel);
    return ownRank >= 0 && ownRank <= callerRank;
}

bool Parameter::isEnabled() const
{
    if (getDisplayName().startsWith(QLatin1Char('$')))
        return false;
    return _enabled == PARAM_ENABLED;
}

void Parameter::setEnabled(bool enabled)
{
    _enabled = enabled ? PARAM_ENABLED : PARAM_DISABLED;
}

QString Parameter::getParameterTypeShortString() const
{
    return paramTypeShortString(_parameterType);
}

int Parameter::getValue(QVariant& out, ParamUpdate update)
{
    if (update == UPDATE_YES) {
        if (_readCallback) {
            // Storing what it read is the callback's task.
            const int status = _readCallback(this);
            if (status != 0)
                return status;
        } else {
            QVariant raw;
            const int status = readRawValue(raw);
            if (status != 0)
                return status;
            _value = raw;
        }
    }
    out = _value;
    return 0;
}

int Parameter::setValue(QVariant value, ParamUpdate update)
{
    rejectNonFinite(value, _identifier);
    if (update == UPDATE_YES) {
        const int status = _writeCallback ? _writeCallback(this, value) : setRawValue(value);
        if (status != 0)
            return status;
    }
    _value = value;
    return 0;
}

int Parameter::setScaledValue(QVariant scaledVal, ParamUpdate update)
{
    if (_parameterType != PARAM_TYPE_NUMBER)
        return setValue(scaledVal, update);

    // The scale must be current before the step (which depends on it) is used.
    if (_scaleParameter) {
        const int status = refreshScale();
        if (status != 0)
            return status;
    }
    // A whole number beyond 2^53 (an 8-byte identification number) goes to
    // the raw value without a double in between, which would round it.
    const std::optional<WideInteger> whole = exactIntegerValue(scaledVal);
    if (whole && beyondDoubles(*whole) && passesWholeNumbersExactly())
        return setValue(exactRawValue(*whole), update);
    // The whole-number reading also takes hexadecimal texts.
    const std::optional<double> scaled
        = whole ? std::optional<double>(double(*whole)) : numericValue(scaledVal);
    if (!scaled)
        throwError(QStringLiteral("Value \"%1\" of parameter %2 is not a number")
                       .arg(scaledVal.toString(), _identifier));
    if (!std::isfinite(*scaled))
        throwError(QStringLiteral("Value %1 of parameter %2 is not a finite number")
                       .arg(scaledVal.toString(), _identifier));
    if (_scale == 0.0 || !std::isfinite(_scale))
        throwError(QStringLiteral("Parameter %1 has no usable scale (%2)").arg(_identifier).arg(_scale));

    double q = *scaled;
    const double step = getStepSize();
    // A step of zero or less (or not a number) means "no quantisation".
    if (step > 0.0 && std::isfinite(step)) {
        const double steps = q / step;
        // Half up; the nudge keeps decimal inputs such as 1.05 at step 0.1 on
        // the side that a person expects. It stays far below half a step, so
        // a large whole number (a 6-byte GTIN) is not moved by it.
        const double nudge = std::min(tolerance(steps), 1e-6);
        q = std::floor(steps + 0.5 + nudge) * step;
    }
    const std::optional<double> hi = upperLimit();
    const std::optional<double> lo = lowerLimit();
    if (hi && q > *hi)
        q = *hi;
    else if (lo && q < *lo)
        q = *lo;
    return setValue(rawFromQuantised(q), update);
}

QVariant Parameter::rawFromQuantised(double q) const
{
    const double raw = q / _scale + _offset;
    if (!std::isfinite(raw))
        throwError(QStringLiteral("Value %1 of parameter %2 is out of range").arg(q).arg(_identifier));
    if (!hasIntegralRawValue())
        return QVariant(raw);

    // Round to the nearest whole raw value, but never across a limit.
    double rounded = std::round(raw);
    if (!rawWithinLimits(rounded)) {
        const double other = rounded > raw ? std::floor(raw) : std::ceil(raw);
        if (rawWithinLimits(other))
            rounded = other;
    }
    if (isSignedByteParameter()) {
        if (rounded < -128.0 || rounded > 127.0)
            throwError(QStringLiteral("Value %1 of parameter %2 is out of range (-128 to 127)")
                           .arg((rounded - _offset) * _scale)
                           .arg(_identifier));
        if (rounded < 0.0)
            rounded += 256.0; // two's complement in the byte
    }
    // A memory-bank field holds its bytes as an unsigned number of its own
    // width; other raw values are 32-bit memory words.
    const unsigned length = memoryFieldLength();
    const double rawMinimum = length != 0 ? 0.0 : kRawMinimum;
    const double rawMaximum = length != 0 ? std::ldexp(1.0, int(8 * length)) - 1.0 : kRawMaximum;
    if (rounded < rawMinimum || rounded > rawMaximum)
        throwError(QStringLiteral("Value %1 of parameter %2 is out of range").arg(q).arg(_identifier));
    if (rounded >= 9223372036854775808.0) // only an 8-byte field gets here; 2^64 - 1 rounds up to 2^64
        return QVariant(rounded >= 18446744073709551616.0 ? std::numeric_limits<qulonglong>::max()
                                                          : static_cast<qulonglong>(rounded));
    const qint64 whole = static_cast<qint64>(rounded);
    if (whole >= std::numeric_limits<int>::min() && whole <= std::numeric_limits<int>::max())
        return QVariant(static_cast<int>(whole));
    return QVariant(static_cast<qlonglong>(whole));
}

bool Parameter::passesWholeNumbersExactly() const
{
    const double step = getStepSize();
    return !_scaleParameter && _scale == 1.0 && _offset == 0 && !(step > 1.0) && hasIntegralRawValue()
        && !isSignedByteParameter();
}

QVariant Parameter::exactRawValue(WideInteger requested) const
{
    WideInteger value = requested;
    const std::optional<WideInteger> hi = wholeLimit(_maxValue, true);
    const std::optional<WideInteger> lo = wholeLimit(_minValue, false);
    if (hi && value > *hi)
        value = *hi;
    else if (lo && value < *lo)
        value = *lo;
    const unsigned length = memoryFieldLength();
    const WideInteger rawMinimum = length != 0 ? 0 : WideInteger(kRawMinimum);
    const WideInteger rawMaximum
        = length != 0 ? (WideInteger(1) << (8 * length)) - 1 : WideInteger(kRawMaximum);
    if (value < rawMinimum || value > rawMaximum)
        throwError(QStringLiteral("Value %1 of parameter %2 is out of range")
                       .arg(wholeNumberVariant(requested).toString(), _identifier));
    return wholeNumberVariant(value);
}

unsigned Parameter::memoryFieldLength() const
{
    const unsigned length = _daliMemoryBankData >> 24;
    return _daliMemoryBankData != 0 && length >= 1 && length <= 8 ? length : 0;
}

std::optional<QString> Parameter::specialValueText() const
{
    if (_specialValues.empty())
        return std::nullopt;
    const unsigned length = memoryFieldLength();
    if (length == 0) {
        const std::optional<qint64> whole = integralValue(_value);
        if (!whole || *whole < std::numeric_limits<std::int32_t>::min()
            || *whole > std::numeric_limits<std::int32_t>::max())
            return std::nullopt;
        const auto special = _specialValues.find(static_cast<std::int32_t>(*whole));
        if (special == _specialValues.end())
            return std::nullopt;
        return QString::fromStdString(special->second);
    }
    // The reserved codes of a memory-bank field are the top values of its own
    // width: a negative key counts down from there, so -2 of a 6-byte energy
    // is 0xFFFFFFFFFFFE, while 0x0000FFFFFFFE is an ordinary reading.
    const std::optional<WideInteger> raw = exactIntegerValue(_value);
    if (!raw)
        return std::nullopt;
    const WideInteger span = WideInteger(1) << (8 * length);
    for (const auto& [key, text] : _specialValues) {
        if (*raw == (key < 0 ? span + key : WideInteger(key)))
            return QString::fromStdString(text);
    }
    return std::nullopt;
}

bool Parameter::rawWithinLimits(double raw) const
{
    const double scaled = (raw - _offset) * _scale;
    const std::optional<double> hi = upperLimit();
    const std::optional<double> lo = lowerLimit();
    if (hi && scaled > *hi + tolerance(*hi))
        return false;
    if (lo && scaled < *lo - tolerance(*lo))
        return false;
    return true;
}

std::optional<double> Parameter::lowerLimit() const
{
    return finiteNumber(_minValue);
}

std::optional<double> Parameter::upperLimit() const
{
    return finiteNumber(_maxValue);
}

bool Parameter::hasIntegralRawValue() const
{
    // A value that lives in device memory is a whole word.
    if (_address >= 0 || !_rawInterface.isEmpty() || _daliMemoryBankData != 0)
        return true;
    if (_scale == 0.0 || !std::isfinite(_scale))
        return false;
    const double step = getStepSize();
    if (!(step > 0.0) || !std::isfinite(step))
        return false;
    const double rawStep = std::fabs(step / _scale);
    const double whole = std::round(rawStep);
    return whole >= 1.0 && std::fabs(rawStep - whole) <= tolerance(rawStep);
}

bool Parameter::isSignedByteParameter() const
{
    const std::optional<double> lo = lowerLimit();
    return _resolution == ITF_RES_BYTE && lo && *lo < 0.0;
}

bool Parameter::is8BitSignedTwosComplement() const
{
    const std::optional<qint64> value = integralValue(_value);
    return value && *value >= 0 && *value <= 255 && isSignedByteParameter();
}

std::optional<double> Parameter::numericScaledValue() const
{
    if (const std::optional<qint64> whole = integralValue(_value); whole && is8BitSignedTwosComplement())
        return (convert8BitValueToTwosComplement(static_cast<int>(*whole)) - static_cast<double>(_offset))
            * _scale;
    const std::optional<double> raw = finiteNumber(_value);
    if (!raw)
        return std::nullopt;
    return (*raw - _offset) * _scale;
}

QVariant Parameter::getScaledValue() const
{
    // A memory-bank flag read as a byte other than 0 and 1: a reserved code
    // shows its text, any other byte counts as set.
    if (_parameterType == PARAM_TYPE_BOOLEAN && memoryFieldLength() != 0
        && _value.userType() != QMetaType::Bool) {
        if (const std::optional<QString> text = specialValueText())
            return *text;
        if (const std::optional<WideInteger> whole = exactIntegerValue(_value))
            return QVariant(*whole != 0);
        return _value;
    }
    // Other types pass through unchanged, as they do when written.
    if (_parameterType != PARAM_TYPE_NUMBER)
        return _value;
    if (!is8BitSignedTwosComplement()) {
        if (const std::optional<QString> text = specialValueText())
            return *text;
    }
    if (passesWholeNumbersExactly()) {
        const std::optional<WideInteger> whole = exactIntegerValue(_value);
        if (whole && beyondDoubles(*whole))
            return wholeNumberVariant(*whole);
    }
    const std::optional<double> scaled = numericScaledValue();
    return scaled ? QVariant(*scaled) : QVariant();
}

bool Parameter::isValid() const
{
    if (_parameterType != PARAM_TYPE_NUMBER)
        return true;
    const std::optional<double> scaled = numericScaledValue();
    if (!scaled)
        return false;
    const std::optional<double> hi = upperLimit();
    const std::optional<double> lo = lowerLimit();
    if (hi && *scaled > *hi + tolerance(*hi))
        return false;
    if (lo && *scaled < *lo - tolerance(*lo))
        return false;
    return true;
}

int Parameter::refreshScale()
{
    QVariant code;
    const int status = _scaleParameter->getValue(code, UPDATE_YES);
    if (status != 0) {
        qCWarning(parameterLog()).noquote()
            << QStringLiteral("Could not read scale parameter %1 of %2: status %3")
                   .arg(_scaleParameter->getIdentifier(), _identifier)
                   .arg(status);
        return status;
    }
    // The scale parameter holds a power-of-ten exponent as a signed byte.
    int exponent = 0;
    const std::optional<qint64> value = integralValue(code);
    if (value && *value >= 0 && *value < 256)
        exponent = convert8BitValueToTwosComplement(static_cast<int>(*value));
    _scale = std::pow(10.0, exponent);
    _scaleSet = true;
    return 0;
}

double Parameter::getScale()
{
    if (_scaleParameter)
        refreshScale();
    return _scale;
}

void Parameter::setScale(double scale)
{
    if (!std::isfinite(scale))
        throwError(
            QStringLiteral("Scale %1 of parameter %2 is not a finite number").arg(scale).arg(_identifier));
    _scale = scale;
    _scaleSet = true;
}

double Parameter::getStepSize() const
{
    return _scaleSet ? _stepSize * _scale : _stepSize;
}

void Parameter::setUnscaledStepSize(double stepSize)
{
    if (!_scaleSet) {
        _stepSize = stepSize;
        return;
    }
    if (_scale == 0.0)
        throwError(QStringLiteral("Parameter %1 has no usable scale (0)").arg(_identifier));
    _stepSize = stepSize / _scale;
}

void Parameter::setDefaultValue(const QVariant& defaultValue)
{
    rejectNonFinite(defaultValue, _identifier);
    _defaultValue = defaultValue;
    _value = defaultValue;
}

void Parameter::setMinValue(const QVariant& minValue)
{
    _minValue = minValue;
}

void Parameter::setMaxValue(const QVariant& maxValue)
{
    // Whole, non-negative maxima are held as unsigned 64-bit numbers; a
    // fractional or negative maximum stays as it is rather than being rounded
    // or wrapped around.
    if (maxValue.userType() == QMetaType::ULongLong) {
        _maxValue = maxValue;
        return;
    }
    const std::optional<qint64> whole = integralValue(maxValue);
    if (whole && *whole >= 0)
        _maxValue = QVariant(static_cast<qulonglong>(*whole));
    else
        _maxValue = maxValue;
}

void Parameter::setMaxValueForResolution(NetworkResolution resolution)
{
    switch (resolution) {
    case ITF_RES_BYTE:
        _maxValue = QVariant(qulonglong(255));
        return;
    case ITF_RES_WORD:
        _maxValue = QVariant(qulonglong(65535));
        return;
    case ITF_RES_LONG:
        _maxValue = QVariant(qulonglong(4294967295ULL));
        return;
    }
    throwError(tr("Resolution \"%1\" undefined").arg(static_cast<int>(resolution)));
}

void Parameter::setActualValue(const QVariant& value)
{
    rejectNonFinite(value, _identifier);
    _value = value;
}

bool Parameter::getIntegerActualValue(int& value) const
{
    if (_value.userType() == QMetaType::Bool) {
        value = _value.toBool() ? 1 : 0;
        return true;
    }
    const std::optional<double> d = finiteNumber(_value);
    if (!d)
        return false;
    const double rounded = std::round(*d);
    if (rounded < std::numeric_limits<int>::min() || rounded > std::numeric_limits<int>::max())
        return false;
    value = static_cast<int>(rounded);
    return true;
}

QString Parameter::getStringValue() const
{
    if (_value.userType() == QMetaType::QString)
        return _value.toString();
    return QStringLiteral("not_supported");
}

void Parameter::setParameterTypeEnum(const QString& enumStr)
{
    static const std::pair<const char*, ParamType> texts[] = {
        {"PARAM_TYPE_BOOLEAN", PARAM_TYPE_BOOLEAN},
        {"PARAM_TYPE_STRING", PARAM_TYPE_STRING},
        {"PARAM_TYPE_ENUM", PARAM_TYPE_ENUM},
        {"PARAM_TYPE_NUMBER", PARAM_TYPE_NUMBER},
        {"PARAM_TYPE_OBJECT", PARAM_TYPE_OBJECT},
    };
    for (const auto& [text, type] : texts) {
        if (enumStr == QLatin1String(text)) {
            _parameterType = type;
            return;
        }
    }
    _parameterType = static_cast<ParamType>(5); // undefined
    throwError(tr("Parameter type \"%1\" undefined").arg(enumStr));
}

void Parameter::setParameterUnitEnum(const QString& enumStr)
{
    _unit = getParameterUnitFromString(enumStr.toStdString());
}

void Parameter::setResolutionEnum(const QString& enumStr)
{
    if (enumStr == QLatin1String("ITF_RES_BYTE"))
        _resolution = ITF_RES_BYTE;
    else if (enumStr == QLatin1String("ITF_RES_WORD"))
        _resolution = ITF_RES_WORD;
    else if (enumStr == QLatin1String("ITF_RES_LONG"))
        _resolution = ITF_RES_LONG;
    else
        throwError(tr("Resolution \"%1\" undefined").arg(enumStr));
}

QString Parameter::getResolutionEnum() const
{
    switch (_resolution) {
    case ITF_RES_BYTE:
        return QStringLiteral("ITF_RES_BYTE");
    case ITF_RES_WORD:
        return QStringLiteral("ITF_RES_WORD");
    case ITF_RES_LONG:
        return QStringLiteral("ITF_RES_LONG");
    }
    throwError(tr("Resolution \"%1\" undefined").arg(static_cast<int>(_resolution)));
}

IParameter::ParamUpdate Parameter::getUpdateEnum(const QString& enumStr) const
{
    if (enumStr == QLatin1String("UPDATE_NO"))
        return UPDATE_NO;
    if (enumStr == QLatin1String("UPDATE_YES"))
        return UPDATE_YES;
    if (enumStr == QLatin1String("UPDATE_UNDEFINED"))
        return UPDATE_UNDEFINED;
    throwError(tr("Parameter update \"%1\" undefined").arg(enumStr));
}

QString Parameter::getParameterUnitShortString() const
{
    return QString::fromStdString(getUnitAbbreviationStringForParameterUnit(_unit));
}

void Parameter::addEnumOption(const QString& optString)
{
    if (!_enumOptions.contains(optString))
        _enumOptions.append(optString);
}

void Parameter::removeEnumOption(const QString& optString)
{
    _enumOptions.removeOne(optString);
}

void Parameter::setScriptGetCallback(const QJSValue& callback)
{
    _scriptGetCallback = callback;
    _actionData.readAction = "script_read";
}

void Parameter::setScriptSetCallback(const QJSValue& callback)
{
    _scriptSetCallback = callback;
    _actionData.writeAction = "script_write";
}

int Parameter::setRawValue(QVariant value)
{
    rejectNonFinite(value, _identifier);
    _value = value;
    return 0;
}

QVariant Parameter::getRawValue()
{
    return _value.isValid() ? _value : QVariant();
}

int Parameter::readRawValue(QVariant& out)
{
    out = getRawValue();
    return 0;
}

IParameter* Parameter::clone()
{
    auto* copy = new Parameter();
    copy->copyFrom(this);
    copy->_scriptEngine = _scriptEngine;
    copy->_scriptGetCallback = _scriptGetCallback;
    copy->_scriptSetCallback = _scriptSetCallback;
    return copy;
}

void Parameter::copyFrom(IParameter* other)
{
    if (other == this)
        return;
    const auto* source = dynamic_cast<const Parameter*>(other);
    if (!source)
        throwError(
            QStringLiteral("Cannot copy into parameter %1: the source is not a Parameter").arg(_identifier));
    _identifier = source->_identifier;
    _parameterType = source->_parameterType;
    _unit = source->_unit;
    _readWrite = source->_readWrite;
    _description = source->_description;
    _resolution = source->_resolution;
    _minValue = source->_minValue;
    _maxValue = source->_maxValue;
    _defaultValue = source->_defaultValue;
    _enabled = source->_enabled;
    _value = source->_value;
    _bitmask = source->_bitmask;
    _displayName = source->_displayName;
    _enumOptions = source->_enumOptions;
    _scaleSet = source->_scaleSet;
    _scale = source->_scale;
    _offset = source->_offset;
    _specialValues = source->_specialValues;
    _scaleParameter = source->_scaleParameter;
    _stepSize = source->_stepSize;
    _constant = source->_constant;
    _group = source->_group;
    _accessLevel = source->_accessLevel;
    _priorityLevel = source->_priorityLevel;
    _tags = source->_tags;
    _hidden = source->_hidden;
    _address = source->_address;
    _rawInterface = source->_rawInterface;
    _inverted = source->_inverted;
    _daliMemoryBankData = source->_daliMemoryBankData;
    _actionData = source->_actionData;
}

void Parameter::logPidAndValue() const
{
    qCDebug(parameterLog()).noquote()
        << QStringLiteral("pid: %1, value: %2").arg(_identifier, _value.toString());
}

bool paramLessThan(const IParameter* a, const IParameter* b)
{
    if (a->getGroup() == b->getGroup())
        return a->getDisplayName() < b->getDisplayName();
    return a->getGroup() < b->getGroup();
}

} // namespace tarvesk::core
