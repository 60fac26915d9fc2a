#include "sim_selection.h"

#include "sim_bench.h"
#include "sim_logging.h"

#include <QtGlobal>

#include <mutex>

namespace tarvesk::sim {

namespace {

std::mutex& installedMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<SimLibUsb>& installed()
{
    static std::shared_ptr<SimLibUsb> bench; // guarded by installedMutex()
    return bench;
}

} // namespace

bool installBenchFromEnvironment(QString* error)
{
    const QString path = qEnvironmentVariable(BenchEnvironmentVariable);
    if (path.isEmpty())
        return true;
    QString reason;
    std::shared_ptr<SimLibUsb> bench = SimBench::loadFile(path, &reason);
    if (!bench) {
        qCCritical(simLog()).noquote() << reason;
        if (error)
            *error = reason;
        return false;
    }
    qCInfo(simLog()).noquote() << QStringLiteral(
        "Using the simulated Vandrel bench %1 (%2 boxes) instead of USB")
                                      .arg(path)
                                      .arg(bench->boxes().size());
    itf::setDefaultLibUsb(bench);
    std::lock_guard<std::mutex> locker(installedMutex());
    installed() = bench;
    return true;
}

std::shared_ptr<SimLibUsb> installedBench()
{
    std::lock_guard<std::mutex> locker(installedMutex());
    return installed();
}

} // namespace tarvesk::sim
