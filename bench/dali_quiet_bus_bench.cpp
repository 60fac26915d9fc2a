// Ordinary DALI traffic on a quiet bus, as a client makes it over HTTP: for a
// box that records time-out events (firmware 21) and one that does not
// (firmware 15), each with the two control gear of sim/benches/d4i.json on
// its line and nothing else there, the service answers awaited queries and
// memory-bank reads. Every answer is checked against what the bench makes the
// gear hold, so the figures are right answers, wrong values and errors (by
// code and message), never just a rate.

#include "bench_support.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <functional>

namespace {

constexpr int QueryActualLevel = 0xA0;
constexpr int QueryControlGearPresent = 0x91;
constexpr int AbsentAddress = 9; // no gear on the bench has it
// Bank 202 of the D4i gear: its active energy (6 bytes at location 5) starts
// here and grows by the bench's "energy_step" (1) at every read of the bank.
constexpr qint64 FirstActiveEnergy = 0x0FFFF0;
constexpr int ActiveEnergyBytes = 6;

int argument(const QStringList& arguments, const QString& name, int fallback)
{
    const int at = arguments.indexOf(name);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1).toInt() : fallback;
}

QString text(const QJsonValue& value)
{
    if (value.isObject())
        return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    if (value.isArray())
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    return QString::fromUtf8(QJsonDocument(QJsonArray {value}).toJson(QJsonDocument::Compact))
        .mid(1)
        .chopped(1);
}

// What one kind of exchange gave.
struct Tally
{
    int sent = 0;
    int right = 0;
    int wrong = 0;
    int errors = 0;
    double seconds = 0;
};

struct Outcome
{
    QMap<QString, Tally> kinds; // by kind of exchange, in name order
    QMap<QString, int> errors;  // by code and message
    QStringList wrongSamples;   // the first wrong values, as seen
    double seconds = 0;
    int warnings = 0; // warning, critical and retry lines the service logged while measured
    QStringList warningSamples;
};

// How the bench is varied from its file.
struct Variant
{
    int holdBackOneIn = 0; // 0: the monitor runs on time
    bool busTiming = false;
};

// The d4i bench with its box as firmware `firmware`.
QByteArray benchFor(const QString& path, int firmware, const Variant& variant)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QJsonObject bench = QJsonDocument::fromJson(file.readAll()).object();
    QJsonArray boxes = bench.value("boxes").toArray();
    QJsonObject box = boxes.first().toObject();
    box.insert("firmware", firmware);
    if (firmware < 16) {
        // As the older box of the default bench.
        box.insert("release", "0x1810");
        box.insert("subversion", 6);
    }
    if (variant.holdBackOneIn > 0) {
        // A busy host: the monitor's next pass comes up to 30 ms late after
        // one request in that many, while request threads go on.
        box.insert("monitor_hold_back",
            QJsonObject {{"one_in", variant.holdBackOneIn}, {"max_ms", 30}, {"seed", 7 + firmware}});
    }
    if (variant.busTiming)
        bench.insert("timing", "bus");
    bench.insert("boxes", QJsonArray {box});
    return QJsonDocument(bench).toJson();
}

class Run
{
public:
    explicit Run(int port)
        : _port(port)
    { }

    // Finds the box and the gear by their short addresses (a search of the
    // addresses in use, which keeps them). False with the reason on stderr.
    bool setUp()
    {
        const QJsonObject boxes = qmbench::rpc(_port, "universe.search", {{"interface_type", "usb"}});
        for (const QJsonValue& box : boxes.value("result").toArray()) {
            for (const QJsonValue& child : box.toObject().value("child_universes").toArray()) {
                if (child.toObject().value("interface_type").toString() == "dali")
                    _universe = child.toObject().value("universe_id").toInt();
            }
        }
        if (_universe <= 0) {
            std::fprintf(stderr, "no DALI universe: %s\n", qPrintable(text(boxes)));
            return false;
        }
        const QJsonObject found = qmbench::rpc(
            _port, "universe.search", {{"universe_id", _universe}, {"search_method", "existing"}});
        for (const QJsonValue& device : found.value("result").toArray()) {
            const QJsonObject object = device.toObject();
            for (int address : {0, 1}) {
                if (object.value("device_name").toString()
                    == QStringLiteral("DALI short %1 device").arg(address))
                    _gear[address] = object.value("device_id").toInt();
            }
        }
        if (_gear[0] <= 0 || _gear[1] <= 0) {
            std::fprintf(
                stderr, "the gear at short addresses 0 and 1 were not found: %s\n", qPrintable(text(found)));
            return false;
        }
        return true;
    }

