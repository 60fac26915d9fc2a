#include "service/rpc_value.h"

#include "core/json_text_guard.h"
#include "service/json_rpc_exception.h"
#include "service/rpc_array.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_object.h"

#include <QDebug>
#include <QJsonDocument>

#include <cmath>
#include <limits>

namespace tarvesk::service {

namespace {

// The AddressSanitizer must see every value freed, to catch a use after it.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool KeepFreedValues = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool KeepFreedValues = false;
#else
constexpr bool KeepFreedValues = true;
#endif
#else
constexpr bool KeepFreedValues = true;
#endif

// The blocks of values a thread freed, for the next values it makes; plain
// data, so that it stays usable until the thread's very end.
struct FreedValues
{
    static constexpr int Capacity = 256; // enough for a reply of a few hundred values
    void* blocks[Capacity];
    int count;
    bool released; // the thread is ending: blocks go back to the allocator
};
thread_local FreedValues t_freed; // zero-initialised

void releaseFreedValues()
{
    for (int i = 0; i < t_freed.count; ++i)
        ::operator delete(t_freed.blocks[i]);
    t_freed.count = 0;
}

// Gives the kept blocks back when the thread ends.
struct FreedValuesRelease
{
    ~FreedValuesRelease()
    {
        releaseFreedValues();
        t_freed.released = true;
    }
};

bool keepBlock(void* block)
{
    if (!KeepFreedValues || t_freed.released || t_freed.count == FreedValues::Capacity)
        return false;
    if (t_freed.count == 0) {
        // Made (and its end registered) when the thread first keeps a block.
        static thread_local FreedValuesRelease release;
        (void)release;
    }
    t_freed.blocks[t_freed.count++] = block;
    return true;
}

// Whether a finite number, truncated toward zero, fits in an int.
bool fitsInt(double value)
{
    if (!std::isfinite(value))
        return false;
    const double truncated = std::trunc(value);
    return truncated >= double(std::numeric_limits<int>::min())
        && truncated <= double(std::numeric_limits<int>::max());
}

// Beyond 2^53 a double no longer holds every whole number.
constexpr qulonglong LargestExactDouble = 9007199254740992ull;

// A whole number that a double cannot hold, read exactly from a client's
// decimal digits (an optional minus sign first) or base-16 digits; invalid
// for anything else, for numbers a double holds, and beyond 64 bits.
QVariant wholeNumberBeyondDoubles(const QString& text, int base)
{
    bool ok = false;
    const bool negative = base == 10 && text.startsWith(QLatin1Char('-'));
    const QString digits = negative ? text.mid(1) : text;
    if (digits.isEmpty())
        return {};
    for (const QChar c : digits) {
        if (!(c.isDigit() || (base == 16 && QStringLiteral("abcdefABCDEF").contains(c))))
            return {};
    }
    const qulonglong magnitude = digits.toULongLong(&ok, base);
    if (!ok || magnitude <= LargestExactDouble)
        return {};
    if (!negative)
        return QVariant(magnitude);
    if (magnitude > 9223372036854775808ull)
        return {};
    return QVariant(qlonglong(0ull - magnitude));
}

} // namespace

void* RpcValue::operator new(std::size_t size)
{
    if (size == sizeof(RpcValue) && t_freed.count > 0)
        return t_freed.blocks[--t_freed.count];
    return ::operator new(size);
}

void RpcValue::operator delete(void* block, std::size_t size) noexcept
{
    if (!block)
        return;
    if (size != sizeof(RpcValue) || !keepBlock(block))
        ::operator delete(block);
}

void RpcValue::releaseKeptBlocks()
{
    releaseFreedValues();
}

RpcValue::RpcValue() = default;

RpcValue::RpcValue(const QString& value)
    : _type(RPC_VALUE_STRING)
    , _stringValue(value)
{ }

RpcValue::RpcValue(const char* value)
{
    fromString(QString::fromLatin1(value));
}

RpcValue::RpcValue(double value)
{
    fromDouble(value);
}

RpcValue::RpcValue(int value)
{
    fromDouble(value);
}

RpcValue::RpcValue(unsigned int value)
{
    fromDouble(value);
}

RpcValue::RpcValue(bool value)
{
    fromBool(value);
}

RpcValue::RpcValue(RpcObject* value)
    : _type(RPC_VALUE_OBJECT)
    , _object(value)
{ }

RpcValue::RpcValue(RpcArray* value)
    : _type(RPC_VALUE_ARRAY)
    , _array(value)
{ }

RpcValue::RpcValue(const QJsonValue& value)
{
    fromJsonValue(value);
}

RpcValue::RpcValue(const QJsonObject& value)
{
    fromJsonObject(value);
}

RpcValue::RpcValue(const QJsonArray& value)
{
    fromJsonArray(value);
}

RpcValue::RpcValue(const QList<int>& values)
    : _type(RPC_VALUE_ARRAY)
    , _array(new RpcArray)
{
    for (int v : values)
        _array->addChild(new RpcValue(v));
}

RpcValue::RpcValue(const QList<double>& values)
    : _type(RPC_VALUE_ARRAY)
    , _array(new RpcArray)
{
    for (double v : values)
        _array->addChild(new RpcValue(v));
}

RpcValue::RpcValue(const QVariant& value)
{
    switch (value.userType()) {
    case QMetaType::UnknownType:
        break;
    case QMetaType::Bool:
        fromBool(value.toBool());
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Double:
        fromDouble(value.toDouble());
        break;
    case QMetaType::Long:
    case QMetaType::LongLong:
        fromExactInteger(value.toLongLong());
        break;
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        fromExactInteger(value.toULongLong());
        break;
    case QMetaType::QString:
        fromString(value.toString());
        break;
    default:
        qDebug().noquote() << QStringLiteral("Trying to convert unknown QVariant type '%1' to RpcValue")
                                  .arg(QString::fromLatin1(value.typeName()));
        break;
    }
}

RpcValue::~RpcValue() = default;

void RpcValue::clearContainers()
{
    _object.reset();
    _array.reset();
    _exactInteger = QVariant();
}

void RpcValue::fromExactInteger(qlonglong value)
{
    fromDouble(double(value));
    _exactInteger = QVariant(value);
}

void RpcValue::fromExactInteger(qulonglong value)
{
    fromDouble(double(value));
    _exactInteger = QVariant(value);
}

QString RpcValue::exactIntegerText() const
{
    return _exactInteger.isValid() ? _exactInteger.toString() : QString();
}

void RpcValue::fromString(const QString& value)
{
    clearContainers();
    _type = RPC_VALUE_STRING;
    _stringValue = value;
    _doubleValue = 0.0;
}

void RpcValue::fromBool(bool value)
{
    clearContainers();
    _type = RPC_VALUE_BOOL;
    _boolValue = value;
    _doubleValue = 0.0;
}

void RpcValue::fromDouble(double value)
{
    clearContainers();
    _type = RPC_VALUE_DOUBLE;
    _doubleValue = value;
    _stringValue.clear();
}

void RpcValue::fromJsonValue(const QJsonValue& value)
{
    clearContainers();
    _defaultValue = false;
    switch (value.type()) {
    case QJsonValue::Null:
        _type = RPC_VALUE_NULL;
        break;
    case QJsonValue::Bool:
        _type = RPC_VALUE_BOOL;
        _boolValue = value.toBool();
        break;
    case QJsonValue::Double:
        _type = RPC_VALUE_DOUBLE;
        _doubleValue = value.toDouble();
        break;
    case QJsonValue::String:
        _type = RPC_VALUE_STRING;
        _stringValue = value.toString();
        break;
    case QJsonValue::Array:
        fromJsonArray(value.toArray());
        break;
    case QJsonValue::Object:
        fromJsonObject(value.toObject());
        break;
    case QJsonValue::Undefined:
        _type = RPC_VALUE_UNDEFINED;
        break;
    }
}

void RpcValue::fromJsonObject(const QJsonObject& object)
{
    clearContainers();
    _type = RPC_VALUE_OBJECT;
    _object.reset(new RpcObject);
    for (auto it = object.constBegin(); it != object.constEnd(); ++it)
        _object->addChild(it.key(), new RpcValue(it.value()));
}

void RpcValue::fromJsonArray(const QJsonArray& array)
{
    clearContainers();
    _type = RPC_VALUE_ARRAY;
    _array.reset(new RpcArray);
    for (const QJsonValue& element : array)
        _array->addChild(new RpcValue(element));
}

bool RpcValue::fromJson(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    if (!core::jsonTextFault(utf8).isEmpty())
        return false;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(utf8, &error);
    if (document.isObject())
        fromJsonObject(document.object());
    else if (document.isArray())
        fromJsonArray(document.array());
    return error.error == QJsonParseError::NoError;
}

double RpcValue::roundToThreeDecimals(double value)
{
    if (!std::isfinite(value) || std::trunc(value) == value)
        return value;
    const double rounded = std::floor(value * 1000.0 + 0.5) / 1000.0;
    return std::isfinite(rounded) ? rounded : value;
}

QJsonValue RpcValue::toJsonValue() const
{
    switch (_type) {
    case RPC_VALUE_BOOL:
        return QJsonValue(_boolValue);
    case RPC_VALUE_DOUBLE:
        return QJsonValue(roundToThreeDecimals(_doubleValue));
    case RPC_VALUE_STRING:
        return QJsonValue(_stringValue);
    case RPC_VALUE_ARRAY: {
        QJsonArray array;
        if (_array) {
            for (const RpcValue* child : *_array)
                array.append(child->toJsonValue());
        }
        return array;
    }
    case RPC_VALUE_OBJECT: {
        QJsonObject object;
        if (_object) {
            for (auto it = _object->begin(); it != _object->end(); ++it)
                object.insert(it.key(), it.value()->toJsonValue());
        }
        return object;
    }
    default:
        return QJsonValue(QJsonValue::Null);
    }
}

QVariant RpcValue::getVariantValue() const
{
    switch (_type) {
    case RPC_VALUE_BOOL:
        return QVariant(_boolValue);
    case RPC_VALUE_DOUBLE:
        return _exactInteger.isValid() ? _exactInteger : QVariant(_doubleValue);
    case RPC_VALUE_STRING:
        return QVariant(_stringValue);
    case RPC_VALUE_ARRAY:
    case RPC_VALUE_OBJECT:
        return QVariant(toJsonValue());
    default:
        return QVariant();
    }
}

QString RpcValue::getTypeString() const
{
    switch (_type) {
    case RPC_VALUE_NULL:
        return QStringLiteral("null");
    case RPC_VALUE_BOOL:
        return QStringLiteral("bool");
    case RPC_VALUE_DOUBLE:
        return QStringLiteral("number");
    case RPC_VALUE_STRING:
        return QStringLiteral("string");
    case RPC_VALUE_ARRAY:
        return QStringLiteral("array");
    case RPC_VALUE_OBJECT:
        return QStringLiteral("object");
    default:
        return QStringLiteral("undefined");
    }
}

int RpcValue::getIntegerValue() const
{
    if (!std::isfinite(_doubleValue))
        QM_THROW_JSONRPC(QStringLiteral("Number is not finite"), RPC_ERROR_INVALID_PARAMS);
    if (!fitsInt(_doubleValue)) {
        QM_THROW_JSONRPC(QStringLiteral("Number %1 is outside the integer range %2..%3")
                             .arg(_doubleValue, 0, 'g', 17)
                             .arg(std::numeric_limits<int>::min())
                             .arg(std::numeric_limits<int>::max()),
            RPC_ERROR_INVALID_PARAMS);
    }
    return int(std::trunc(_doubleValue));
}

bool RpcValue::convertToDouble()
{
    if (_type == RPC_VALUE_DOUBLE)
        return true;
    if (_type != RPC_VALUE_STRING)
        return false;

    bool ok = false;
    double number = 0.0;
    QString text = _stringValue;
    QVariant exact;
    if (text.contains(QLatin1String("0x"))) {
        text.remove(QLatin1String("0x"));
        number = double(text.toLongLong(&ok, 16));
        exact = wholeNumberBeyondDoubles(text, 16);
    } else if (text.size() <= 5) {
        number = text.toDouble(&ok);
    } else {
        // Only a text carries a number beyond 2^53 exactly; JSON numbers reach
        // us as doubles.
        exact = wholeNumberBeyondDoubles(text, 10);
    }
    if (exact.isValid()) {
        ok = true;
        number = exact.toDouble();
    }
    // "inf" and "nan" read as numbers; a client's text must never turn into one.
    if (!ok || !std::isfinite(number))
        return false;

    _stringValue = text;
    _type = RPC_VALUE_DOUBLE;
    _doubleValue = number;
    _exactInteger = exact;
    return true;
}

bool RpcValue::convertToBool()
{
    if (_type == RPC_VALUE_BOOL)
        return true;
    if (_type != RPC_VALUE_STRING)
        return false;
    const QString lower = _stringValue.toLower();
    if (_stringValue == QLatin1String("1") || lower == QLatin1String("true")
        || lower == QLatin1String("yes")) {
        fromBool(true);
        return true;
    }
    if (_stringValue == QLatin1String("0") || lower == QLatin1String("false")
        || lower == QLatin1String("no")) {
        fromBool(false);
        return true;
    }
    return false;
}

bool RpcValue::isBoolValue()
{
    return convertToBool();
}

bool RpcValue::isDoubleValue()
{
    return _type == RPC_VALUE_DOUBLE || (_type == RPC_VALUE_STRING && convertToDouble());
}

bool RpcValue::isStringValue()
{
    if (_type == RPC_VALUE_STRING)
        return true;
    if (_stringValue.isEmpty())
        return false;
    clearContainers();
    _type = RPC_VALUE_STRING;
    return true;
}

bool RpcValue::isType(const QString& typeName)
{
    if (typeName == QLatin1String("number"))
        return isDoubleValue();
    if (typeName == QLatin1String("bool"))
        return convertToBool();
    if (typeName == QLatin1String("enum") || typeName == QLatin1String("string")
        || typeName == QLatin1String("object"))
        return isStringValue();
    return false;
}

int RpcValue::toInteger(bool* ok)
{
    const bool converted = isDoubleValue() && fitsInt(_doubleValue);
    if (ok)
        *ok = converted;
    return converted ? int(std::trunc(_doubleValue)) : 0;
}

RpcValue* RpcValue::clone() const
{
    auto* copy = new RpcValue;
    copy->_type = _type;
    copy->_stringValue = _stringValue;
    copy->_doubleValue = _doubleValue;
    copy->_boolValue = _boolValue;
    copy->_exactInteger = _exactInteger;
    if (_object)
        copy->_object.reset(_object->clone());
    if (_array)
        copy->_array.reset(_array->clone());
    return copy;
}

unsigned int RpcValue::getMemorySize() const
{
    unsigned int size = 8;
    if (_object)
        size += _object->getMemorySize();
    if (_array)
        size += _array->getMemorySize();
    return size;
}

void RpcValue::debugPrint(int indent) const
{
    const QString pad(qMax(indent, 0), QLatin1Char(' '));
    switch (_type) {
    case RPC_VALUE_NULL:
        qDebug().noquote() << pad + QStringLiteral("* RPC_VALUE_NULL");
        break;
    case RPC_VALUE_BOOL:
        qDebug().noquote() << pad
                + QStringLiteral("* VALUE_BOOL: %1")
                      .arg(_boolValue ? QStringLiteral("true") : QStringLiteral("false"));
        break;
    case RPC_VALUE_DOUBLE:
        qDebug().noquote() << pad + QStringLiteral("* VALUE_DOUBLE: %1").arg(_doubleValue);
        break;
    case RPC_VALUE_STRING:
        qDebug().noquote() << pad + QStringLiteral("* VALUE_STRING: %1").arg(_stringValue);
        break;
    case RPC_VALUE_ARRAY:
        qDebug().noquote() << pad + QStringLiteral("* RPC_VALUE_ARRAY:");
        if (_array) {
            for (const RpcValue* child : *_array)
                child->debugPrint(indent + 1);
        }
        break;
    case RPC_VALUE_OBJECT:
        qDebug().noquote() << pad + QStringLiteral("* RPC_VALUE_OBJECT:");
        if (_object) {
            for (auto it = _object->begin(); it != _object->end(); ++it) {
                qDebug().noquote() << pad + QStringLiteral("| %1").arg(it.key());
                it.value()->debugPrint(indent + 1);
            }
        }
        break;
    default:
        qDebug().noquote() << pad + QStringLiteral("* RPC_VALUE_UNDEFINED");
        break;
    }
}

} // namespace tarvesk::service
