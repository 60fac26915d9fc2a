#include "core/file/replacement_file.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvesk::core {

namespace {

const QLatin1String placeholder(".XXXXXX");
// QTemporaryFile puts letters in place of the six X.
constexpr int randomLength = 6;
// The leading part of a long name kept in its temporary name, in bytes.
constexpr int keptPrefixBytes = 100;

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// What stands for the file's name in its temporary names.
QString stemOf(const QString& fileName)
{
    const int bytes = QFile::encodeName(fileName).size();
    if (fileName.size() <= ReplacementFile::maximumWholeNameLength
        && 1 + bytes + placeholder.size() <= ReplacementFile::maximumNameBytes)
        return fileName;
    QString prefix;
    int prefixBytes = 0;
    for (int i = 0; i < fileName.size();) {
        const int length = fileName.at(i).isHighSurrogate() && i + 1 < fileName.size() ? 2 : 1;
        const QString character = fileName.mid(i, length);
        const int size = QFile::encodeName(character).size();
        if (prefixBytes + size > keptPrefixBytes)
            break;
        prefix += character;
        prefixBytes += size;
        i += length;
    }
    const QByteArray digest
        = QCryptographicHash::hash(QFile::encodeName(fileName), QCryptographicHash::Sha1).toHex().left(8);
    return prefix + QLatin1Char('.') + QString::fromLatin1(digest);
}

// Locks an open temporary file for as long as it stays open. Where the file
// system has no such locks, removeStale cannot take them either and leaves
// every temporary file alone.
void lockHeld(int fd)
{
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) { }
}

// What every temporary name of the file begins with, as the system spells it.
QByteArray temporaryLead(const QString& fileName)
{
    return QFile::encodeName(QLatin1Char('.') + stemOf(fileName) + QLatin1Char('.'));
}

bool isTemporaryNameWithLead(const QByteArray& entryName, const QByteArray& lead)
{
    if (entryName.size() != lead.size() + randomLength || !entryName.startsWith(lead))
        return false;
    for (int i = lead.size(); i < entryName.size(); ++i) {
        if (!isLetter(entryName.at(i)))
            return false;
    }
    return true;
}

} // namespace

ReplacementFile::ReplacementFile(const QString& destination)
    : _destination(destination)
{ }

ReplacementFile::~ReplacementFile() = default;

QString ReplacementFile::temporaryTemplate(const QString& fileName)
{
    return QLatin1Char('.') + stemOf(fileName) + placeholder;
}

bool ReplacementFile::isTemporaryName(const QByteArray& entryName, const QString& fileName)
{
    return isTemporaryNameWithLead(entryName, temporaryLead(fileName));
}

bool ReplacementFile::open(QString* reason)
{
    const QFileInfo destination(_destination);
    const QString pattern = destination.path() + QLatin1Char('/') + temporaryTemplate(destination.fileName());
    // A save of the same name in another process may take the file for a
    // leftover in the instant between its creation and its lock, and remove
    // it: then it is made again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        _file = std::make_unique<QTemporaryFile>(pattern);
        if (!_file->open()) {
            if (reason)
                *reason = _file->errorString();
            _file.reset();
            return false;
        }
        lockHeld(_file->handle());
        struct stat opened
        {
        };
        struct stat named
        {
        };
        if (::fstat(_file->handle(), &opened) == 0
            && ::lstat(QFile::encodeName(_file->fileName()).constData(), &named) == 0
            && sameFile(opened, named))
            return true;
        _file->setAutoRemove(false); // its name is gone
        _file.reset();
    }
    if (reason)
        *reason = QStringLiteral("the temporary file was removed as it was made");
    return false;
}

bool ReplacementFile::commit(QString* reason)
{
    // Renamed while still locked: until it has its final name, no other save
    // takes it for a leftover.
    if (::rename(
            QFile::encodeName(_file->fileName()).constData(), QFile::encodeName(_destination).constData())
        != 0) {
        if (reason)
            *reason = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    _file->setAutoRemove(false);
    _file->close();
    return true;
}

int ReplacementFile::removeStale(const QString& destination)
{
    const QFileInfo info(destination);
    const QByteArray lead = temporaryLead(info.fileName());
    DIR* folder = ::opendir(QFile::encodeName(info.path()).constData());
    if (!folder)
        return 0;
    const int at = ::dirfd(folder);
    int removed = 0;
    while (const dirent* entry = ::readdir(folder)) {
        const QByteArray name(entry->d_name);
        if (!isTemporaryNameWithLead(name, lead))
            continue;
        const int fd = ::openat(at, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat opened
        {
        };
        struct stat named
        {
        };
        // Held by a save in progress when the lock is taken. Once the lock is
        // had, the file is removed only if the name still is that file.
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_uid == ::geteuid()
            && ::flock(fd, LOCK_EX | LOCK_NB) == 0
            && ::fstatat(at, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(opened, named)
            && ::unlinkat(at, name.constData(), 0) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(folder);
    return removed;
}

} // namespace tarvesk::core
