#include "core/file/application_data_folder.h"
#include "core/file/profile_folder.h"
#include "file_size_limit.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

using tarvesk::core::ApplicationDataFolder;
using tarvesk::core::ProfileFolder;
using tarvesk::core::ProfilePathError;
using ReadStatus = ProfileFolder::ReadResult::Status;
using WriteStatus = ProfileFolder::WriteStatus;

namespace {

class ProfileFolderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        appData = tmp.filePath("app");
        outside = tmp.filePath("outside");
        ASSERT_TRUE(QDir().mkpath(appData + "/profiles/dir.json"));
        ASSERT_TRUE(QDir().mkpath(outside));
        put(outside + "/secret.json", "[\"outside\"]");
        put(appData + "/profiles/real.json", "[\"real\"]");
        put(appData + "/profiles.json", "[\"default\"]");
        ASSERT_TRUE(QFile::link(outside + "/secret.json", appData + "/profiles/out.json"));
        ASSERT_TRUE(QFile::link(outside, appData + "/profiles/outdir"));
        ASSERT_TRUE(QFile::link(appData + "/profiles/real.json", appData + "/profiles/alias.json"));
        ASSERT_EQ(mkfifo(QFile::encodeName(appData + "/profiles/fifo.json").constData(), 0600), 0);
    }

    static void put(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    static QByteArray contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    QTemporaryDir tmp;
    QString appData;
    QString outside;
};

} // namespace

