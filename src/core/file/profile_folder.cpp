#include "core/file/profile_folder.h"

#include "core/file/application_data_folder.h"
#include "core/file/replacement_file.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace tarvesk::core {

namespace {

const QString profileFolderName = QStringLiteral("profiles");
const QString defaultFileName = QStringLiteral("profiles.json");

bool statPath(const QString& path, struct stat* info)
{
    return ::stat(QFile::encodeName(path).constData(), info) == 0;
}


// A client's path as a message shows it: control characters escaped, so
// that a zero character does not end the text.
QString shown(const QString& path)
{
    QString result;
    result.reserve(path.size());
    for (const QChar c : path) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            result += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            result += c;
    }
    return result;
}

void setReason(QString* reason, int error)
{
    if (reason)
        *reason = QString::fromLocal8Bit(std::strerror(error));
}

// Opens a folder to walk on from; -1 with errno set when it is not one.
int openFolder(int at, const QByteArray& name, bool followLinks)
{
    return ::openat(
        at, name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW));
}

// Writes all bytes to the file and makes them durable; false with what the
// system reported otherwise. A write that the system takes only in part (the
// disk fills up on the way) is carried on, so that the call that fails gives
// the reason ("No space left on device"), as it does when nothing fits at all.
bool writeAll(int fd, const QByteArray& bytes, QString* reason)
{
    qint64 written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            setReason(reason, count < 0 ? errno : EIO);
            return false;
        }
        written += count;
    }
    while (::fsync(fd) != 0) {
        if (errno != EINTR) {
            setReason(reason, errno);
            return false;
        }
    }
    return true;
}

// Whether the file holds exactly the bytes.
bool readsBack(int fd, const QByteArray& bytes)
{
    QByteArray found(bytes.size() + 1, '\0');
    qint64 total = 0;
    while (total < found.size()) {
        const ssize_t count = ::pread(fd, found.data() + total, size_t(found.size() - total), off_t(total));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return false;
        if (count == 0)
            break;
        total += count;
    }
    return total == bytes.size() && std::memcmp(found.constData(), bytes.constData(), size_t(total)) == 0;
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
                               .arg(shown(clientPath), QLatin1String(why), _folder)
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
    // "a/" and "a/." name the folder a; cleaned, they would stand for a file a.
    if (parts.size() > 1 && (parts.last().isEmpty() || parts.last() == QLatin1String(".")))
        refuse(clientPath, "names a folder, not a file");
    for (const QString& part : parts) {
        if (QFile::encodeName(part).size() > maximumNameLength) {
            refuse(clientPath,
                QStringLiteral("holds a name longer than %1 bytes").arg(maximumNameLength).toUtf8().constData());
        }
    }
    QString cleaned;
    if (QDir::isAbsolutePath(clientPath)) {
        cleaned = QDir::cleanPath(clientPath);
        if (cleaned == _defaultFile)
            return cleaned;
        if (!cleaned.startsWith(_folder + QLatin1Char('/')))
            refuse(clientPath, "lies outside the profile folder");
    } else {
        cleaned = QDir::cleanPath(_folder + QLatin1Char('/') + clientPath);
        if (cleaned == _folder)
            refuse(clientPath, "names the profile folder itself, not a file");
    }
    // Folders between the profile folder and the file.
    const int depth = int(cleaned.midRef(_folder.size() + 1).count(QLatin1Char('/')));
    if (depth > maximumDepth) {
        refuse(clientPath,
            QStringLiteral("goes more than %1 folders deep").arg(maximumDepth).toUtf8().constData());
    }
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

// The folders one write made, removed again (deepest first) unless the write
// succeeded: a failed save leaves the profile folder as it found it.
class ProfileFolder::MadeFolders
{
public:
    MadeFolders() = default;
    MadeFolders(const MadeFolders&) = delete;
    MadeFolders& operator=(const MadeFolders&) = delete;
    ~MadeFolders()
    {
        // By name from the folder it was made in: a deep path may be longer
        // than the system takes whole.
        for (auto it = _made.crbegin(); it != _made.crend(); ++it) {
            if (!_kept)
                ::unlinkat(it->parent, it->name.constData(), AT_REMOVEDIR);
            ::close(it->parent);
        }
    }

    void add(int parent, const QByteArray& name) { _made.push_back({::dup(parent), name}); }
    void keep() { _kept = true; }

private:
    struct Made
    {
        int parent;
        QByteArray name;
    };
    std::vector<Made> _made;
    bool _kept = false;
};

ProfileFolder::WriteStatus ProfileFolder::write(
    const QString& clientPath, const QByteArray& bytes, QString* reason) const
{
    const Target target = targetOf(clientPath);
    MadeFolders made;
    if (!QDir().mkpath(target.anchor)) {
        setReason(reason, errno);
        return WriteStatus::CannotOpen;
    }

    // Each folder on the way is made or entered once, by name from the one
    // before (no path is looked up again from the top), and only where it
    // stays inside: QDir::mkpath would follow a link out and create folders
    // there.
    QString folder = QFileInfo(target.anchor).canonicalFilePath();
    int at = openFolder(AT_FDCWD, QFile::encodeName(folder), true);
    if (at < 0) {
        setReason(reason, errno);
        return WriteStatus::CannotOpen;
    }
    const QString relative = QDir(target.anchor).relativeFilePath(QFileInfo(target.path).path());
    const QStringList steps
        = relative == QStringLiteral(".") ? QStringList() : relative.split(QLatin1Char('/'));
    for (const QString& step : steps) {
        const QByteArray name = QFile::encodeName(step);
        QString next = folder + QLatin1Char('/') + step;
        if (::mkdirat(at, name.constData(), 0777) == 0) {
            made.add(at, name);
        } else if (errno != EEXIST) {
            setReason(reason, errno);
            ::close(at);
            return WriteStatus::CannotOpen;
        }
        int opened = openFolder(at, name, false);
        if (opened < 0 && (errno == ELOOP || errno == ENOTDIR)) {
            struct stat info
            {
            };
            // A link: it may lead to a folder that stays inside.
            if (::fstatat(at, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode)) {
                const QString canonical = QFileInfo(next).canonicalFilePath();
                if (!target.admits(canonical)) {
                    ::close(at);
                    refuse(clientPath, "leads out of the profile folder");
                }
                next = canonical;
                opened = openFolder(AT_FDCWD, QFile::encodeName(canonical), true);
            } else {
                errno = ENOTDIR;
            }
        }
        const int error = errno;
        ::close(at);
        if (opened < 0) {
            setReason(reason, error);
            return WriteStatus::CannotOpen;
        }
        at = opened;
        folder = next;
    }
    ::close(at);

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

    // What killed saves of this name left behind goes first: each may be as
    // large as a request body, and nothing else would ever remove it.
    ReplacementFile::removeStale(destination);

    ReplacementFile replacement(destination);
    if (!replacement.open(reason))
        return WriteStatus::CannotOpen;
    QTemporaryFile& temporary = replacement.file();
    if (!writeAll(temporary.handle(), bytes, reason))
        return WriteStatus::WriteFailed;
    if (!readsBack(temporary.handle(), bytes)) {
        if (reason)
            *reason = QStringLiteral("the bytes read back differ from those written");
        return WriteStatus::WriteFailed;
    }
    temporary.setPermissions(permissions);
    if (!replacement.commit(reason))
        return WriteStatus::WriteFailed;
    made.keep();
    return WriteStatus::Ok;
}

} // namespace tarvesk::core