    // `queries` awaited queries with a memory-bank read after every
    // `readEvery`-th, until `reads` reads are made.
    void measure(int queries, int reads, int readEvery)
    {
        const auto start = std::chrono::steady_clock::now();
        int read = 0;
        for (int n = 0; n < queries; ++n) {
            query(n);
            if (read < reads && (n + 1) % readEvery == 0)
                memoryRead(read++);
        }
        while (read < reads)
            memoryRead(read++);
        _outcome.seconds = seconds(start);
    }

    Outcome& outcome() { return _outcome; }

private:
    // A query of ten in turn; the levels come from DAPCs that the client sends
    // without awaiting (not counted as queries, but their errors are).
    void query(int n)
    {
        const int level = 10 + (n * 37) % 241; // 10..250, inside the gear's range
        switch (n % 10) {
        case 0:
        case 4: {
            const int address = n % 10 == 0 ? 0 : 1;
            if (send("DAPC (unawaited)", address << 1, level, false, QJsonObject {{"status", "ok"}}))
                _level[address] = level;
            awaitReply(QStringLiteral("QUERY ACTUAL LEVEL, gear %1, just set").arg(address), address,
                QueryActualLevel, _level[address]);
            break;
        }
        case 2:
        case 6:
            awaitReply("QUERY ACTUAL LEVEL, gear 0", 0, QueryActualLevel, _level[0]);
            break;
        case 8:
            awaitReply("QUERY ACTUAL LEVEL, gear 1", 1, QueryActualLevel, _level[1]);
            break;
        case 1:
        case 7:
            awaitReply("QUERY CONTROL GEAR PRESENT, gear 0", 0, QueryControlGearPresent, 0xFF);
            break;
        case 3:
        case 9:
            awaitReply("QUERY CONTROL GEAR PRESENT, gear 1", 1, QueryControlGearPresent, 0xFF);
            break;
        case 5:
            send("QUERY CONTROL GEAR PRESENT, absent address", (AbsentAddress << 1) | 1,
                QueryControlGearPresent, true, QJsonObject {{"status", "timeout"}});
            break;
        }
    }

    void awaitReply(const QString& kind, int address, int command, int answer)
    {
        send(kind, (address << 1) | 1, command, true,
            QJsonObject {{"status", "reply"}, {"bytes", QJsonArray {answer}}});
    }

    // One "dali.send"; true when it gave what `expected` holds (its status, and
    // its bytes where given).
    bool send(const QString& kind, int addressByte, int command, bool awaited, const QJsonObject& expected)
    {
        const QJsonObject params {{"universe_id", _universe}, {"bytes", QJsonArray {addressByte, command}},
            {"expect_answer", awaited}};
        return check(kind, "dali.send", params, [&](const QJsonObject& result) {
            QJsonObject seen {{"status", result.value("status")}};
            if (expected.contains("bytes") || result.contains("bytes"))
                seen.insert("bytes", result.value("bytes"));
            return seen == expected ? QString() : text(seen) + " where " + text(expected) + " was right";
        });
    }

