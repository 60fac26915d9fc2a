#include "service_process.h"

#include "http_test_client.h"
#include "wait_until.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <sys/resource.h>
#include <unistd.h>

namespace qmtest {

namespace {

QString readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

// A process whose limit of open files is set in the child before the binary
// runs, as prlimit(1) would: the hard limit too, so that the service cannot
// raise its soft limit past it.
class LimitedProcess : public QProcess
{
public:
    explicit LimitedProcess(unsigned long descriptorLimit)
        : descriptorLimit(descriptorLimit)
    { }

protected:
    void setupChildProcess() override
    {
        if (descriptorLimit == 0)
            return;
        const rlimit limit {descriptorLimit, descriptorLimit};
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0)
            ::_exit(127); // better no service than one under another limit
    }

private:
    const unsigned long descriptorLimit;
};

} // namespace

ServiceProcess::ServiceProcess()
    : dir(
        QDir::tempPath() + "/quinmark-e2e-XXXXXX") // no blanks: the folder ends up in PATH and command lines
    , env(QProcessEnvironment::systemEnvironment())
{
    const QString root = dir.path();
    for (const char* sub : {"home", "config", "data", "cache", "runtime"})
        QDir(root).mkpath(sub);
    QFile::setPermissions(
        root + "/runtime", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    env.insert("HOME", root + "/home");
    env.insert("XDG_CONFIG_HOME", root + "/config");
    env.insert("XDG_DATA_HOME", root + "/data");
    env.insert("XDG_CACHE_HOME", root + "/cache");
    env.insert("XDG_RUNTIME_DIR", root + "/runtime");
    if (!env.contains("QT_QPA_PLATFORM"))
        env.insert("QT_QPA_PLATFORM", "offscreen");
}

ServiceProcess::~ServiceProcess()
{
    kill();
}

QString ServiceProcess::binaryPath()
{
    return QString::fromLocal8Bit(qgetenv("QM_BUILD_DIR")) + "/quinmark-server";
}

void ServiceProcess::setSetting(const QString& key, const QVariant& value)
{
    QSettings settings(dir.filePath("config/Tarvesk/Quinmark Server.conf"), QSettings::IniFormat);
    settings.setValue(key, value);
    settings.sync();
}

bool ServiceProcess::launch(const QStringList& arguments)
{
    kill();
    process = std::make_unique<LimitedProcess>(descriptorLimit);
    process->setProcessEnvironment(env);
    process->setStandardOutputFile(dir.filePath("stdout.txt"));
    process->setStandardErrorFile(dir.filePath("stderr.txt"));
    process->start(binaryPath(), arguments);
    return process->waitForStarted(30000);
}

bool ServiceProcess::startServing(int port, const QStringList& extraArguments)
{
    QStringList arguments {"-p", QString::number(port), "-l", logPath()};
    arguments += extraArguments;
    if (!launch(arguments))
        return false;
    return tarvesk::test::waitUntil([&] { return !isRunning() || portAcceptsConnections(port); }, 60000)
        && isRunning();
}

bool ServiceProcess::startServingOnBench(int port, const QByteArray& benchJson)
{
    QFile file(dir.filePath("bench.json"));
    if (!file.open(QIODevice::WriteOnly) || file.write(benchJson) != benchJson.size())
        return false;
    file.close();
    env.insert("QM_SIM_BENCH", file.fileName());
    return startServing(port, {"-d"});
}

int ServiceProcess::waitForExit(int timeoutMs)
{
    if (!process)
        return -1;
    if (process->state() != QProcess::NotRunning && !process->waitForFinished(timeoutMs))
        return -1;
    return process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
}

bool ServiceProcess::isRunning() const
{
    return process && process->state() != QProcess::NotRunning;
}

qint64 ServiceProcess::pid() const
{
    return process ? process->processId() : 0;
}

void ServiceProcess::kill()
{
    if (process && process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished(30000);
    }
}

QString ServiceProcess::log() const
{
    return readFile(logPath());
}

QString ServiceProcess::standardOutput() const
{
    return readFile(dir.filePath("stdout.txt"));
}

QString ServiceProcess::standardError() const
{
    return readFile(dir.filePath("stderr.txt"));
}

int ServiceProcess::threadCount() const
{
    return int(QDir(QString("/proc/%1/task").arg(pid())).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

} // namespace qmtest
