#include "core/file/profile_folder.h"
#include "core/file/replacement_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using tarvesk::core::ProfileFolder;
using tarvesk::core::ReplacementFile;
using WriteStatus = ProfileFolder::WriteStatus;

namespace {

QStringList entriesOf(const QString& folder)
{
    QStringList names
        = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    names.sort();
    return names;
}

void put(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// What a save killed between writing its temporary file and renaming it
// leaves: a file named by the save's own template, closed and unlocked.
QString plantLeftover(const QString& folder, const QString& fileName, const QByteArray& bytes)
{
    QTemporaryFile file(folder + "/" + ReplacementFile::temporaryTemplate(fileName));
    file.setAutoRemove(false);
    EXPECT_TRUE(file.open());
    EXPECT_EQ(file.write(bytes), bytes.size());
    return QFileInfo(file.fileName()).fileName();
}

// A process that holds the lock on a temporary file as a save in progress
// does, until it is killed.
class LockHolder
{
public:
    explicit LockHolder(const QString& path)
    {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        int ready[2];
        if (fd < 0 || ::pipe(ready) != 0)
            return;
        _pid = ::fork();
        if (_pid == 0) {
            // Only calls that are safe after fork.
            char done = ::flock(fd, LOCK_EX) == 0 ? 1 : 0;
            (void)!::write(ready[1], &done, 1);
            for (;;)
                ::pause();
        }
        ::close(fd); // the child's copy keeps the lock
        ::close(ready[1]);
        char done = 0;
        _locked = _pid > 0 && ::read(ready[0], &done, 1) == 1 && done == 1;
        ::close(ready[0]);
    }
    ~LockHolder() { kill(); }
    bool locked() const { return _locked; }
    // As kill -9 does: the system releases the lock.
    void kill()
    {
        if (_pid <= 0)
            return;
        ::kill(_pid, SIGKILL);
        ::waitpid(_pid, nullptr, 0);
        _pid = -1;
    }

private:
    pid_t _pid = -1;
    bool _locked = false;
};

} // namespace

// The temporary names of one file are its own: other files' names, names that
// only look alike, and long names that begin alike do not match.
TEST(ReplacementFileTest, TemporaryNamesBelongToOneFileName)
{
    struct Case
    {
        const char* entry;
        bool matches; // as a temporary file of "line1.json"
    };
    const Case cases[] = {
        {".line1.json.AbCdEf", true},
        {".line1.json.zzzzzz", true},
        {".line1.json.AbCdE", false},   // five letters
        {".line1.json.AbCdEfG", false}, // seven
        {".line1.json.AbCd1f", false},  // a digit
        {".line1.json.AbCd-f", false},  // not a letter
        {"line1.json.AbCdEf", false},   // no leading dot
        {".line1.json_AbCdEf", false},  // no dot before the letters
        {".line1.jsonx.AbCdEf", false}, // another name
        {".line2.json.AbCdEf", false},  // another name
        {"..line1.json.AbCdEf", false}, // another name
        {".line1.json.AbCdEf.bak", false},
        {".line1.json", false},
        {"line1.json", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReplacementFile::isTemporaryName(c.entry, "line1.json"), c.matches) << c.entry;

    // Names that differ only after their first 127 characters.
    const QString common(130, QLatin1Char('p'));
    const QString a = common + "a.json";
    const QString b = common + "b.json";
    EXPECT_NE(ReplacementFile::temporaryTemplate(a), ReplacementFile::temporaryTemplate(b));

    // What QTemporaryFile makes of each template is a name of that file and of
    // no other, and fits in a name of the file system even when the file's own
    // name takes all of its 255 bytes.
    QTemporaryDir dir;
    const QString wide = QString(85, QChar(0x20ac)); // 85 euro signs, 255 bytes
    ASSERT_EQ(QFile::encodeName(wide).size(), 255);
    for (const QString& name : {QString("line1.json"), a, b, wide, QString("x XXXXXX.json")}) {
        SCOPED_TRACE(name.toStdString());
        QTemporaryFile made(dir.path() + "/" + ReplacementFile::temporaryTemplate(name));
        ASSERT_TRUE(made.open()) << made.errorString().toStdString();
        const QByteArray entry = QFile::encodeName(QFileInfo(made.fileName()).fileName());
        EXPECT_LE(entry.size(), 255);
        EXPECT_TRUE(ReplacementFile::isTemporaryName(entry, name));
        for (const QString& other : {QString("line1.json"), a, b, wide}) {
            if (other != name) {
                EXPECT_FALSE(ReplacementFile::isTemporaryName(entry, other)) << other.toStdString();
            }
        }
    }
    // So a file of such a name is saved.
    const ProfileFolder folder(dir.filePath("app"));
    QString reason;
    EXPECT_EQ(folder.write(wide, "[]", &reason), WriteStatus::Ok) << reason.toStdString();
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("app/profiles/") + wide));
}