    // A memory-bank read of one of the gear's parameters in turn: every other
    // one the latched, advancing active energy of bank 202, the others values
    // of several bytes (and a text) that stay.
    void memoryRead(int n)
    {
        struct Fixed
        {
            int gear;
            const char* pid;
            const char* key; // "value", or "hex_value" for numbers beyond a double
            QJsonValue value;
        };
        // Worked out from the bytes of sim/benches/d4i.json.
        static const Fixed fixed[] = {
            {0, "dali_251_luminaire_identification_number", "hex_value",
                "fffffffffffffffe"},                          // bank 1, 8 bytes
            {0, "dali_252_load_side_energy", "value", 12345}, // bank 204, latched, 6 bytes
            {0, "dali_251_luminaire_manufacturer_gtin", "value", 0x000123456789ll}, // bank 1, 6 bytes
            {0, "dali_253_control_gear_operating_time", "value", 86400},            // bank 205, 4 bytes
            {0, "dali_252_apparent_energy", "hex_value", "fffffffffffe"},       // bank 203, latched, 6 bytes
            {0, "dali_253_rated_median_light_source_restarts", "value", 30000}, // bank 207
            {1, "dali_251_luminaire_identification_number", "value", 7},        // bank 1, 8 bytes
            {0, "dali_251_luminaire_identification", "value", "Bench luminaire"}, // bank 1, text
            {1, "dali_251_luminaire_identification", "value", "Second luminaire"},
        };
        if (n % 2 == 0) {
            // Each read of the energy takes its 6 bytes of bank 202, which
            // advance the counter by one each; nothing else reads that bank.
            const qint64 expected = _nextEnergy;
            qint64 seen = -1;
            check("memory bank 202: active energy (latched, advancing)", "device.param.get",
                {{"device_id", _gear[0]}, {"pid", "dali_252_active_energy"}, {"update", true}},
                [&](const QJsonObject& result) {
                    seen = qint64(result.value("value").toDouble(-1));
                    return seen == expected
                        ? QString()
                        : QStringLiteral("0x%1 where 0x%2 was right").arg(seen, 0, 16).arg(expected, 0, 16);
                });
            // After a wrong value the next reads are judged from it, so that
            // one fault counts once.
            _nextEnergy = (seen >= 0 ? seen : expected) + ActiveEnergyBytes;
            return;
        }
        const Fixed& f = fixed[(n / 2) % (sizeof fixed / sizeof fixed[0])];
        check(QStringLiteral("memory bank: %1 (gear %2)").arg(f.pid).arg(f.gear), "device.param.get",
            {{"device_id", _gear[f.gear]}, {"pid", f.pid}, {"update", true}}, [&](const QJsonObject& result) {
                const QJsonValue seen = result.value(f.key);
                return seen == f.value ? QString() : text(seen) + " where " + text(f.value) + " was right";
            });
    }

    // One call; judge() says what is wrong with its result ("" when right).
    bool check(const QString& kind, const char* method, const QJsonObject& params,
        const std::function<QString(const QJsonObject&)>& judge)
    {
        Tally& tally = _outcome.kinds[kind];
        ++tally.sent;
        const auto start = std::chrono::steady_clock::now();
        const QJsonObject reply = qmbench::rpc(_port, method, params);
        tally.seconds += seconds(start);
        if (reply.contains("error") || !reply.contains("result")) {
            ++tally.errors;
            const QJsonObject error = reply.value("error").toObject();
            ++_outcome.errors[reply.isEmpty() ? QStringLiteral("no HTTP reply")
                                              : QStringLiteral("%1 %2: %3")
                                                    .arg(kind)
                                                    .arg(error.value("code").toInt())
                                                    .arg(error.value("message").toString())];
            return false;
        }
        const QString wrong = judge(reply.value("result").toObject());
        if (wrong.isEmpty()) {
            ++tally.right;
            return true;
        }
        // A bus error the box reported is no value.
        if (reply.value("result").toObject().value("status").toString() == "error") {
            ++tally.errors;
            ++_outcome.errors[kind + ": status \"error\""];
            return false;
        }
        ++tally.wrong;
        if (_outcome.wrongSamples.size() < 10)
            _outcome.wrongSamples << kind + ": " + wrong;
        return false;
    }

    static double seconds(std::chrono::steady_clock::time_point since)
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
    }

    int _port;
    int _universe = 0;
    int _gear[2] = {0, 0};
    int _level[2] = {-1, -1}; // unknown until a DAPC set it
    qint64 _nextEnergy = FirstActiveEnergy;
    Outcome _outcome;
};

// The lines of note the service logged after `from` bytes of its log.
void scanLog(const QString& path, qint64 from, Outcome& outcome)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(from))
        return;
    for (const QByteArray& line : file.readAll().split('\n')) {
        // Warnings and critical lines, and the notes of frames in doubt or asked again.
        static const QRegularExpression note(
            QStringLiteral("(^|: )(WARN|FATAL) \\|\\||doubt|retry|retries|retrying|again|cut short|dropped"),
            QRegularExpression::CaseInsensitiveOption);
        if (!note.match(QString::fromUtf8(line)).hasMatch())
            continue;
        ++outcome.warnings;
        if (outcome.warningSamples.size() < 10)
            outcome.warningSamples << QString::fromUtf8(line);
    }
}

qint64 fileSize(const QString& path)
{
    return QFile(path).size();
}

