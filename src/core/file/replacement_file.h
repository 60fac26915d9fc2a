#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryFile>

#include <memory>

namespace tarvesk::core {

// The temporary file that takes a file's new content before it is renamed over
// the file, so that the file is replaced whole or not at all. It lies next to
// the file as ".<name>.XXXXXX" (six letters), and it is locked (flock) from
// before its first byte until it has been renamed: a save killed on the way
// leaves it behind unlocked, and the next save of the same name removes such
// leftovers (removeStale) without touching one that a save in progress, in this
// process or another, still holds.
//
// A name too long to be held whole in a temporary name (more than
// maximumWholeNameLength characters, or bytes that would not fit) stands there
// as its first characters and a digest of the whole name: names that begin
// alike still have temporary names of their own.
class ReplacementFile
{
public:
    static constexpr int maximumWholeNameLength = 127;
    static constexpr int maximumNameBytes = 255;

    // The file the content is for; it need not exist. Nothing is made yet.
    explicit ReplacementFile(const QString& destination);
    // Removes the temporary file unless it was renamed over the destination.
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Makes and locks the temporary file; when it cannot be made, false with
    // what the system reported.
    bool open(QString* reason);
    // The open temporary file, to write and read back.
    QTemporaryFile& file() { return *_file; }
    // Renames the temporary file over the destination, still locked, then
    // closes it; false with the system's reason when the rename failed.
    bool commit(QString* reason);

    // The template of the temporary files of a file named fileName, as
    // QTemporaryFile takes it, without folder.
    static QString temporaryTemplate(const QString& fileName);
    // Whether the name of an entry of a folder (as the system gives it) is one
    // a temporary file of fileName can have.
    static bool isTemporaryName(const QByteArray& entryName, const QString& fileName);
    // Removes from the destination's folder the temporary files of its name
    // that no save holds any more (regular files of this user, nothing else);
    // the number removed.
    static int removeStale(const QString& destination);

private:
    QString _destination;
    std::unique_ptr<QTemporaryFile> _file;
};

} // namespace tarvesk::core