// A save killed between writing its temporary file and the rename leaves the
// file for good; the next save of the same name removes it, and only it.
TEST(ReplacementFileTest, TheNextSaveRemovesWhatKilledSavesOfItsNameLeft)
{
    QTemporaryDir tmp;
    const QString appData = tmp.filePath("app");
    const QString profiles = appData + "/profiles";
    ASSERT_TRUE(QDir().mkpath(profiles + "/sub"));
    const ProfileFolder folder(appData);

    const QString stale = plantLeftover(profiles, "line1.json", QByteArray(100000, 'x'));
    const QString staleToo = plantLeftover(profiles, "line1.json", "[");
    // What must stay: names alike but not of a temporary file of line1.json,
    // other names' leftovers, the same name in another folder, and what is
    // not a regular file.
    const QString otherName = plantLeftover(profiles, "line2.json", "[");
    const QString inSubfolder = plantLeftover(profiles + "/sub", "line1.json", "[");
    const QStringList alike = {".line1.json.bak", ".line1.json.AbCd1f", ".line1.json.AbCdEfG",
        "line1.json.AbCdEf", ".line1.json.AbCdE"};
    for (const QString& name : alike)
        put(profiles + "/" + name, "kept");
    ASSERT_TRUE(QDir().mkpath(profiles + "/.line1.json.FoLdER"));
    put(tmp.filePath("target"), "target");
    ASSERT_TRUE(QFile::link(tmp.filePath("target"), profiles + "/.line1.json.LiNkED"));

    ASSERT_EQ(folder.write("line1.json", "[1]"), WriteStatus::Ok);

    QStringList expected
        = alike + QStringList {"line1.json", otherName, "sub", ".line1.json.FoLdER", ".line1.json.LiNkED"};
    expected.sort();
    EXPECT_EQ(entriesOf(profiles), expected);
    EXPECT_FALSE(QFileInfo::exists(profiles + "/" + stale));
    EXPECT_FALSE(QFileInfo::exists(profiles + "/" + staleToo));
    EXPECT_EQ(entriesOf(profiles + "/sub"), QStringList {inSubfolder});
    QFile target(tmp.filePath("target"));
    ASSERT_TRUE(target.open(QIODevice::ReadOnly));
    EXPECT_EQ(target.readAll(), "target");
    QFile saved(profiles + "/line1.json");
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), "[1]");

    // The default file's leftovers lie next to it.
    const QString defaultLeftover = plantLeftover(appData, "profiles.json", "[");
    ASSERT_EQ(folder.write(folder.defaultFile(), "[2]"), WriteStatus::Ok);
    EXPECT_FALSE(QFileInfo::exists(appData + "/" + defaultLeftover));
    EXPECT_EQ(entriesOf(appData), (QStringList {"profiles", "profiles.json"}));
}

// The temporary file of a save in progress, in another process or in this
// one, is left to it: only once its process is killed is it a leftover.
TEST(ReplacementFileTest, ASaveInProgressKeepsItsTemporaryFile)
{
    QTemporaryDir tmp;
    const QString profiles = tmp.filePath("app/profiles");
    ASSERT_TRUE(QDir().mkpath(profiles));
    const ProfileFolder folder(tmp.filePath("app"));

    const QString held = plantLeftover(profiles, "line1.json", "[");
    LockHolder saver(profiles + "/" + held);
    ASSERT_TRUE(saver.locked());
    ASSERT_EQ(folder.write("line1.json", "[1]"), WriteStatus::Ok);
    EXPECT_TRUE(QFileInfo::exists(profiles + "/" + held));

    saver.kill();
    ASSERT_EQ(folder.write("line1.json", "[2]"), WriteStatus::Ok);
    EXPECT_EQ(entriesOf(profiles), QStringList {"line1.json"});

    // In this process: a replacement being written.
    ReplacementFile inProgress(profiles + "/line1.json");
    QString reason;
    ASSERT_TRUE(inProgress.open(&reason)) << reason.toStdString();
    ASSERT_EQ(folder.write("line1.json", "[3]"), WriteStatus::Ok);
    EXPECT_TRUE(QFileInfo::exists(inProgress.file().fileName()));
    ASSERT_EQ(inProgress.file().write("[4]"), 3);
    ASSERT_TRUE(inProgress.file().flush());
    ASSERT_TRUE(inProgress.commit(&reason)) << reason.toStdString();
    QFile saved(profiles + "/line1.json");
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), "[4]");
    EXPECT_EQ(entriesOf(profiles), QStringList {"line1.json"});
}