// Any web page can call the service: a client's path reaches the profile
// folder and the default file, nothing else, by text or through a link.
TEST_F(ProfileFolderTest, PathsReachOnlyTheFolderAndTheDefaultFile)
{
    const ProfileFolder folder(appData);
    EXPECT_EQ(folder.path(), appData + "/profiles");
    EXPECT_EQ(folder.defaultFile(), appData + "/profiles.json");

    struct Case
    {
        QString path;
        bool refused;     // ProfilePathError for read and write
        QByteArray reads; // what read() gives when not refused ("" for Missing)
    };
    const Case cases[] = {
        {"real.json", false, "[\"real\"]"},
        {"./real.json", false, "[\"real\"]"},
        {appData + "/profiles/real.json", false, "[\"real\"]"},
        {appData + "/profiles.json", false, "[\"default\"]"},
        {"alias.json", false, "[\"real\"]"},
        {"missing.json", false, ""},
        {"sub/missing.json", false, ""},
        {"", true, ""},
        {".", true, ""},
        {"/etc/passwd", true, ""},
        {outside + "/secret.json", true, ""},
        {appData + "/other.json", true, ""},
        {appData + "/profiles", true, ""},
        {"../profiles.json", true, ""},
        {"sub/../real.json", true, ""},
        {appData + "/profiles/../profiles.json", true, ""},
        {"out.json", true, ""},
        {"outdir/secret.json", true, ""},
        {"dir.json", true, ""},
        {"fifo.json", true, ""},
        // A trailing "/" names a folder, never the file of that name.
        {"real.json/", true, ""},
        {"new/", true, ""},
        {"sub/.", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        if (c.refused) {
            try {
                folder.read(c.path);
                ADD_FAILURE() << "read not refused";
            } catch (const ProfilePathError& e) {
                EXPECT_NE(QString::fromStdString(e.what()).indexOf(appData + "/profiles"), -1) << e.what();
            }
            EXPECT_THROW(folder.write(c.path, "[]"), ProfilePathError);
            continue;
        }
        const auto result = folder.read(c.path);
        EXPECT_EQ(result.status, c.reads.isEmpty() ? ReadStatus::Missing : ReadStatus::Ok);
        EXPECT_EQ(result.bytes, c.reads);
    }
    // Nothing outside was read through, written or made.
    EXPECT_EQ(contents(outside + "/secret.json"), "[\"outside\"]");
    EXPECT_EQ(QDir(outside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
        QStringList {"secret.json"});
    EXPECT_FALSE(QFileInfo::exists(appData + "/other.json"));
}

TEST_F(ProfileFolderTest, RefusedPathsLeaveTheFileSystemAlone)
{
    const QString fresh = tmp.filePath("fresh");
    const ProfileFolder folder(fresh);
    EXPECT_THROW(folder.write("/etc/x.json", "[]"), ProfilePathError);
    EXPECT_THROW(folder.write("a/../../x.json", "[]"), ProfilePathError);
    EXPECT_FALSE(QFileInfo::exists(fresh));
}

TEST_F(ProfileFolderTest, WritesMakeMissingFoldersAndReplaceFilesWhole)
{
    const ProfileFolder folder(tmp.filePath("fresh"));
    EXPECT_EQ(folder.write("a/b/c.json", "[1]"), WriteStatus::Ok);
    EXPECT_EQ(contents(tmp.filePath("fresh/profiles/a/b/c.json")), "[1]");
    EXPECT_EQ(folder.write(folder.defaultFile(), "[2]"), WriteStatus::Ok);
    EXPECT_EQ(contents(tmp.filePath("fresh/profiles.json")), "[2]");

    // A link inside the folder keeps its place and points at the new content.
    const ProfileFolder linked(appData);
    EXPECT_EQ(linked.write("alias.json", "[3]"), WriteStatus::Ok);
    EXPECT_TRUE(QFileInfo(appData + "/profiles/alias.json").isSymLink());
    EXPECT_EQ(contents(appData + "/profiles/real.json"), "[3]");

    // A write that fails half way leaves the old file as it was and no
    // temporary file behind.
    {
        tarvesk::test::FileSizeLimit limit(4);
        EXPECT_EQ(linked.write("real.json", "[\"longer than four bytes\"]"), WriteStatus::WriteFailed);
    }
    EXPECT_EQ(contents(appData + "/profiles/real.json"), "[3]");
    EXPECT_EQ(QDir(appData + "/profiles").entryList({".real*"}, QDir::Files | QDir::Hidden), QStringList());

    // A folder cannot be made where a file stands.
    EXPECT_EQ(linked.write("real.json/x.json", "[]"), WriteStatus::CannotOpen);
}

// A save that fails takes back the folders it made, and says why.
TEST_F(ProfileFolderTest, AFailedWriteRemovesTheFoldersItMade)
{
    const ProfileFolder folder(appData);
    QString reason;
    {
        tarvesk::test::FileSizeLimit limit(4);
        EXPECT_EQ(folder.write("new/deeper/x.json", "[\"longer than four bytes\"]", &reason),
            WriteStatus::WriteFailed);
    }
    // The system's own reason, also when part of the bytes went to disk.
    EXPECT_EQ(reason, QString::fromLocal8Bit(std::strerror(EFBIG)));
    EXPECT_FALSE(QFileInfo::exists(appData + "/profiles/new"));
    // Folders that were there before stay.
    ASSERT_TRUE(QDir().mkpath(appData + "/profiles/old"));
    put(appData + "/profiles/old/file.json", "[]");
    EXPECT_EQ(folder.write("old/file.json/sub/x.json", "[]", &reason), WriteStatus::CannotOpen);
    EXPECT_EQ(reason, "Not a directory");
    EXPECT_TRUE(QFileInfo::exists(appData + "/profiles/old"));
}

TEST_F(ProfileFolderTest, ReadsAtMostAMillionBytes)
{
    const ProfileFolder folder(appData);
    put(appData + "/profiles/limit.json", QByteArray(1000000, ' '));
    put(appData + "/profiles/over.json", QByteArray(1000001, ' '));
    put(appData + "/profiles/empty.json", QByteArray());

    EXPECT_EQ(folder.read("limit.json").status, ReadStatus::Ok);
    EXPECT_EQ(folder.read("limit.json").bytes.size(), 1000000);
    const auto over = folder.read("over.json");
    EXPECT_EQ(over.status, ReadStatus::TooLarge);
    EXPECT_TRUE(over.bytes.isEmpty());
    const auto empty = folder.read("empty.json");
    EXPECT_EQ(empty.status, ReadStatus::Ok);
    EXPECT_TRUE(empty.bytes.isEmpty());
}

// The folder is fixed when a pass starts: a new application name meanwhile
// does not move the files.
TEST(ApplicationDataFolderTest, StaysWhereThePassStartedIt)
{
    const QString name = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName("first name");
    ApplicationDataFolder::fixForThisPass();
    const QString fixed = ApplicationDataFolder::path();
    EXPECT_TRUE(fixed.endsWith("/first name")) << fixed.toStdString();
    QCoreApplication::setApplicationName("second name");
    EXPECT_EQ(ApplicationDataFolder::path(), fixed);
    EXPECT_EQ(ProfileFolder::ofThisPass().path(), fixed + "/profiles");
    ApplicationDataFolder::release();
    EXPECT_TRUE(ApplicationDataFolder::path().endsWith("/second name"));
    QCoreApplication::setApplicationName(name);
}
