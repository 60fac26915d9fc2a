#include "core/file/package_file_decoder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using tarvesk::core::PackageFileDecoder;

namespace {

struct PakRun
{
    int exitCode;
    QByteArray out;
};

PakRun pak(const QStringList& args)
{
    QProcess process;
    process.start(qEnvironmentVariable("QM_BUILD_DIR") + "/quinmark-pak", args);
    EXPECT_TRUE(process.waitForFinished(30000));
    return {process.exitCode(), process.readAllStandardOutput() + process.readAllStandardError()};
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

class QuinmarkPakTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("QM_BUILD_DIR"))
            GTEST_SKIP() << "QM_BUILD_DIR not set (run through ctest)";
    }
    QTemporaryDir tmp;
};

} // namespace

TEST_F(QuinmarkPakTest, PackListUnpackRoundTrip)
{
    QDir().mkpath(tmp.filePath("data/sub"));
    QFile a(tmp.filePath("data/sub/A.txt"));
    ASSERT_TRUE(a.open(QIODevice::WriteOnly));
    a.write("alpha");
    a.close();

    PakRun r = pak({"pack", tmp.filePath("data"), tmp.filePath("out.pak")});
    ASSERT_EQ(r.exitCode, 0) << r.out.constData();
    r = pak({"ls", tmp.filePath("out.pak")});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains("5  data/sub/a.txt")) << r.out.constData();
    r = pak({"unpack", tmp.filePath("out.pak"), tmp.filePath("x")});
    ASSERT_EQ(r.exitCode, 0) << r.out.constData();
    EXPECT_EQ(readAll(tmp.filePath("x/data/sub/a.txt")), QByteArray("alpha"));
}

TEST_F(QuinmarkPakTest, RefusesNamesThatLeaveTheOutputFolderAndBadInput)
{
    for (const char* name : {"data/../../escape.txt", "/abs.txt", "data//x", "./x"}) {
        SCOPED_TRACE(name);
        PackageFileDecoder evil(tmp.path(), "evil.pak");
        evil.addFile("data/ok.txt", "ok");
        evil.addFile(name, "bad");
        evil.writePackageFile();
        const PakRun r = pak({"unpack", tmp.filePath("evil.pak"), tmp.filePath("out/inner")});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.out.contains("unsafe name")) << r.out.constData();
        EXPECT_FALSE(QFileInfo::exists(tmp.filePath("escape.txt")));
        EXPECT_FALSE(QFileInfo::exists(tmp.filePath("out/inner/data/ok.txt"))); // nothing written at all
    }
    QFile garbage(tmp.filePath("garbage.pak"));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write("not a package");
    garbage.close();
    PakRun r = pak({"ls", tmp.filePath("garbage.pak")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.contains("damaged")) << r.out.constData();
    EXPECT_EQ(pak({"frobnicate"}).exitCode, 2);
}
