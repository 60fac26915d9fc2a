#pragma once

#include <QByteArray>
#include <QString>

namespace tarvesk::core {

// Text from clients passes this check before the framework parses it, so
// that only strict JSON (RFC 8259) reaches Qt 5.15's parser. That parser
// takes much that is no JSON (unknown escapes such as \q, raw control
// characters, "1.", ".5"), and it leaks the earlier value of a repeated key
// when that value is an array or an object: a client could grow the
// service's memory with every request.
//
// Refused besides what the grammar does not allow:
// - bytes that are not valid UTF-8;
// - a \u escape of one half of a surrogate pair without the other half
//   right after it: it names no character and would be written out as "?";
// - a key that occurs twice in one object (compared after its escapes are
//   decoded);
// - nesting deeper than the framework's parser takes (1024 levels).
// One UTF-8 byte order mark before the text is skipped, as the framework's
// parser does. Any JSON value may stand at the top; what the framework
// cannot hold (a top level that is no object or array, a number beyond the
// range of a double) it refuses itself.
//
// Returns the reason to refuse the text, in the framework's own words where
// it has them, or an empty text when the text may be parsed. The check runs
// in time linear in the length of the text and on a fixed amount of stack.
QString jsonTextFault(const QByteArray& utf8);

// The same check. Besides, when the text passes and its top value is an
// object with the key topKey, *topValue receives that member's value exactly
// as the text writes it (a number with its own digits, a string with its
// quotes and escapes); otherwise *topValue is cleared.
QString jsonTextFault(const QByteArray& utf8, const QString& topKey, QByteArray* topValue);

} // namespace tarvesk::core
