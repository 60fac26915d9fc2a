#include "sim_bench.h"

#include "sim_bus_model_registry.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <libusb.h>

#include <optional>
#include <random>

namespace tarvesk::sim {

namespace {

// Collects the first error with the place it was found.
class Reader
{
public:
    explicit Reader(QString* error)
        : _error(error)
    { }

    bool failed() const { return _failed; }

    bool fail(const QString& place, const QString& what)
    {
        if (!_failed && _error)
            *_error = place.isEmpty() ? what : place + QStringLiteral(": ") + what;
        _failed = true;
        return false;
    }

    std::optional<qint64> number(const QJsonValue& value, const QString& place, qint64 min, qint64 max)
    {
        qint64 result = 0;
        if (value.isDouble()) {
            const double d = value.toDouble();
            if (d != static_cast<double>(static_cast<qint64>(d))) {
                fail(place, QStringLiteral("%1 is not a whole number").arg(d));
                return std::nullopt;
            }
            result = static_cast<qint64>(d);
        } else if (value.isString()) {
            bool ok = false;
            const QString text = value.toString().trimmed();
            result = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                ? text.mid(2).toLongLong(&ok, 16)
                : text.toLongLong(&ok, 10);
            if (!ok) {
                fail(place, QStringLiteral("\"%1\" is not a number").arg(value.toString()));
                return std::nullopt;
            }
        } else {
            fail(place, QStringLiteral("a number is expected"));
            return std::nullopt;
        }
        if (result < min || result > max) {
            fail(place, QStringLiteral("%1 is outside %2..%3").arg(result).arg(min).arg(max));
            return std::nullopt;
        }
        return result;
    }

