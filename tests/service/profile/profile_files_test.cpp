#include "file_size_limit.h"
#include "profile_methods_fixture.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_create.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_list.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_load.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_save.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>

using namespace tarvesk;
using namespace tarvesk::service;

namespace {

// The compressed layout read with zlib alone: 4-byte big-endian length, then
// one zlib stream of exactly that many bytes.
QByteArray inflateIndependently(const QByteArray& file)
{
    if (file.size() < 4)
        return "<too short>";
    const uLong length = (uLong(quint8(file[0])) << 24) | (uLong(quint8(file[1])) << 16)
        | (uLong(quint8(file[2])) << 8) | uLong(quint8(file[3]));
    QByteArray out(int(length), '\0');
    uLongf size = length;
    if (uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
            reinterpret_cast<const Bytef*>(file.constData() + 4), uLong(file.size() - 4))
            != Z_OK
        || size != length)
        return "<not zlib>";
    return out;
}

class ProfileFiles : public test::ProfileMethods
{
protected:
    void SetUp() override
    {
        test::ProfileMethods::SetUp();
        folder = tmp.filePath("app/profiles");
        ASSERT_TRUE(QDir().mkpath(folder));
        for (const char* name : {"Night", "Day"}) {
            ASSERT_EQ(run(create,
                          QStringLiteral(
                              R"({"profile_name": "%1", "profile_description": "", "profile_type": "%2"})")
                              .arg(QLatin1String(name), QLatin1String(typeName)))
                          .code,
                0);
        }
        // What a client keeps: the listed profiles as one JSON text.
        storeText = json(run(list, "{}").result);
    }

