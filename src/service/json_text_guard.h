#pragma once

#include <QByteArray>
#include <QString>

namespace tarvesk::service {

// Qt 5.15's JSON parser leaks the earlier value of a repeated key when that
// value is an array or object, and it takes keys that differ only after a
// raw NUL character for the same key. A client could so grow the service's
// memory with every request. Text from clients is checked with this before
// it is parsed: the reason to refuse it, or an empty text when it may be
// parsed. JSON text never holds a raw NUL (inside strings it is escaped).
QString jsonTextFault(const QByteArray& utf8);

// Finds the first key that occurs twice in one JSON object of UTF-8 text,
// comparing keys after their escapes are decoded. Returns false when there
// is none, or when the text stops being JSON before one is found.
bool findDuplicateJsonKey(const QByteArray& utf8, QString* key = nullptr);

} // namespace tarvesk::service
