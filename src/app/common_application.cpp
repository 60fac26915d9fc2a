#include "app/common_application.h"

#include <QCoreApplication>
#include <QDebug>
#include <QHostInfo>
#include <QRegularExpression>

namespace tarvesk {

CommonApplication::CommonApplication(QCoreApplication* application, const QString& applicationName,
    const QString& organizationName, const QString& organizationDomain, const QString& sha, int port)
    : application(application)
    , startTime(QDateTime::currentDateTime())
    , sha(sha)
    , port(port)
{
    QCoreApplication::setApplicationName(applicationName);
    QCoreApplication::setOrganizationName(organizationName);
    QCoreApplication::setOrganizationDomain(organizationDomain);
}

void CommonApplication::initializeSystemInfo()
{
    hostName = QHostInfo::localHostName();
    domainName = QHostInfo::localDomainName();
    userName = QString::fromUtf8(qgetenv("USER"));
}

QString CommonApplication::getApplicationVersionString() const
{
    return QCoreApplication::applicationVersion();
}

void CommonApplication::setApplicationVersionString(const QString& text)
{
    const QRegularExpression pattern(QStringLiteral("(?<Major>\\d+)\\.(?<Minor>\\d+)\\.(?<Bug>\\d+)"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (match.hasMatch()) {
        major = match.captured(QStringLiteral("Major")).toInt();
        minor = match.captured(QStringLiteral("Minor")).toInt();
        bug = match.captured(QStringLiteral("Bug")).toInt();
    } else {
        qWarning() << "Could not match regular expression for application version string";
    }
    QCoreApplication::setApplicationVersion(text);
    emit applicationVersionStringChanged(text);
}

QString CommonApplication::getApplicationName() const
{
    return QCoreApplication::applicationName();
}

void CommonApplication::reset()
{
    QCoreApplication::exit(RestartCode);
}

void CommonApplication::restart()
{
    QCoreApplication::exit(RestartCode);
}

void CommonApplication::quit()
{
    QCoreApplication::exit(0);
}

} // namespace tarvesk