    static QString quoted(const QString& text)
    {
        return QString::fromUtf8(QJsonDocument(QJsonArray {text}).toJson(QJsonDocument::Compact))
            .mid(1)
            .chopped(1);
    }
    test::MethodOutcome save(const QString& path, const QString& text, bool compressed = false)
    {
        return run(saver,
            QStringLiteral(R"({"path": %1, "profile_data": %2, "encrypted": %3})")
                .arg(quoted(path), quoted(text), compressed ? "true" : "false"));
    }
    test::MethodOutcome load(const QString& path, bool compressed = false)
    {
        return run(loader,
            QStringLiteral(R"({"path": %1, "encrypted": %2})")
                .arg(quoted(path), compressed ? "true" : "false"));
    }
    QString listed() { return json(run(list, "{}").result); }
    static QByteArray contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    static void put(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    void emptyStore() { core::ProfileManager::instance().SetProfileArray(nullptr, QJsonArray()); }

    RpcProfileCreate create;
    RpcProfileList list;
    RpcProfileSave saver;
    RpcProfileLoad loader;
    QString folder;
    QString storeText;
};

TEST_F(ProfileFiles, SavedPlainOrCompressedAndLoadedAgainGivesTheSameStore)
{
    const struct
    {
        const char* path;
        bool compressed;
    } forms[] = {{"lines/a/plain.json", false}, {"packed.qz", true}};
    for (const auto& form : forms) {
        SCOPED_TRACE(form.path);
        const test::MethodOutcome saved = save(form.path, storeText, form.compressed);
        ASSERT_EQ(saved.code, 0) << saved.message.toStdString();
        const QByteArray file = contents(folder + "/" + form.path);
        EXPECT_EQ(form.compressed ? inflateIndependently(file) : file, storeText.toUtf8());

        emptyStore();
        const test::MethodOutcome loaded = load(form.path, form.compressed);
        ASSERT_EQ(loaded.code, 0) << loaded.message.toStdString();
        EXPECT_EQ(loaded.result.toArray().size(), 2);
        EXPECT_EQ(listed(), storeText);
    }

    // The form is the client's to say.
    EXPECT_EQ(load("packed.qz", false).code, -32700);
    const test::MethodOutcome notPacked = load("lines/a/plain.json", true);
    EXPECT_EQ(notPacked.code, -32603);
    EXPECT_TRUE(
        notPacked.message.contains("File could not be decrypted, possibly caused by the fact that file "
                                   "data is not encrypted in file lines/a/plain.json"))
        << notPacked.message.toStdString();

    // Without a path: profiles.json beside the profile folder.
    ASSERT_EQ(run(saver, QStringLiteral(R"({"profile_data": %1})").arg(quoted(storeText))).code, 0);
    EXPECT_EQ(contents(tmp.filePath("app/profiles.json")), storeText.toUtf8());
    emptyStore();
    ASSERT_EQ(load(tmp.filePath("app/profiles.json")).code, 0);
    EXPECT_EQ(listed(), storeText);

    // Line ends of any platform; one object stands for an array of one.
    QByteArray crlf = storeText.toUtf8();
    crlf.replace(",", ",\r\n");
    put(folder + "/crlf.json", crlf);
    emptyStore();
    ASSERT_EQ(load("crlf.json").code, 0);
    EXPECT_EQ(listed(), storeText);
    const QString one = json(QJsonDocument::fromJson(storeText.toUtf8()).array().first());
    ASSERT_EQ(save("one.json", one).code, 0);
    EXPECT_EQ(contents(folder + "/one.json"), one.toUtf8());
    EXPECT_EQ(load("one.json").result.toArray().size(), 1);
    ASSERT_EQ(save("none.json", "[]").code, 0);
    EXPECT_EQ(load("none.json").result.toArray(), QJsonArray());
    EXPECT_EQ(core::ProfileManager::instance().count(), 0);
}

// Any web page can call the service: paths stay in the profile folder.
TEST_F(ProfileFiles, PathsOutsideTheProfileFolderAreRefused)
{
    const QString outside = tmp.filePath("outside");
    ASSERT_TRUE(QDir().mkpath(outside));
    put(outside + "/theirs.json", storeText.toUtf8());
    ASSERT_TRUE(QFile::link(outside + "/theirs.json", folder + "/link.json"));
    ASSERT_TRUE(QDir().mkpath(folder + "/dir.json"));
    ASSERT_EQ(mkfifo(QFile::encodeName(folder + "/fifo.json").constData(), 0600), 0);

    const char* const refused[] = {"/etc/passwd", "../profiles.json", "a/../../x.json", "link.json",
        "dir.json", "fifo.json", "made/", "dir.json/"};
    for (const char* path : refused) {
        SCOPED_TRACE(path);
        for (const test::MethodOutcome& outcome : {load(path), save(path, "[]")}) {
            EXPECT_EQ(outcome.code, -32602);
            EXPECT_TRUE(outcome.message.contains(folder)) << outcome.message.toStdString();
        }
        EXPECT_EQ(core::ProfileManager::instance().count(), 2);
    }
    EXPECT_FALSE(QFileInfo::exists(folder + "/made"));
    const test::MethodOutcome absolute = save(outside + "/new.json", "[]");
    EXPECT_EQ(absolute.code, -32602);
    EXPECT_FALSE(QFileInfo::exists(outside + "/new.json"));
    EXPECT_EQ(contents(outside + "/theirs.json"), storeText.toUtf8());

    // Inside, by either form of the path.
    EXPECT_EQ(save(folder + "/in.json", storeText).code, 0);
    EXPECT_EQ(load("in.json").code, 0);
    const test::MethodOutcome missing = load("nothing.json");
    EXPECT_EQ(missing.code, -32603);
    EXPECT_TRUE(missing.message.contains("File cannot be opened: nothing.json"))
        << missing.message.toStdString();
}

TEST_F(ProfileFiles, ReadsOnlyFilesOfAtMostAMillionBytes)
{
    QByteArray text = storeText.toUtf8();
    put(folder + "/limit.json", text + QByteArray(1000000 - text.size(), ' '));
    put(folder + "/over.json", text + QByteArray(1000001 - text.size(), ' '));
    put(folder + "/empty.json", QByteArray());
    // A small file that announces 32 MiB and one byte once uncompressed.
    QByteArray bomb = qCompress(QByteArray(64, ' '));
    bomb[0] = 0x02, bomb[1] = 0x00, bomb[2] = 0x00, bomb[3] = 0x01;
    put(folder + "/bomb.qz", bomb);

    emptyStore();
    EXPECT_EQ(load("limit.json").code, 0);
    EXPECT_EQ(core::ProfileManager::instance().count(), 2);
    const struct
    {
        const char* path;
        bool compressed;
        const char* error;
    } refused[] = {
        {"over.json", false,
            "File too big to be parsed to a json structure. Consider splitting files and keep size to a max "
            "of 1.0MB"},
        {"empty.json", false, "No data could be read from file empty.json"},
        {"bomb.qz", true,
            "in file bomb.qz (it announces 33554433 bytes once uncompressed, more than the limit of "
            "33554432)"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.path);
        const test::MethodOutcome outcome = load(r.path, r.compressed);
        EXPECT_EQ(outcome.code, -32603);
        EXPECT_TRUE(outcome.message.contains(r.error)) << outcome.message.toStdString();
        EXPECT_EQ(core::ProfileManager::instance().count(), 2);
    }
}

// The store changes only once the file holds the new profiles.
TEST_F(ProfileFiles, AFailedSaveLeavesTheStoreAndTheFileAsTheyWere)
{
    ASSERT_EQ(save("kept.json", storeText).code, 0);
    const QString one = json(QJsonDocument::fromJson(storeText.toUtf8()).array().first());
    // The disk is full from the first byte, or fills up part-way: either way
    // the client learns what the system reported.
    const QString full = QStringLiteral("Unable to write data to file: kept.json (%1)")
                             .arg(QString::fromLocal8Bit(std::strerror(EFBIG)));
    for (const rlim_t room : {rlim_t(0), rlim_t(16)}) {
        SCOPED_TRACE(room);
        {
            test::FileSizeLimit limit(room);
            const test::MethodOutcome failed = save("kept.json", one);
            EXPECT_EQ(failed.code, -32603);
            EXPECT_TRUE(failed.message.contains(full)) << failed.message.toStdString();
        }
        EXPECT_EQ(contents(folder + "/kept.json"), storeText.toUtf8());
        EXPECT_EQ(listed(), storeText);
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList({"kept.json"}));
    }

