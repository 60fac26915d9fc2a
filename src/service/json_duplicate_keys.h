#pragma once

#include <QByteArray>
#include <QString>

namespace tarvesk::service {

// Finds the first key that occurs twice in one JSON object of UTF-8 text,
// comparing keys after their escapes are decoded. Returns false when there
// is none, or when the text stops being JSON before one is found.
//
// Qt 5.15's JSON parser leaks the earlier value of a repeated key when that
// value is an array or object, so a client could grow the service's memory
// with every request. Text from clients is checked with this first and
// refused when it repeats a key.
bool findDuplicateJsonKey(const QByteArray& utf8, QString* key = nullptr);

} // namespace tarvesk::service
