#pragma once

#include "drivers/sim_driver_faults.h"

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace tarvesk::sim {

// Reads the keys of one bus model's bench entry and keeps the first reason it
// cannot be used. Numbers are JSON numbers or texts ("0x...").
class SimBenchEntry
{
public:
    SimBenchEntry(const QJsonObject& entry, QString* error);

    bool failed() const { return _failed; }
    void fail(const QString& reason);
    // Refuses any key not listed ("model" is always allowed).
    void onlyKeys(const QStringList& keys);

    bool has(const char* key) const { return _entry.contains(QLatin1String(key)); }
    std::optional<quint64> number(const char* key, quint64 min, quint64 max);
    template <typename T> void read(const char* key, quint64 max, T& target)
    {
        if (auto value = number(key, 0, max))
            target = T(*value);
    }
    void readBool(const char* key, bool& target);
    void readText(const char* key, QString& target);
    // A list of bytes, at most maxCount of them.
    QByteArray bytes(const char* key, int maxCount);
    // The same for a value found elsewhere in the entry; place names it in the reason.
    QByteArray bytesOf(const QJsonValue& value, const QString& place, int maxCount);
    // An object of number: number pairs (keys up to maxKey, values up to maxValue).
    QMap<quint32, quint32> numberMap(const char* key, quint32 maxKey, quint32 maxValue);
    // "faults": {"silent": n, "bad_checksum": n, "error_flag": n, "row_not_programmed": n,
    // "row_refused": n, "unplug_after_rows": n}; -1 is for ever (not for the unplug).
    SimDriverFaults faults();

    const QJsonObject& entry() const { return _entry; }
    QString* errorText() const { return _error; }

private:
    const QJsonObject& _entry;
    QString* _error;
    bool _failed = false;
};

std::optional<quint64> simBenchNumber(const QJsonValue& value, quint64 max);

} // namespace tarvesk::sim