    // A text that is no profile array changes nothing either.
    for (const char* text : {"{", "42", "\"x\""}) {
        EXPECT_EQ(save("kept.json", text).code, -32700);
        EXPECT_EQ(run(loader, QStringLiteral(R"({"profile_data": %1})").arg(quoted(text))).code, -32700);
    }
    EXPECT_EQ(run(saver, R"({"profile_data": []})").code, -32602);
    EXPECT_EQ(contents(folder + "/kept.json"), storeText.toUtf8());
    EXPECT_EQ(listed(), storeText);

    const test::MethodOutcome both = run(loader, R"({"profile_data": "[]", "path": "kept.json"})");
    EXPECT_TRUE(both.message.contains("Only one of two provided parameters ('profile_data' or 'path') can be "
                                      "provided for method 'profile.load'"));
    const test::MethodOutcome neither = run(loader, "{}");
    EXPECT_TRUE(neither.message.contains("At least one of two parameters ('profile_data' or 'path') must be "
                                         "provided for method 'profile.load'"));
}

// Files of earlier versions: the reply shows today's names, the store keeps
// the parameters as the file has them.
TEST_F(ProfileFiles, LoadRenamesTheParametersOfTheReplyOnly)
{
    const QString text = QStringLiteral(R"([{"name": "Old", "type": "%1", "parameters": [
        {"pid": "light_shaping_active", "display_name": "LightShape active", "value": 1},
        {"pid": "current_cs2", "display_name": "Current 2", "group": "Output", "value": 700}]}])")
                             .arg(typeName);
    const test::MethodOutcome loaded
        = run(loader, QStringLiteral(R"({"profile_data": %1})").arg(quoted(text)));
    ASSERT_EQ(loaded.code, 0) << loaded.message.toStdString();
    QStringList names;
    for (const QJsonValue& p : loaded.result.toArray().first().toObject().value("parameters").toArray())
        names << p.toObject().value("display_name").toString();
    EXPECT_EQ(names,
        QStringList({"Active", "Current 2", "LED current output 2", "Version", "Default forward voltages"}));
    EXPECT_EQ(core::ProfileManager::GetProfileArray(), QJsonDocument::fromJson(text.toUtf8()).array());
    EXPECT_EQ(core::ProfileManager::instance().count(), 1);
}

