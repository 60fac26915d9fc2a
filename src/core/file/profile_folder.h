#pragma once

#include <QByteArray>
#include <QString>

#include <stdexcept>

namespace tarvesk::core {

// A client's path that may not be read or written: outside the profile
// folder, with "..", too deep or with too long a name, a link that leads out
// of the folder, or something other than a regular file. what() names the
// profile folder and shows control characters of the path escaped, so that a
// zero character cannot cut the message short.
class ProfilePathError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The files that clients may read and write with profile texts: everything
// below <application data folder>/profiles, plus the one default file
// <application data folder>/profiles.json. Any web page can reach the service,
// so a path from a request never leaves these, not even through a link.
class ProfileFolder
{
public:
    // The largest profile file read, as stored (compressed or not).
    static constexpr qint64 maximumFileSize = 1000000;
    // The most folders a path may go down below the profile folder, and the
    // longest name (bytes of one path element) it may hold: a client's path
    // must not make the service create folders without end.
    static constexpr int maximumDepth = 32;
    static constexpr int maximumNameLength = 255;

    explicit ProfileFolder(const QString& applicationDataFolder);
    // The folder of this pass of the service (ApplicationDataFolder).
    static ProfileFolder ofThisPass();

    QString path() const { return _folder; }
    QString defaultFile() const { return _defaultFile; }

    // The absolute path a client's path stands for: a relative path lies in the
    // profile folder, an absolute one must lie in it or be the default file,
    // at most maximumDepth folders down, no name longer than maximumNameLength;
    // a path that ends with "/" names a folder and is refused. Looks at the
    // text only; throws ProfilePathError for anything else.
    QString resolve(const QString& clientPath) const;

    struct ReadResult
    {
        enum class Status {
            Ok,
            Missing,    // no such file
            TooLarge,   // more than maximumFileSize bytes; nothing read
            CannotOpen, // there but unreadable
        };
        Status status = Status::CannotOpen;
        QByteArray bytes; // the whole file when Ok (possibly empty)
    };

    // Reads the file a client's path names. A path that resolve() refuses, that
    // leads (through links) out of the folder or to anything but a regular file
    // throws ProfilePathError before the file is opened.
    ReadResult read(const QString& clientPath) const;

    enum class WriteStatus {
        Ok,
        CannotOpen,  // the file or a folder on its way cannot be made
        WriteFailed, // a byte did not reach the disk; the old file is unchanged
    };

    // Writes the bytes to the file a client's path names, creating missing
    // folders below the profile folder; a write that fails removes the folders
    // it made. The file is replaced atomically: the bytes go to a temporary
    // file next to it, are read back and compared, and only then is it renamed
    // over the old one (ReplacementFile). Temporary files that saves of the
    // same name left when they were killed are removed first. The same
    // refusals as read(). When not Ok and reason is given, it says what the
    // system reported ("File name too long").
    WriteStatus write(const QString& clientPath, const QByteArray& bytes, QString* reason = nullptr) const;

private:
    struct Target;
    class MadeFolders;
    Target targetOf(const QString& clientPath) const;
    [[noreturn]] void refuse(const QString& clientPath, const char* why) const;

    QString _applicationDataFolder;
    QString _folder;
    QString _defaultFile;
};

} // namespace tarvesk::core
