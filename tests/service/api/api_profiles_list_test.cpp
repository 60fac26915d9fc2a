#include "core/file/application_data_folder.h"
#include "core/profile/profile_manager.h"
#include "qt_printers.h"
#include "station_fixture.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtEndian>

using namespace tarvesk;
using tarvesk::test::MethodOutcome;

namespace {

const char line3[]
    = R"([{"name": "Line 3", "description": "for line 3", "type": "000120_Corvalt 560_DORVANE_WY",
    "parameters": [{"pid": "startup_behaviour", "value": "Goto Scene 1", "enabled": true}]}])";

class ApiProfilesList : public test::StationFixture
{
protected:
    void SetUp() override
    {
        test::StationFixture::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        core::ApplicationDataFolder::fix(tmp.filePath("app"));
        profiles = QDir(tmp.filePath("app/profiles"));
        ASSERT_TRUE(profiles.mkpath(QStringLiteral(".")));
    }
    void TearDown() override
    {
        core::ProfileManager::instance().clear();
        core::ApplicationDataFolder::release();
        test::StationFixture::TearDown();
    }

    void keepOneProfile()
    {
        core::ProfileManager::instance().SetProfileArray(database.get(),
            QJsonDocument::fromJson(
                R"([{"name": "Kept", "description": "", "type": "000350_Stagebar Wystrel 2CH_DMX"}])")
                .array());
        ASSERT_EQ(core::ProfileManager::instance().count(), 1);
    }
    void write(const QString& name, const QByteArray& bytes)
    {
        profiles.mkpath(QFileInfo(profiles.filePath(name)).path());
        QFile file(profiles.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QDir profiles;
};

// What the compressed form of a profile file holds: a 4-byte big-endian
// length, then a zlib stream.
QByteArray compressedHeader(quint32 length)
{
    QByteArray header(4, '\0');
    qToBigEndian(length, header.data());
    return header;
}

} // namespace

TEST_F(ApiProfilesList, LoadsAFileOfTheProfileFolderAndListsTheStore)
{
    QByteArray padded(line3);
    padded.append(QByteArray(1000000 - padded.size(), ' '));
    write("plain.json", line3);
    write("packed.bin", qCompress(QByteArray(line3)));
    write("line/3.json", line3);
    write("zero.json", QByteArray(line3) + QByteArray("\0garbage", 8));
    write("empty.json", QByteArray());
    write("limit.json", padded);
    write("over.json", padded + ' ');
    // Announces 4 GB once uncompressed: never inflated, read as it is.
    write("bomb.bin", compressedHeader(0xFFFFFFFFu) + QByteArray(64, 'x'));
    const QString outside = tmp.filePath("outside.json");
    QFile(outside).open(QIODevice::WriteOnly);

    const struct
    {
        const char* what;
        QString params;
        int code;
        const char* listed; // the names listed, or the error message after the method's prefix
    } rows[] = {
        {"no path: the store as it is", R"({"api_version": 1})", 0, "Kept"},
        {"an empty path", R"({"path": "", "api_version": 1})", 0, "Kept"},
        {"a path that is no text", R"({"path": 5, "api_version": 1})", 0, "Kept"},
        {"a plain file", R"({"path": "plain.json", "api_version": 1})", 0, "Line 3"},
        {"a compressed file", R"({"path": "packed.bin", "api_version": 1})", 0, "Line 3"},
        {"a file in a subfolder", R"({"path": "line/3.json", "api_version": 1})", 0, "Line 3"},
        {"text up to a zero byte", R"({"path": "zero.json", "api_version": 1})", 0, "Line 3"},
        {"1,000,000 bytes", R"({"path": "limit.json", "api_version": 1})", 0, "Line 3"},
        {"an empty file loads nothing", R"({"path": "empty.json", "api_version": 1})", 0, ""},
        {"a missing file", R"({"path": "missing.json", "api_version": 1})", -32603,
            "specified file does not exist: missing.json"},
        {"1,000,001 bytes", R"({"path": "over.json", "api_version": 1})", -32603,
            "File too big to be parsed to a json structure."},
        {"a length header beyond reason", R"({"path": "bomb.bin", "api_version": 1})", -32700,
            "Error executing method profile.load: Invalid JSON file content."},
        {"an absolute path outside", QStringLiteral(R"({"path": "%1", "api_version": 1})").arg(outside),
            -32602, "Path '"},
        {"an absolute path to nothing", R"({"path": "/no/such/profiles.json", "api_version": 1})", -32602,
            "Path '"},
        {"climbing out", R"({"path": "../outside.json", "api_version": 1})", -32602, "Path '"},
        {"climbing out from a subfolder", R"({"path": "line/../../outside.json", "api_version": 1})", -32602,
            "Path '"},
        {"without api_version", R"({"path": "plain.json"})", -32602,
            "Parameter 'api_version' required for method uut.profiles.list"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        keepOneProfile();
        const MethodOutcome outcome
            = callWith(QStringLiteral("uut.profiles.list"), ",\"params\":" + row.params);
        EXPECT_EQ(outcome.code, row.code) << outcome.message.toStdString();
        if (row.code != 0) {
            EXPECT_TRUE(outcome.message.startsWith(
                QStringLiteral("Error executing method uut.profiles.list: ") + QLatin1String(row.listed)))
                << outcome.message.toStdString();
            // A refused file leaves the store as it was.
            EXPECT_EQ(core::ProfileManager::instance().count(), 1);
            continue;
        }
        QStringList names;
        for (const QJsonValue& entry : outcome.result.toArray()) {
            names << entry.toObject().value("name").toString();
            EXPECT_EQ(entry.toObject().size(), 3);
        }
        EXPECT_EQ(names.join(','), QLatin1String(row.listed));
    }
}

// The profile-type key is the product name within the type's name.
TEST_F(ApiProfilesList, EntriesCarryNameDescriptionAndProductOfTheType)
{
    write("two.json", R"([{"name": "A", "description": "first", "type": "000120_Corvalt 560_DORVANE_WY"},
        {"name": "B", "description": "", "type": "000350_Stagebar Wystrel 2CH_DMX"}])");
    const MethodOutcome outcome
        = call(QStringLiteral("uut.profiles.list"), {{"path", "two.json"}, {"api_version", 1}});
    ASSERT_EQ(outcome.code, 0) << outcome.message.toStdString();
    EXPECT_EQ(outcome.result.toArray(),
        QJsonArray({QJsonObject {{"name", "A"}, {"description", "first"}, {"profile_type", "Corvalt 560"}},
            QJsonObject {{"name", "B"}, {"description", ""}, {"profile_type", "Stagebar Wystrel 2CH"}}}));
}
