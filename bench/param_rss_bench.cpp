// Resident memory of the service over many parameter reads, writes and lists:
// of a driver whose parameters run the data package's scripts (a virtual
// Dorvane driver) and of a DALI gear commissioned on the simulated bench. Each
// call comes on a connection of its own, as from curl, so that each runs on a
// new connection thread of the service (--keep-alive: all on one connection).

#include "bench_support.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

// A device and the calls of each phase on it.
struct Target
{
    const char* title;
    int deviceId = 0;
    const char* pid;
    QJsonObject listParams;
    std::function<QJsonValue(int)> valueToWrite;
    int boxId = 0; // whose packet log the calls fill; 0 for none
};

int argument(const QStringList& arguments, const QString& name, int fallback)
{
    const int at = arguments.indexOf(name);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1).toInt() : fallback;
}

double mb(long kb)
{
    return double(kb) / 1024.0;
}

QString text(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

class Bench
{
public:
    Bench(qmbench::ServiceProcess& service, bool keepAlive)
        : _service(service)
        , _keepAlive(keepAlive)
    { }

    ~Bench()
    {
        if (_fd >= 0)
            ::close(_fd);
    }

    // The reply's "result"; stops the bench on an error.
    QJsonValue call(const char* method, const QJsonObject& params = {})
    {
        const QJsonObject reply = _keepAlive ? callOnOpenConnection(method, params)
                                             : qmbench::rpc(_service.port(), method, params);
        if (!reply.contains("result")) {
            std::fprintf(
                stderr, "%s %s failed: %s\n", method, qPrintable(text(params)), qPrintable(text(reply)));
            std::exit(1);
        }
        return reply.value("result");
    }

    long rssKb() const { return qmbench::procStatusKb(_service.pid(), "VmRSS"); }

    // Entries in the box's packet log (bounded by the device).
    int packetLogSize(int boxId)
    {
        const QJsonObject page
            = call("device.log.get", {{"device_id", boxId}, {"from_packet", 0}, {"count", 1}}).toObject();
        return page.value("packets").toArray().size() + page.value("packets_left").toInt();
    }

    void read(const Target& target)
    {
        call("device.param.get", {{"device_id", target.deviceId}, {"pid", target.pid}});
    }
    void write(const Target& target, int n)
    {
        call("device.param.set",
            {{"device_id", target.deviceId}, {"pid", target.pid}, {"value", target.valueToWrite(n)}});
    }
    void list(const Target& target)
    {
        QJsonObject params = target.listParams;
        params.insert("device_id", target.deviceId);
        call("device.param.list", params);
    }

private:
    QJsonObject callOnOpenConnection(const char* method, const QJsonObject& params)
    {
        if (_fd < 0)
            _fd = qmbench::connectLoopback(_service.port());
        const QJsonObject body {{"jsonrpc", "2.0"}, {"id", 1}, {"method", method}, {"params", params}};
        std::string reply;
        if (_fd < 0
            || !qmbench::sendAll(_fd,
                qmbench::postText(
                    _service.port(), QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString()))
            || qmbench::readReply(_fd, _buffer, &reply) <= 0)
            return {};
        return QJsonDocument::fromJson(QByteArray::fromStdString(reply)).object();
    }

    qmbench::ServiceProcess& _service;
    bool _keepAlive;
    int _fd = -1;
    std::string _buffer;
};

// The virtual Dorvane driver: its output current is read and written by the
// data package's scripts.
Target scriptedDriver(Bench& bench)
{
    Target target {
        "scripted Dorvane driver (device.create, 000110_K3408 Dorvane 40W_DORVANE), output_current", 0,
        "output_current", {}, [](int n) { return QJsonValue(500 + n % 2); }};
    target.deviceId = bench.call("device.create", {{"profile_type", "000110_K3408 Dorvane 40W_DORVANE"}})
                          .toObject()
                          .value("device_id")
                          .toInt();
    return target;
}

// The first gear that the DALI step search of the newer box commissions.
Target daliGear(Bench& bench)
{
    Target target {"DALI gear (step search on the newer box), dali_102_max_level", 0, "dali_102_max_level",
        {{"access_level", "dev"}}, [](int n) { return QJsonValue(200 + n % 2); }};
    bench.call("universe.search", {{"interface_type", "usb"}});
    QString box;
    for (const QJsonValue& device : bench.call("device.list").toArray()) {
        if (device.toObject().value("version").toInt() == 21)
            box = QString::number(device.toObject().value("device_id").toInt());
    }
    int dali = 0;
    for (const QJsonValue& universe : bench.call("universe.list").toArray()) {
        const QJsonObject object = universe.toObject();
        if (object.value("parent_device_id").toString() == box && object.value("universe_name") == "DALI")
            dali = object.value("universe_id").toInt();
    }
    auto step = [&](const char* name) {
        return bench
            .call("universe.search",
                {{"universe_id", dali}, {"search_method", "step"}, {"search_step_name", name}})
            .toArray();
    };
    step("initialise_all");
    for (QJsonArray found = step("search_single"); !found.isEmpty(); found = step("search_single")) {
        for (const QJsonValue& device : found) {
            if (!target.deviceId && device.toObject().contains("device_id"))
                target.deviceId = device.toObject().value("device_id").toInt();
        }
    }
    step("end_search");
    target.boxId = box.toInt();
    if (!target.deviceId) {
        std::fprintf(stderr, "the DALI search found no gear\n");
        std::exit(1);
    }
    return target;
}

// Runs count calls, printing VmRSS at each quarter; returns the growth.
long phase(Bench& bench, const char* name, int count, const std::function<void(int)>& one)
{
    const long before = bench.rssKb();
    std::printf("  %-6s %6d calls  VmRSS %6.1f MB ->", name, count, mb(before));
    for (int n = 0; n < count; ++n) {
        one(n);
        if ((n + 1) % (count / 4 > 0 ? count / 4 : 1) == 0)
            std::printf(" %.1f", mb(bench.rssKb()));
        std::fflush(stdout);
    }
    const long growth = bench.rssKb() - before;
    std::printf(" MB   %+7.2f MB per 10,000 calls  %+6.0f B/call\n", mb(growth) * 10000.0 / count,
        double(growth) * 1024.0 / count);
    return growth;
}

void run(Bench& bench, const Target& target, int warmup, int reads, int writes, int lists)
{
    std::printf("\n%s\n", target.title);
    for (int n = 0; n < warmup; ++n) {
        bench.read(target);
        bench.write(target, n);
        if (n % 10 == 0)
            bench.list(target);
    }
    QString log;
    if (target.boxId) {
        // The box logs every frame in a log of bounded length: filled first, so
        // that what follows shows what else the calls keep.
        int size = bench.packetLogSize(target.boxId);
        for (int previous = -1; size != previous; size = bench.packetLogSize(target.boxId)) {
            previous = size;
            for (int n = 0; n < 500; ++n)
                bench.read(target);
        }
        log = QStringLiteral(", the box's packet log full at %1 entries").arg(size);
    }
    std::printf("  after a warm-up of %d reads, writes and %d lists%s: VmRSS %.1f MB\n", warmup, warmup / 10,
        qPrintable(log), mb(bench.rssKb()));
    long growth = phase(bench, "reads", reads, [&](int) { bench.read(target); });
    growth += phase(bench, "writes", writes, [&](int n) { bench.write(target, n); });
    growth += phase(bench, "lists", lists, [&](int) { bench.list(target); });
    std::printf("  all phases: %+.2f MB\n", mb(growth));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const int warmup = argument(arguments, "--warmup", 500);
    const int reads = argument(arguments, "--reads", 20000);
    const int writes = argument(arguments, "--writes", 5000);
    const int lists = argument(arguments, "--lists", 1000);
    const bool keepAlive = arguments.contains("--keep-alive");
    const QString only = arguments.contains("--scripted") ? "scripted"
        : arguments.contains("--dali")                    ? "dali"
                                                          : "";
    QString binary = QCoreApplication::applicationDirPath() + "/../quinmark-server";
    if (const int at = arguments.indexOf("--server"); at >= 0 && at + 1 < arguments.size())
        binary = arguments.at(at + 1);

    qputenv("QM_SIM_BENCH", QByteArray(QM_SOURCE_DIR "/sim/benches/default.json"));
    qmbench::ServiceProcess service;
    if (!service.start(binary))
        return 1;
    std::printf(
        "%s, %s\n", qPrintable(binary), keepAlive ? "all calls on one connection" : "a connection per call");
    std::printf("idle after start-up: VmRSS %.1f MB\n", mb(qmbench::procStatusKb(service.pid(), "VmRSS")));
    Bench bench(service, keepAlive);
    if (only != "dali")
        run(bench, scriptedDriver(bench), warmup, reads, writes, lists);
    if (only != "scripted")
        run(bench, daliGear(bench), warmup, reads, writes, lists);
    service.stop();
    return 0;
}