void print(int firmware, int queries, int reads, const Outcome& outcome)
{
    Tally queryTotal;
    Tally readTotal;
    std::printf("\nfirmware %d (%s time-out events)\n", firmware, firmware >= 16 ? "with" : "without");
    std::printf("  %-72s %5s %5s %5s %6s %8s\n", "exchange", "sent", "right", "wrong", "errors", "ms each");
    for (auto it = outcome.kinds.begin(); it != outcome.kinds.end(); ++it) {
        const Tally& t = it.value();
        std::printf("  %-72s %5d %5d %5d %6d %8.2f\n", qPrintable(it.key()), t.sent, t.right, t.wrong,
            t.errors, t.sent ? 1000.0 * t.seconds / t.sent : 0.0);
        Tally& total = it.key().startsWith("memory bank") ? readTotal : queryTotal;
        if (it.key().startsWith("DAPC"))
            continue;
        total.sent += t.sent;
        total.right += t.right;
        total.wrong += t.wrong;
        total.errors += t.errors;
        total.seconds += t.seconds;
    }
    const int dapcErrors
        = outcome.kinds.value("DAPC (unawaited)").errors + outcome.kinds.value("DAPC (unawaited)").wrong;
    std::printf(
        "  awaited queries: %d of %d asked, %d right, %d wrong, %d errors; memory-bank reads: %d of %d, "
        "%d right, %d wrong, %d errors; DAPCs failed: %d; wall time %.1f s\n",
        queryTotal.sent, queries, queryTotal.right, queryTotal.wrong, queryTotal.errors, readTotal.sent,
        reads, readTotal.right, readTotal.wrong, readTotal.errors, dapcErrors, outcome.seconds);
    for (auto it = outcome.errors.begin(); it != outcome.errors.end(); ++it)
        std::printf("  error x%d: %s\n", it.value(), qPrintable(it.key()));
    for (const QString& sample : outcome.wrongSamples)
        std::printf("  wrong: %s\n", qPrintable(sample));
    std::printf(
        "  service log: %d warning, critical, doubt or retry lines while measured\n", outcome.warnings);
    for (const QString& sample : outcome.warningSamples)
        std::printf("    %s\n", qPrintable(sample));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const int queries = argument(arguments, "--queries", 2000);
    const int reads = argument(arguments, "--reads", 200);
    const int only = argument(arguments, "--firmware", 0);
    QString binary = QCoreApplication::applicationDirPath() + "/../quinmark-server";
    if (const int at = arguments.indexOf("--server"); at >= 0 && at + 1 < arguments.size())
        binary = arguments.at(at + 1);
    QString benchPath = QStringLiteral(QM_SOURCE_DIR "/sim/benches/d4i.json");
    if (const int at = arguments.indexOf("--bench"); at >= 0 && at + 1 < arguments.size())
        benchPath = arguments.at(at + 1);
    const Variant variant {argument(arguments, "--hold-back", 0), arguments.contains("--bus-timing")};
    const int readEvery = reads > 0 && queries / reads > 0 ? queries / reads : 1;

    QTemporaryDir folder;
    bool clean = true;
    QString how = benchPath;
    if (variant.holdBackOneIn > 0)
        how += QStringLiteral(", the monitor held back after one request in %1").arg(variant.holdBackOneIn);
    if (variant.busTiming)
        how += QStringLiteral(", bus timing");
    std::printf("%s on %s: %d awaited queries and %d memory-bank reads per box\n", qPrintable(binary),
        qPrintable(how), queries, reads);
    for (const int firmware : {21, 15}) {
        if (only && firmware != only)
            continue;
        const QByteArray json = benchFor(benchPath, firmware, variant);
        const QString path = folder.filePath(QStringLiteral("bench-%1.json").arg(firmware));
        QFile file(path);
        if (json.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(json) != json.size()) {
            std::fprintf(
                stderr, "cannot make the bench of firmware %d from %s\n", firmware, qPrintable(benchPath));
            return 1;
        }
        file.close();
        qputenv("QM_SIM_BENCH", path.toLocal8Bit());
        qmbench::ServiceProcess service;
        if (!service.start(binary))
            return 1;
        Run run(service.port());
        if (!run.setUp())
            return 1;
        const qint64 logStart = fileSize(service.logPath());
        run.measure(queries, reads, readEvery);
        scanLog(service.logPath(), logStart, run.outcome());
        const bool quit = qmbench::rpc(service.port(), "application.quit").contains("result");
        const int exitCode = service.waitForExit(60000);
        print(firmware, queries, reads, run.outcome());
        if (quit && exitCode == 0)
            std::printf("  service: quit with exit code 0\n");
        else
            std::printf("  service: quit %s, exit code %d\n", quit ? "answered" : "not answered", exitCode);
        const Outcome& o = run.outcome();
        for (const Tally& t : o.kinds)
            clean = clean && t.wrong == 0 && t.errors == 0;
        clean = clean && quit && exitCode == 0;
    }
    return clean ? 0 : 2;
}
