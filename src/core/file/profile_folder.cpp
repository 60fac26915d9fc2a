#include "core/file/profile_folder.h"

#include "core/file/application_data_folder.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvesk::core {

namespace {

const QString profileFolderName = QStringLiteral("profiles");
const QString defaultFileName = QStringLiteral("profiles.json");

bool statPath(const QString& path, struct stat* info)
{
    return ::stat(QFile::encodeName(path).constData(), info) == 0;
}

bool lstatPath(const QString& path, struct stat* info)
{
    return ::lstat(QFile::encodeName(path).constData(), info) == 0;
}

bool isDirectory(const QString& path)
{
    struct stat info
    {
    };
    return statPath(path, &info) && S_ISDIR(info.st_mode);
}

} // namespace

// Where a resolved path must end up once links are followed: inside the
// profile folder, or exactly at the default file.
struct ProfileFolder::Target
{
    QString path;   // resolved, not yet canonical
    QString anchor; // the profile folder, or the application data folder for the default file
    bool isDefault = false;

    // Whether a canonical path (links followed) is one this target may reach.
    bool admits(const QString& canonical) const
    {
        const QString canonicalAnchor = QFileInfo(anchor).canonicalFilePath();
        if (canonicalAnchor.isEmpty() || canonical.isEmpty())
            return false;
        if (isDefault)
            return canonical == canonicalAnchor + QLatin1Char('/') + defaultFileName;
        return canonical.startsWith(canonicalAnchor + QLatin1Char('/'));
    }
};

ProfileFolder::ProfileFolder(const QString& applicationDataFolder)
    : _applicationDataFolder(QDir::cleanPath(QDir(applicationDataFolder).absolutePath()))
    , _folder(_applicationDataFolder + QLatin1Char('/') + profileFolderName)
    , _defaultFile(_applicationDataFolder + QLatin1Char('/') + defaultFileName)
{ }

ProfileFolder ProfileFolder::ofThisPass()
{
    return ProfileFolder(ApplicationDataFolder::path());
}

void ProfileFolder::refuse(const QString& clientPath, const char* why) const
{
    throw ProfilePathError(QStringLiteral("Path '%1' %2; profile files are kept in the profile folder %3")
                               .arg(clientPath, QLatin1String(why), _folder)
                               .toStdString());
}

QString ProfileFolder::resolve(const QString& clientPath) const
{
    if (clientPath.isEmpty())
        refuse(clientPath, "is empty");
    if (clientPath.contains(QChar(0)))
        refuse(clientPath, "holds a zero character");
    const QStringList parts = clientPath.split(QLatin1Char('/'));
    if (parts.contains(QStringLiteral("..")))
        refuse(clientPath, "climbs with \"..\"");
    if (QDir::isAbsolutePath(clientPath)) {
        const QString cleaned = QDir::cleanPath(clientPath);
        if (cleaned == _defaultFile || cleaned.startsWith(_folder + QLatin1Char('/')))
            return cleaned;
        refuse(clientPath, "lies outside the profile folder");
    }
    const QString cleaned = QDir::cleanPath(_folder + QLatin1Char('/') + clientPath);
    if (cleaned == _folder)
        refuse(clientPath, "names the profile folder itself, not a file");
    return cleaned;
}

ProfileFolder::Target ProfileFolder::targetOf(const QString& clientPath) const
{
    Target target;
    target.path = resolve(clientPath);
    target.isDefault = target.path == _defaultFile;
    target.anchor = target.isDefault ? _applicationDataFolder : _folder;
    return target;
}

