#pragma once

#include <QString>

// Appends "  @ file: line" (the last component of the source path) to a
// message, so that a failure reported to a client names where it arose.
QString appendSourceLocation(const QString& message, const QString& file, int line);