    bool onlyKeys(const QJsonObject& object, const QString& place, const QStringList& known)
    {
        for (const QString& key : object.keys()) {
            if (!known.contains(key))
                return fail(place, QStringLiteral("unknown key \"%1\"").arg(key));
        }
        return true;
    }

private:
    QString* _error;
    bool _failed = false;
};

template <typename T>
void readNumber(Reader& reader, const QJsonObject& object, const QString& key, const QString& place,
    T* target, qint64 max)
{
    if (!object.contains(key))
        return;
    if (auto value = reader.number(object.value(key), place + QLatin1Char('.') + key, 0, max))
        *target = static_cast<T>(*value);
}

bool readText(
    Reader& reader, const QJsonObject& object, const QString& key, const QString& place, QString* target)
{
    if (!object.contains(key))
        return true;
    if (!object.value(key).isString())
        return reader.fail(place + QLatin1Char('.') + key, QStringLiteral("a text is expected"));
    *target = object.value(key).toString();
    return true;
}

void readValueMap(Reader& reader, const QJsonObject& object, const QString& key, const QString& place,
    const std::function<void(int, quint16)>& store)
{
    if (!object.contains(key))
        return;
    const QString mapPlace = place + QLatin1Char('.') + key;
    if (!object.value(key).isObject()) {
        reader.fail(mapPlace, QStringLiteral("an object of number: value is expected"));
        return;
    }
    const QJsonObject map = object.value(key).toObject();
    for (auto it = map.constBegin(); it != map.constEnd() && !reader.failed(); ++it) {
        const auto address = reader.number(QJsonValue(it.key()), mapPlace, 0, 0xFFFF);
        if (!address)
            return;
        const auto value = reader.number(it.value(), mapPlace + QLatin1Char('.') + it.key(), 0, 0xFFFF);
        if (!value)
            return;
        store(static_cast<int>(*address), static_cast<quint16>(*value));
    }
}

void readBusModels(Reader& reader, const QJsonObject& object, const QString& key, SimBusModel::Bus bus,
    const QString& place, SimVandrelBox& box)
{
    if (!object.contains(key))
        return;
    const QString busPlace = place + QLatin1Char('.') + key;
    if (!object.value(key).isArray()) {
        reader.fail(busPlace, QStringLiteral("a list of bus models is expected"));
        return;
    }
    const QJsonArray entries = object.value(key).toArray();
    for (int i = 0; i < entries.size() && !reader.failed(); ++i) {
        const QString entryPlace = QStringLiteral("%1[%2]").arg(busPlace).arg(i);
        const QJsonObject entry = entries.at(i).toObject();
        if (!entries.at(i).isObject() || !entry.value(QStringLiteral("model")).isString()) {
            reader.fail(entryPlace, QStringLiteral("an object with a \"model\" name is expected"));
            return;
        }
        QString reason;
        auto model = SimBusModelRegistry::instance().create(
            bus, entry.value(QStringLiteral("model")).toString(), entry, &reason);
        if (!model) {
            reader.fail(entryPlace, reason);
            return;
        }
        box.addBusModel(std::move(model));
    }
}

// "monitor_hold_back": {"one_in": n, "min_ms": l, "max_ms": m, "seed": s}: after
// one request in n (drawn at random), the host's next monitor pass comes l (default 1)
// to m ms late.
void readMonitorHoldBack(Reader& reader, const QJsonObject& object, const QString& place, SimVandrelBox& box)
{
    const QString key = QStringLiteral("monitor_hold_back");
    if (!object.contains(key))
        return;
    const QString holdPlace = place + QLatin1Char('.') + key;
    const QJsonObject hold = object.value(key).toObject();
    if (!object.value(key).isObject()) {
        reader.fail(holdPlace, QStringLiteral("an object is expected"));
        return;
    }
    if (!reader.onlyKeys(hold, holdPlace, {"one_in", "min_ms", "max_ms", "seed"}))
        return;
    const auto oneIn = reader.number(hold.value(QStringLiteral("one_in")), holdPlace + ".one_in", 1, 1000000);
    const auto maxMs = reader.number(hold.value(QStringLiteral("max_ms")), holdPlace + ".max_ms", 1, 5000);
    const auto minMs = hold.contains(QStringLiteral("min_ms"))
        ? reader.number(hold.value(QStringLiteral("min_ms")), holdPlace + ".min_ms", 1, maxMs.value_or(5000))
        : std::optional<qint64>(1);
    const auto seed = hold.contains(QStringLiteral("seed"))
        ? reader.number(hold.value(QStringLiteral("seed")), holdPlace + ".seed", 0, 0xFFFFFFFF)
        : std::optional<qint64>(1);
    if (!oneIn || !minMs || !maxMs || !seed)
        return;
    auto random = std::make_shared<std::mt19937>(quint32(*seed));
    const int n = int(*oneIn);
    const int l = int(*minMs);
    const int m = int(*maxMs);
    box.editFaults([random, n, l, m](SimFaults& faults) {
        faults.setPollHoldBack([random, n, l, m](const QByteArray&) {
            if (std::uniform_int_distribution<int>(1, n)(*random) != 1)
                return 0;
            return std::uniform_int_distribution<int>(l, m)(*random);
        });
    });
}

// "drop_records": {"after": a, "count": n}: the box's first a records reach the
// stream, the n after them are lost.
void readDropRecords(Reader& reader, const QJsonObject& object, const QString& place, SimVandrelBox& box)
{
    const QString key = QStringLiteral("drop_records");
    if (!object.contains(key))
        return;
    const QString dropPlace = place + QLatin1Char('.') + key;
    if (!object.value(key).isObject()) {
        reader.fail(dropPlace, QStringLiteral("an object is expected"));
        return;
    }
    const QJsonObject drop = object.value(key).toObject();
    if (!reader.onlyKeys(drop, dropPlace, {"after", "count"}))
        return;
    const auto count = reader.number(drop.value(QStringLiteral("count")), dropPlace + ".count", 1, 1000000);
    const auto after = drop.contains(QStringLiteral("after"))
        ? reader.number(drop.value(QStringLiteral("after")), dropPlace + ".after", 0, 1000000)
        : std::optional<qint64>(0);
    if (!count || !after)
        return;
    box.editFaults([a = int(*after), n = int(*count)](SimFaults& faults) { faults.dropRecordsAfter(a, n); });
}

// "fail_polls": {"after": a, "count": n}: the box's first a monitor polls (0 if
// left out) work, the n after them fail with an I/O error before they reach it.
void readFailPolls(Reader& reader, const QJsonObject& object, const QString& place, SimVandrelBox& box)
{
    const QString key = QStringLiteral("fail_polls");
    if (!object.contains(key))
        return;
    const QString failPlace = place + QLatin1Char('.') + key;
    if (!object.value(key).isObject()) {
        reader.fail(failPlace, QStringLiteral("an object is expected"));
        return;
    }
    const QJsonObject fail = object.value(key).toObject();
    if (!reader.onlyKeys(fail, failPlace, {"after", "count"}))
        return;
    const auto count = reader.number(fail.value(QStringLiteral("count")), failPlace + ".count", 1, 1000000);
    const auto after = fail.contains(QStringLiteral("after"))
        ? reader.number(fail.value(QStringLiteral("after")), failPlace + ".after", 0, 1000000)
        : std::optional<qint64>(0);
    if (!count || !after)
        return;
    box.editFaults([a = int(*after), n = int(*count)](SimFaults& faults) {
        faults.failPollsAfter(a, LIBUSB_ERROR_IO, n);
    });
}

std::shared_ptr<SimVandrelBox> readBox(Reader& reader, const QJsonValue& value, const QString& place)
{
    if (!value.isObject()) {
        reader.fail(place, QStringLiteral("an object is expected"));
        return nullptr;
    }
    const QJsonObject object = value.toObject();
    if (!reader.onlyKeys(object, place,
            {"release", "firmware", "subversion", "capabilities", "serial", "manufacturer", "product",
                "serial_text", "vendor_id", "product_id", "registers", "dorvane_ram", "status_block", "dali",
                "dmx", "dorvane", "monitor_hold_back", "drop_records", "fail_polls",
                "dmx_recorded_after_line"})) {
        return nullptr;
    }
    SimBoxConfig config;
    readNumber(reader, object, QStringLiteral("release"), place, &config.release, 0xFFFF);
    readNumber(reader, object, QStringLiteral("firmware"), place, &config.firmwareVersion, 0xFF);
    readNumber(reader, object, QStringLiteral("subversion"), place, &config.subversion, 0xFF);
    readNumber(reader, object, QStringLiteral("capabilities"), place, &config.capabilities, 0xFF);
    readNumber(reader, object, QStringLiteral("serial"), place, &config.serial, 0xFFFFFFFF);
    readNumber(reader, object, QStringLiteral("vendor_id"), place, &config.vendorId, 0xFFFF);
    readNumber(reader, object, QStringLiteral("product_id"), place, &config.productId, 0xFFFF);
    readText(reader, object, QStringLiteral("manufacturer"), place, &config.manufacturer);
    readText(reader, object, QStringLiteral("product"), place, &config.product);
    readText(reader, object, QStringLiteral("serial_text"), place, &config.serialText);
    if (reader.failed())
        return nullptr;

    auto box = std::make_shared<SimVandrelBox>(config);
    readValueMap(reader, object, QStringLiteral("registers"), place,
        [&box](int address, quint16 v) { box->setRegister(address, v); });
    readValueMap(reader, object, QStringLiteral("dorvane_ram"), place,
        [&box](int address, quint16 v) { box->dorvaneController().setRamWord(address, v); });
    if (object.contains(QStringLiteral("status_block"))) {
        const QString blockPlace = place + QStringLiteral(".status_block");
        const QJsonArray bytes = object.value(QStringLiteral("status_block")).toArray();
        if (!object.value(QStringLiteral("status_block")).isArray() || bytes.size() > 63) {
            reader.fail(blockPlace, QStringLiteral("a list of at most 63 bytes is expected"));
            return nullptr;
        }
        QByteArray block;
        for (int i = 0; i < bytes.size(); ++i) {
            const auto byte
                = reader.number(bytes.at(i), QStringLiteral("%1[%2]").arg(blockPlace).arg(i), 0, 0xFF);
            if (!byte)
                return nullptr;
            block.append(char(*byte));
        }
        box->setStatusBlock(block);
    }
    const QString afterLine = QStringLiteral("dmx_recorded_after_line");
    if (object.contains(afterLine)) {
        if (!object.value(afterLine).isBool()) {
            reader.fail(place + QLatin1Char('.') + afterLine, QStringLiteral("true or false is expected"));
            return nullptr;
        }
        box->setDmxRecordedAfterLine(object.value(afterLine).toBool());
    }
    readMonitorHoldBack(reader, object, place, *box);
    readDropRecords(reader, object, place, *box);
    readFailPolls(reader, object, place, *box);
    readBusModels(reader, object, QStringLiteral("dali"), SimBusModel::Dali, place, *box);
    readBusModels(reader, object, QStringLiteral("dmx"), SimBusModel::Dmx, place, *box);
    readBusModels(reader, object, QStringLiteral("dorvane"), SimBusModel::Dorvane, place, *box);
    return reader.failed() ? nullptr : box;
}

} // namespace

std::shared_ptr<SimLibUsb> SimBench::loadFile(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot read bench file %1: %2").arg(path, file.errorString());
        return nullptr;
    }
    QString reason;
    auto libUsb = loadJson(file.readAll(), &reason);
    if (!libUsb && error)
        *error = QStringLiteral("bench file %1: %2").arg(path, reason);
    return libUsb;
}

