#include "core/parameters/parameter_value.h"

#include "core/core_errors.h"

#include <cmath>
#include <limits>

namespace tarvesk::core {

namespace {

[[noreturn]] void fail(const QString& message)
{
    throw ParameterError(message.toStdString());
}

QString describe(const QVariant& value)
{
    return value.isValid() ? value.toString() : QStringLiteral("(none)");
}

} // namespace

std::optional<double> numericValue(const QVariant& value)
{
    switch (static_cast<QMetaType::Type>(value.userType())) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Double:
    case QMetaType::Float:
        return value.toDouble();
    case QMetaType::QString:
    case QMetaType::QByteArray: {
        bool ok = false;
        const double d = value.toString().trimmed().toDouble(&ok);
        if (ok)
            return d;
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::optional<qint64> integralValue(const QVariant& value)
{
    switch (static_cast<QMetaType::Type>(value.userType())) {
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
        return value.toLongLong();
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar: {
        const qulonglong u = value.toULongLong();
        if (u > static_cast<qulonglong>(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        return static_cast<qint64>(u);
    }
    default:
        break;
    }
    const std::optional<double> d = numericValue(value);
    // 2^63 is exactly representable; everything below it converts safely.
    if (!d || !std::isfinite(*d) || std::floor(*d) != *d || *d < -9223372036854775808.0
        || *d >= 9223372036854775808.0)
        return std::nullopt;
    return static_cast<qint64>(*d);
}

namespace {

constexpr WideInteger TwoToThe63 = WideInteger(1) << 63;
constexpr WideInteger TwoToThe64 = WideInteger(1) << 64;

bool within64Bits(WideInteger value)
{
    return value >= -TwoToThe63 && value < TwoToThe64;
}

std::optional<WideInteger> exactIntegerText(QString text)
{
    text = text.trimmed();
    bool negative = false;
    if (text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+'))) {
        negative = text.front() == QLatin1Char('-');
        text.remove(0, 1);
    }
    int base = 10;
    if (text.startsWith(QLatin1String("0x")) || text.startsWith(QLatin1String("0X"))) {
        base = 16;
        text.remove(0, 2);
    }
    if (text.isEmpty())
        return std::nullopt;
    for (const QChar c : text) {
        const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
        const bool hexLetter = (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
            || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
        if (!digit && !(base == 16 && hexLetter))
            return std::nullopt;
    }
    bool ok = false;
    const qulonglong magnitude = text.toULongLong(&ok, base);
    if (!ok)
        return std::nullopt;
    const WideInteger result = negative ? -WideInteger(magnitude) : WideInteger(magnitude);
    if (!within64Bits(result))
        return std::nullopt;
    return result;
}

} // namespace

std::optional<WideInteger> exactIntegerValue(const QVariant& value)
{
    switch (static_cast<QMetaType::Type>(value.userType())) {
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
        return WideInteger(value.toLongLong());
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return WideInteger(value.toULongLong());
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (!std::isfinite(d) || std::floor(d) != d || d < -9223372036854775808.0
            || d >= 18446744073709551616.0)
            return std::nullopt;
        return WideInteger(d);
    }
    case QMetaType::QString:
    case QMetaType::QByteArray:
        return exactIntegerText(value.toString());
    default:
        return std::nullopt;
    }
}

qint64 checkedInteger(const QVariant& value, const QString& pid, qint64 minimum, qint64 maximum)
{
    const std::optional<double> d = numericValue(value);
    if (!d)
        fail(QStringLiteral("Value \"%1\" of parameter %2 is not a number").arg(describe(value), pid));
    if (!std::isfinite(*d))
        fail(QStringLiteral("Value %1 of parameter %2 is not a finite number").arg(describe(value), pid));
    qint64 result = 0;
    if (const std::optional<qint64> exact = integralValue(value)) {
        result = *exact;
    } else {
        const double rounded = std::round(*d);
        if (rounded < static_cast<double>(minimum) || rounded > static_cast<double>(maximum))
            fail(QStringLiteral("Value %1 of parameter %2 is out of range (%3 to %4)")
                     .arg(describe(value), pid)
                     .arg(minimum)
                     .arg(maximum));
        result = static_cast<qint64>(rounded);
    }
    if (result < minimum || result > maximum)
        fail(QStringLiteral("Value %1 of parameter %2 is out of range (%3 to %4)")
                 .arg(describe(value), pid)
                 .arg(minimum)
                 .arg(maximum));
    return result;
}

void rejectNonFinite(const QVariant& value, const QString& pid)
{
    const int type = value.userType();
    if (type != QMetaType::Double && type != QMetaType::Float)
        return;
    if (!std::isfinite(value.toDouble()))
        fail(QStringLiteral("Value %1 of parameter %2 is not a finite number").arg(describe(value), pid));
}

bool checkedBool(const QVariant& value, const QString& pid)
{
    if (value.userType() == QMetaType::Bool)
        return value.toBool();
    if (value.userType() == QMetaType::QString || value.userType() == QMetaType::QByteArray) {
        const QString text = value.toString().trimmed().toLower();
        if (text == QLatin1String("true") || text == QLatin1String("1"))
            return true;
        if (text == QLatin1String("false") || text == QLatin1String("0"))
            return false;
    } else if (const std::optional<double> d = numericValue(value)) {
        if (!std::isfinite(*d))
            fail(QStringLiteral("Value %1 of parameter %2 is not a finite number").arg(describe(value), pid));
        return *d != 0.0;
    }
    fail(QStringLiteral("Value \"%1\" of parameter %2 is not a boolean").arg(describe(value), pid));
}

} // namespace tarvesk::core
