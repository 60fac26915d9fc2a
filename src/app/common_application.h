#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

class QCoreApplication;

namespace tarvesk {

// The service's identity and process control: application and organisation
// names, version numbers, system information, and the operations that end the
// main event loop (0 to quit, 1337 to restart in process).
class CommonApplication : public QObject
{
    Q_OBJECT

public:
    static constexpr int RestartCode = 1337;

    CommonApplication(QCoreApplication* application, const QString& applicationName,
        const QString& organizationName, const QString& organizationDomain, const QString& sha, int port);

    virtual void initializeSystemInfo();
    virtual QString getApplicationVersionString() const;
    virtual void setApplicationVersionString(const QString& text);
    virtual QString getApplicationName() const;

    int getMajor() const { return major; }
    int getMinor() const { return minor; }
    int getBug() const { return bug; }
    QString getHostName() const { return hostName; }
    QString getUserName() const { return userName; }
    QDateTime getStartTime() const { return startTime; }
    QString getSHA() const { return sha; }
    int getPort() const { return port; }
    // The port that the HTTP server actually serves, once known.
    void setPort(int servedPort) { port = servedPort; }

public slots:
    virtual void reset();
    virtual void restart();
    virtual void quit();

signals:
    void applicationVersionStringChanged(QString newString);

protected:
    QCoreApplication* application;
    int major = 0;
    int minor = 0;
    int bug = 0;
    QString hostName;
    QString domainName;
    QString userName;
    QDateTime startTime;
    QString sha;
    int port;
};

} // namespace tarvesk