// The renaming, case by case: table of old names, the additions for
// lightshape profiles, and what suppresses them.
TEST(ProfileRenaming, BringsEarlierParameterListsUpToDate)
{
    const auto p = [](const char* pid, const char* name) {
        QJsonObject o;
        if (pid)
            o.insert("pid", pid);
        if (name)
            o.insert("display_name", name);
        return QJsonValue(o);
    };
    const QJsonObject version {{"pid", "light_shaping_version"}, {"display_name", "Version"},
        {"parameter_type", "enum"}, {"group", "LightShape"}, {"access_level", "user_basic"},
        {"enum_options", QJsonArray {"1.0", "1.1"}}, {"value", "1.0"}};
    const QJsonObject voltages {{"pid", "light_shaping_default_forward_voltages"},
        {"display_name", "Default forward voltages"}, {"parameter_type", "bool"}, {"group", "LightShape"},
        {"access_level", "user_basic"}, {"value", true}};
    QJsonObject current {
        {"pid", "current_cs12"}, {"display_name", "Current"}, {"group", "Out"}, {"value", 700}};
    QJsonObject converted = current;
    converted["pid"] = "light_shaping_led_output_2";
    converted["display_name"] = "LED current output 2";
    converted["group"] = "LightShape";
    const QJsonValue active = p("light_shaping_active", "Active");

    const struct
    {
        const char* what;
        QJsonArray in;
        QJsonArray out;
    } cases[] = {
        {"empty", {}, {}},
        {"every old name, nothing added without light shaping",
            {p("a", "LightShape CCT Balance Curve"), p("b", "LightShape Forward Voltage 1"),
                p("c", "LightShape Forward Voltage 2"), p("d", "LightShape active"),
                p("e", "LightShape control strategy"), p("f", "LightShape luminous flux optimization method"),
                p("g", "LightShape luminous flux output 1"), p("h", "LightShape luminous flux output 2"),
                p("i", "LightShape maximum CCT"), p("j", "LightShape maximum luminous flux"),
                p("k", "LightShape minimum CCT"), p("l", "LightShape nominal CCT output 1"),
                p("m", "LightShape nominal CCT output 2"), p("n", "LightShape settings"),
                p("o", "LightShape DT8"), p("p", "lightshape settings"), current},
            {p("a", "CCT balance curve"), p("b", "Forward voltage 1"), p("c", "Forward voltage 2"),
                p("d", "Active"), p("e", "Control strategy"), p("f", "Lf optimization"), p("g", "LED LOP 1"),
                p("h", "LED LOP 2"), p("i", "Maximum path CCT"), p("j", "Target combined LOP"),
                p("k", "Minimum path CCT"), p("l", "CCT output 1"), p("m", "CCT output 2"),
                p("n", "Curve data"), p("o", "DT8 compatible"), p("p", "lightshape settings"), current}},
        {"light shaping gains the missing ones", {active, current},
            {active, current, converted, version, voltages}},
        {"present ones are not added again",
            {p("light_shaping_version", "V"), active, p("light_shaping_default_forward_voltages", "D")},
            {p("light_shaping_version", "V"), active, p("light_shaping_default_forward_voltages", "D")}},
        {"an output parameter of that name suppresses the copy",
            {active, current, p("light_shaping_led_output_2", "LED current output 2")},
            {active, current, p("light_shaping_led_output_2", "LED current output 2"), version, voltages}},
        {"objects without keys, and elements that are none", {QJsonValue(3), p(nullptr, nullptr)},
            {QJsonObject(), QJsonObject()}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(RpcProfileLoad::asdjustParamsForBackwardsCompatibility(c.in), c.out);
    }
}

} // namespace