std::shared_ptr<SimLibUsb> SimBench::loadJson(const QByteArray& json, QString* error)
{
    Reader reader(error);
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        reader.fail(QString(),
            QStringLiteral("not JSON (%1 at offset %2)")
                .arg(parseError.errorString())
                .arg(parseError.offset));
        return nullptr;
    }
    if (!document.isObject()) {
        reader.fail(QString(), QStringLiteral("an object with \"boxes\" is expected"));
        return nullptr;
    }
    const QJsonObject root = document.object();
    if (!reader.onlyKeys(root, QString(), {"timing", "boxes"}))
        return nullptr;

    SimTiming timing = SimTiming::Instant;
    const QString timingText = root.value(QStringLiteral("timing")).toString(QStringLiteral("instant"));
    if (timingText == QLatin1String("bus")) {
        timing = SimTiming::BusTime;
    } else if (timingText != QLatin1String("instant")) {
        reader.fail(QStringLiteral("timing"), QStringLiteral("\"instant\" or \"bus\" is expected"));
        return nullptr;
    }
    if (!root.value(QStringLiteral("boxes")).isArray()) {
        reader.fail(QStringLiteral("boxes"), QStringLiteral("a list of boxes is expected"));
        return nullptr;
    }

    auto libUsb = std::make_shared<SimLibUsb>(timing);
    const QJsonArray boxes = root.value(QStringLiteral("boxes")).toArray();
    for (int i = 0; i < boxes.size(); ++i) {
        auto box = readBox(reader, boxes.at(i), QStringLiteral("boxes[%1]").arg(i));
        if (!box)
            return nullptr;
        libUsb->addBox(std::move(box));
    }
    return libUsb;
}

} // namespace tarvesk::sim
