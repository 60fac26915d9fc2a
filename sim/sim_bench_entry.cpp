#include "sim_bench_entry.h"

#include <QJsonArray>

namespace tarvesk::sim {

std::optional<quint64> simBenchNumber(const QJsonValue& value, quint64 max)
{
    quint64 result = 0;
    bool ok = false;
    if (value.isDouble()) {
        const double d = value.toDouble();
        ok = d >= 0 && d <= double(max) && d == double(quint64(d));
        result = quint64(d);
    } else if (value.isString()) {
        result = value.toString().toULongLong(&ok, 0);
    }
    if (!ok || result > max)
        return std::nullopt;
    return result;
}

SimBenchEntry::SimBenchEntry(const QJsonObject& entry, QString* error)
    : _entry(entry)
    , _error(error)
{ }

void SimBenchEntry::fail(const QString& reason)
{
    if (!_failed && _error)
        *_error = reason;
    _failed = true;
}

void SimBenchEntry::onlyKeys(const QStringList& keys)
{
    for (auto it = _entry.constBegin(); it != _entry.constEnd(); ++it) {
        if (it.key() != QLatin1String("model") && !keys.contains(it.key()))
            fail(QStringLiteral("unknown key \"%1\"").arg(it.key()));
    }
}

std::optional<quint64> SimBenchEntry::number(const char* key, quint64 min, quint64 max)
{
    if (_failed || !has(key))
        return std::nullopt;
    const auto value = simBenchNumber(_entry.value(QLatin1String(key)), max);
    if (!value || *value < min) {
        fail(QStringLiteral("\"%1\" must be a number from %2 to %3")
                 .arg(QLatin1String(key))
                 .arg(min)
                 .arg(max));
        return std::nullopt;
    }
    return value;
}

void SimBenchEntry::readBool(const char* key, bool& target)
{
    if (_failed || !has(key))
        return;
    if (!_entry.value(QLatin1String(key)).isBool())
        return fail(QStringLiteral("\"%1\" must be true or false").arg(QLatin1String(key)));
    target = _entry.value(QLatin1String(key)).toBool();
}

void SimBenchEntry::readText(const char* key, QString& target)
{
    if (_failed || !has(key))
        return;
    if (!_entry.value(QLatin1String(key)).isString())
        return fail(QStringLiteral("\"%1\" must be a text").arg(QLatin1String(key)));
    target = _entry.value(QLatin1String(key)).toString();
}

QByteArray SimBenchEntry::bytes(const char* key, int maxCount)
{
    if (_failed || !has(key))
        return {};
    return bytesOf(
        _entry.value(QLatin1String(key)), QStringLiteral("\"%1\"").arg(QLatin1String(key)), maxCount);
}

QByteArray SimBenchEntry::bytesOf(const QJsonValue& value, const QString& place, int maxCount)
{
    if (_failed)
        return {};
    const QJsonArray array = value.toArray();
    if (!value.isArray() || array.size() > maxCount) {
        fail(QStringLiteral("%1 must be a list of at most %2 bytes").arg(place).arg(maxCount));
        return {};
    }
    QByteArray result;
    for (const QJsonValue& item : array) {
        const auto byte = simBenchNumber(item, 0xFF);
        if (!byte) {
            fail(QStringLiteral("%1 must hold bytes from 0 to 255").arg(place));
            return {};
        }
        result.append(char(*byte));
    }
    return result;
}

QMap<quint32, quint32> SimBenchEntry::numberMap(const char* key, quint32 maxKey, quint32 maxValue)
{
    QMap<quint32, quint32> result;
    if (_failed || !has(key))
        return result;
    const QJsonValue value = _entry.value(QLatin1String(key));
    if (!value.isObject()) {
        fail(QStringLiteral("\"%1\" must map numbers to values").arg(QLatin1String(key)));
        return result;
    }
    const QJsonObject map = value.toObject();
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        const auto number = simBenchNumber(QJsonValue(it.key()), maxKey);
        const auto entry = simBenchNumber(it.value(), maxValue);
        if (!number || !entry) {
            fail(QStringLiteral("\"%1\": \"%2\" must map a number to 0..%3 (numbers up to %4)")
                     .arg(QLatin1String(key), it.key())
                     .arg(maxValue)
                     .arg(maxKey));
            return {};
        }
        result.insert(quint32(*number), quint32(*entry));
    }
    return result;
}

SimDriverFaults SimBenchEntry::faults()
{
    SimDriverFaults faults;
    if (_failed || !has("faults"))
        return faults;
    const QJsonValue value = _entry.value(QStringLiteral("faults"));
    if (!value.isObject()) {
        fail(QStringLiteral("\"faults\" must be an object"));
        return faults;
    }
    const QJsonObject object = value.toObject();
    const std::pair<const char*, int*> counts[]
        = {{"silent", &faults.silent}, {"bad_checksum", &faults.badChecksum},
            {"error_flag", &faults.errorFlag}, {"row_not_programmed", &faults.rowNotProgrammed},
            {"row_refused", &faults.rowRefused}, {"unplug_after_rows", &faults.unplugAfterRows}};
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        int* target = nullptr;
        for (const auto& [name, field] : counts) {
            if (it.key() == QLatin1String(name))
                target = field;
        }
        const int count = it.value().toInt(-2);
        const int least = target == &faults.unplugAfterRows ? 0 : SimDriverFaults::Forever;
        if (!target || !it.value().isDouble() || count < least) {
            fail(QStringLiteral(
                "\"faults\": \"%1\" must be one of silent, bad_checksum, error_flag, "
                "row_not_programmed, row_refused with a count (-1 for ever), or unplug_after_rows "
                "with a count of rows")
                     .arg(it.key()));
            return faults;
        }
        *target = count;
    }
    return faults;
}

} // namespace tarvesk::sim
