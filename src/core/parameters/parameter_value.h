#pragma once

#include <QString>
#include <QVariant>

#include <optional>

namespace tarvesk::core {

// Checked reading of values that come from outside (clients, scripts,
// definition files): a value is a number only when it holds a numeric type
// or a text that reads as one; booleans, invalid and other values are not.
std::optional<double> numericValue(const QVariant& value);

// The value as a whole number, when it is a finite number without fraction
// that fits 64 bits.
std::optional<qint64> integralValue(const QVariant& value);

// A whole number of the signed or the unsigned 64-bit range, held exactly.
using WideInteger = __int128;

// The value as an exact whole number: any integer type, a double without a
// fraction inside the 64-bit ranges, or a text holding a decimal or a "0x"
// hexadecimal whole number (with an optional sign) that fits them. Numbers
// beyond 2^53 keep every digit this way, which a double would round.
std::optional<WideInteger> exactIntegerValue(const QVariant& value);

// The value for a raw memory word: a finite number, rounded to the nearest
// integer, within [minimum, maximum]. Throws ParameterError naming the
// parameter otherwise.
qint64 checkedInteger(const QVariant& value, const QString& pid, qint64 minimum, qint64 maximum);

// Rejects NaN and infinite numbers with a ParameterError naming the parameter.
void rejectNonFinite(const QVariant& value, const QString& pid);

// A boolean from a bool, a finite number (non-zero is true) or one of the
// texts "true", "false", "1", "0"; throws ParameterError otherwise.
bool checkedBool(const QVariant& value, const QString& pid);

} // namespace tarvesk::core