ProfileFolder::ReadResult ProfileFolder::read(const QString& clientPath) const
{
    const Target target = targetOf(clientPath);
    ReadResult result;
    struct stat info
    {
    };
    if (!statPath(target.path, &info)) {
        // A dangling link reads as missing too: there is nothing to read.
        result.status = errno == ENOENT || errno == ENOTDIR ? ReadResult::Status::Missing
                                                            : ReadResult::Status::CannotOpen;
        return result;
    }
    const QString canonical = QFileInfo(target.path).canonicalFilePath();
    if (!target.admits(canonical))
        refuse(clientPath, "leads out of the profile folder");
    if (!S_ISREG(info.st_mode))
        refuse(clientPath, "is not a regular file");
    if (info.st_size > maximumFileSize) {
        result.status = ReadResult::Status::TooLarge;
        return result;
    }

    // Not blocking and not following a link that appeared since: whatever is
    // opened is checked again before a byte is read.
    const int fd
        = ::open(QFile::encodeName(canonical).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return result;
    struct stat opened
    {
    };
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        ::close(fd);
        refuse(clientPath, "is not a regular file");
    }
    QByteArray bytes;
    bytes.resize(int(maximumFileSize) + 1);
    qint64 total = 0;
    for (;;) {
        const ssize_t count = ::read(fd, bytes.data() + total, size_t(bytes.size() - total));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            ::close(fd);
            return result;
        }
        if (count == 0)
            break;
        total += count;
        if (total > maximumFileSize) {
            // It grew while being read.
            ::close(fd);
            result.status = ReadResult::Status::TooLarge;
            return result;
        }
    }
    ::close(fd);
    bytes.resize(int(total));
    result.status = ReadResult::Status::Ok;
    result.bytes = bytes;
    return result;
}

ProfileFolder::WriteStatus ProfileFolder::write(const QString& clientPath, const QByteArray& bytes) const
{
    const Target target = targetOf(clientPath);
    if (!QDir().mkpath(target.anchor))
        return WriteStatus::CannotOpen;

    // Each folder on the way is made or entered only where it stays inside:
    // QDir::mkpath would follow a link out and create folders there.
    QString folder = QFileInfo(target.anchor).canonicalFilePath();
    const QString relative = QDir(target.anchor).relativeFilePath(QFileInfo(target.path).path());
    const QStringList steps
        = relative == QStringLiteral(".") ? QStringList() : relative.split(QLatin1Char('/'));
    for (const QString& step : steps) {
        const QString next = folder + QLatin1Char('/') + step;
        struct stat info
        {
        };
        if (!lstatPath(next, &info) && !QDir().mkdir(next))
            return WriteStatus::CannotOpen;
        const QString canonical = QFileInfo(next).canonicalFilePath();
        if (!target.admits(canonical))
            refuse(clientPath, "leads out of the profile folder");
        if (!isDirectory(canonical))
            return WriteStatus::CannotOpen;
        folder = canonical;
    }

    QString destination = folder + QLatin1Char('/') + QFileInfo(target.path).fileName();
    QFileDevice::Permissions permissions
        = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    struct stat info
    {
    };
    if (statPath(destination, &info)) {
        const QString canonical = QFileInfo(destination).canonicalFilePath();
        if (!target.admits(canonical))
            refuse(clientPath, "leads out of the profile folder");
        if (!S_ISREG(info.st_mode))
            refuse(clientPath, "is not a regular file");
        // A link inside the folder keeps pointing at the new content.
        destination = canonical;
        permissions = QFileInfo(canonical).permissions();
    }

    QTemporaryFile temporary(QFileInfo(destination).path() + QStringLiteral("/.")
        + QFileInfo(destination).fileName() + QStringLiteral(".XXXXXX"));
    if (!temporary.open())
        return WriteStatus::CannotOpen;
    if (temporary.write(bytes) != bytes.size() || !temporary.flush() || ::fsync(temporary.handle()) != 0)
        return WriteStatus::WriteFailed;
    if (!temporary.seek(0) || temporary.readAll() != bytes)
        return WriteStatus::WriteFailed;
    temporary.setPermissions(permissions);
    temporary.close();
    if (::rename(
            QFile::encodeName(temporary.fileName()).constData(), QFile::encodeName(destination).constData())
        != 0)
        return WriteStatus::WriteFailed;
    temporary.setAutoRemove(false);
    return WriteStatus::Ok;
}

} // namespace tarvesk::core
