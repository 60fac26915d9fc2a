#include "core/core_errors.h"
#include "core/database/device_info_database.h"
#include "core/file/package_file_decoder.h"
#include "core/parameters/builtin_parameter_table.h"
#include "core/parameters/parameter.h"
#include "core/profile/profile_type.h"
#include "core/profile/profile_type_parameters.h"
#include "core/script/script_engine.h"
#include "log_capture.h"
#include "service/database/data1_database.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <thread>

using tarvesk::core::PackageFileDecoder;
using tarvesk::service::Data1Database;
using tarvesk::test::LogCapture;

namespace {

QString buildDir()
{
    return qEnvironmentVariable("QM_BUILD_DIR");
}

QString sourceDir()
{
    return qEnvironmentVariable("QM_SOURCE_DIR");
}

bool copyTree(const QString& from, const QString& to)
{
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + "/" + QDir(from).relativeFilePath(path);
        QDir().mkpath(QFileInfo(target).path());
        if (!QFile::copy(path, target))
            return false;
    }
    return true;
}

// The sample package, loaded so that tests can build broken variants of it.
QMap<QString, QByteArray> samplePackage()
{
    PackageFileDecoder decoder(buildDir(), "data.1");
    decoder.openAndDecodeFile();
    return decoder.filesDataMap();
}

class Data1DatabaseTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (buildDir().isEmpty())
            GTEST_SKIP() << "QM_BUILD_DIR not set (run through ctest)";
        database.setPackageFolder(tmp.path());
        database.setFirmwareCacheFolder(tmp.filePath("cache"));
    }

    void writePackage(const QMap<QString, QByteArray>& files)
    {
        QFile file(tmp.filePath("data.1"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(PackageFileDecoder::encodePackage(files));
    }

    void useSamplePackage()
    {
        QFile::remove(tmp.filePath("data.1"));
        ASSERT_TRUE(QFile::copy(buildDir() + "/data.1", tmp.filePath("data.1")));
    }

    QStringList parameterIds(const QString& profileTypeName)
    {
        QStringList ids;
        tarvesk::core::ProfileType* type = database.profileType(profileTypeName);
        if (!type)
            return {"<no profile type>"};
        for (auto* p : type->getParameters()->getList())
            ids << p->getIdentifier();
        return ids;
    }

    QTemporaryDir tmp;
    Data1Database database;
};

} // namespace

TEST_F(Data1DatabaseTest, StartsWithTheSamplePackage)
{
    useSamplePackage();
    LogCapture log;
    ASSERT_TRUE(database.initialize(false));
    EXPECT_EQ(log.warnings(), QStringList()); // the sample is clean: a warning at start-up is a fault
    EXPECT_EQ(database.lookupTables()->keys(), QStringList({"DALI"}));

    const QStringList names = database.profileTypeNames();
    QStringList sorted = names;
    std::sort(sorted.begin(), sorted.end(),
        [](const QString& a, const QString& b) { return a.toUtf8() < b.toUtf8(); });
    EXPECT_EQ(names, sorted);
    // One profile type per product and interface among DORVANE_WY, DORVANE, DMX, DMX_WY, SPI, Bootloader.
    for (const char* name : {"000110_K3408 Dorvane 40W_DORVANE", "000110_K3408 Dorvane 40W_DORVANE_WY",
             "000120_Corvalt 560_DORVANE_WY", "000120_Corvalt 560_DMX", "000350_Stagebar Wystrel 2CH_DMX_WY",
             "000350_Stagebar Wystrel 2CH_DMX", "010001_Brisquel Logic Module_SPI",
             "0000fe_Ostrevanne Bootloader_Bootloader"})
        EXPECT_TRUE(names.contains(name)) << name;
    EXPECT_FALSE(names.contains("000230_Lumeris DALI 25W_DALI")); // DALI alone gives no profile type
    // Each version record of a product with its own name gets its own profile type.
    EXPECT_TRUE(names.contains("000231_Lumeris D4i 75W_DMX"));
    EXPECT_TRUE(names.contains("000231_Lumeris D4i 75W v2_DMX"));

    auto products = database.products();
    EXPECT_EQ(products->getOemRecord(0)->getName(), "Tarvesk");
    EXPECT_EQ(products->getProductRecord(0, 0, 43, 12)->getMinimumVersion(), 0);
    EXPECT_EQ(products->getProductRecord(0, 0, 43, 20)->getMinimumVersion(), 13);
    EXPECT_EQ(products->getGroupSorting().front(), "Dorvane drivers");

    // Every scripted feature of the sample runs cleanly; only the D4i features,
    // whose catalogue is not filled yet, fail.
    LogCapture features;
    for (const QString& name : names)
        ASSERT_TRUE(database.profileType(name)) << name.toStdString();
    for (const auto& entry : features.entries()) {
        const bool d4i = entry.message.contains("d4i_part_") || entry.message.contains("pid dali_25");
        if (entry.type == QtCriticalMsg || entry.message.startsWith("Failed to load feature")) {
            EXPECT_TRUE(d4i) << entry.message.toStdString();
        }
    }
}

TEST_F(Data1DatabaseTest, WarnsAboutProductNamesThatMakeAmbiguousProfileNames)
{
    QMap<QString, QByteArray> files = samplePackage();
    QByteArray& stagebar = files["data/product_database/products_stagebar_dmx.json"];
    stagebar.replace("Stagebar DMX 4CH", "Stagebar_DMX");
    // Two version records of one product under one name make one profile type name.
    QByteArray& d4i = files["data/product_database/products_lumeris_d4i.json"];
    ASSERT_TRUE(d4i.contains("\"Lumeris D4i 75W v2\""));
    d4i.replace("\"Lumeris D4i 75W v2\"", "\"Lumeris D4i 75W\"");
    writePackage(files);
    LogCapture log;
    ASSERT_TRUE(database.initialize(false));
    EXPECT_EQ(log.count("Product name \"Stagebar_DMX\" contains \"_\""), 1);
    EXPECT_TRUE(database.profileTypeNames().contains("000340_Stagebar_DMX_DMX"));
    EXPECT_EQ(log.count("Duplicate profile type name 000231_Lumeris D4i 75W_DMX"), 1);
    EXPECT_EQ(database.profileTypeNames().filter("000231_").size(), 1);
}

TEST_F(Data1DatabaseTest, ProfileTypesGetTheirFeatureParametersOnceOnFirstUse)
{
    useSamplePackage();
    ASSERT_TRUE(database.initialize(false));
    const QString name = "000110_K3408 Dorvane 40W_DORVANE";
    LogCapture log;
    tarvesk::core::ProfileType* type = database.profileType(name);
    ASSERT_TRUE(type);
    // k3408.dorvane: its own feature, then k3408.base, then dali.basic (from another group file).
    EXPECT_EQ(parameterIds(name),
        QStringList({"dali_max_level_percent", "dali_min_level_percent", "dimming_curve", "dorvane_address",
            "output_current"}));
    auto* current = dynamic_cast<tarvesk::core::Parameter*>(
        type->getParameters()->getParameterInterface("output_current"));
    ASSERT_TRUE(current);
    EXPECT_EQ(current->getMaxValue().toInt(), 1050); // from the product's "max_current"
    EXPECT_TRUE(current->getScriptSetCallback().isCallable());
    EXPECT_EQ(log.count("initializing profile type"), 1);

    const auto before = type->getParameters()->getList();
    EXPECT_EQ(database.profileType(name), type);
    EXPECT_EQ(type->getParameters()->getList(), before); // same objects: no second run
    EXPECT_EQ(log.count("initializing profile type"), 1);

    EXPECT_EQ(database.profileType("nope"), nullptr);
    EXPECT_EQ(log.count("Profile type nope not found in DB. returning a nullptr @"), 1);
}

TEST_F(Data1DatabaseTest, FeaturesLoadedOnARequestThreadBelongToTheSchema)
{
    useSamplePackage();
    ASSERT_TRUE(database.initialize(false));
    LogCapture log;
    tarvesk::core::ProfileType* type = nullptr;
    std::thread request([&] { type = database.profileType("000120_Corvalt 560_DMX"); });
    request.join();
    ASSERT_TRUE(type);
    const auto schema = type->getParameters();
    ASSERT_FALSE(schema->getList().empty());
    for (auto* p : schema->getList()) {
        EXPECT_EQ(p->parent(), schema.get()) << p->getIdentifier().toStdString();
        EXPECT_EQ(p->thread(), schema->thread());
    }
    EXPECT_EQ(log.count("Cannot set parent"), 0);
    EXPECT_EQ(database.scriptEngine()->isJavaScriptEngineInitialized(), true);
}

TEST_F(Data1DatabaseTest, D4iFeaturesComeFromTheCatalogueBesideTheScriptedOnes)
{
    useSamplePackage();
    ASSERT_TRUE(database.initialize(false));
    LogCapture log;
    const QStringList ids = parameterIds("000231_Lumeris D4i 75W_DMX");
    EXPECT_TRUE(ids.contains("dimming_curve"));
    EXPECT_TRUE(ids.contains("dali_min_level_percent"));
    // The group's five D4i features (banks 201, 1, 202, 205, 206): 3 + 15 + 4 + 19 + 17 records.
    EXPECT_EQ(ids.filter(QRegularExpression(QStringLiteral("^dev0_dali_25[0-3]_"))).size(), 58);
    EXPECT_TRUE(ids.contains("dev0_dali_251_luminaire_identification_number"));
    EXPECT_FALSE(ids.contains("dev0_dali_252_apparent_energy")); // bank 203 is not among them
    EXPECT_EQ(log.count("Failed to load feature: d4i_part_"), 0);
    EXPECT_EQ(log.count("does not exist."), 0);
}

TEST_F(Data1DatabaseTest, PacksADataFolderOnceAndKeepsItWhenPackingFails)
{
    // Without package or folder there is nothing to read.
    {
        LogCapture log;
        EXPECT_FALSE(database.initialize(false));
        EXPECT_EQ(log.count("Data dir does not exist."), 1);
        EXPECT_EQ(log.count("Failed to read data1 package"), 1);
    }

    ASSERT_TRUE(copyTree(sourceDir() + "/data/data", tmp.filePath("data")));
    {
        // A package that cannot be written in full: the folder stays, no package is left.
        signal(SIGXFSZ, SIG_IGN);
        rlimit saved {};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit tiny = saved;
        tiny.rlim_cur = 2000;
        setrlimit(RLIMIT_FSIZE, &tiny);
        Data1Database failing;
        failing.setPackageFolder(tmp.path());
        LogCapture log;
        const bool ok = failing.initialize(false);
        setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_FALSE(ok);
        EXPECT_EQ(log.count("Could not pack the data dir, it is kept"), 1);
        EXPECT_TRUE(QFileInfo::exists(tmp.filePath("data/product_database/functions.js")));
        EXPECT_FALSE(QFileInfo::exists(tmp.filePath("data.1")));
    }

    ASSERT_TRUE(database.initialize(false));
    EXPECT_FALSE(QFileInfo::exists(tmp.filePath("data")));
    PackageFileDecoder packed(tmp.path(), "data.1");
    packed.openAndDecodeFile();
    EXPECT_EQ(packed.filesDataMap(), samplePackage()); // the same names and bytes as the build's package

    Data1Database second;
    second.setPackageFolder(tmp.path());
    EXPECT_TRUE(second.initialize(false));
    EXPECT_EQ(second.profileTypeNames(), database.profileTypeNames());
}

// A "data" folder that is not a data package (a build tree's own "data"
// folder, one with a start-up file missing) is neither packed nor removed.
TEST_F(Data1DatabaseTest, AFolderThatIsNotADataPackageIsLeftAlone)
{
    struct Case
    {
        const char* what;
        std::function<void(const QString& data)> make;
        const char* missing;
    };
    const auto writeFile = [](const QString& path, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    };
    const Case cases[] = {
        {"build tree folder",
            [&](const QString& data) {
                writeFile(data + "/Makefile", "all:\n");
                writeFile(data + "/cmake_install.cmake", "# install\n");
                writeFile(data + "/CMakeFiles/sample_packages.dir/build.make", "# rules\n");
            },
            "data/product_database/oem.json"},
        {"DALI command table missing",
            [&](const QString& data) {
                ASSERT_TRUE(copyTree(sourceDir() + "/data/data", data));
                ASSERT_TRUE(QFile::remove(data + "/protocol/dali_commands.json"));
            },
            "data/protocol/dali_commands.json"},
        {"a product file missing",
            [&](const QString& data) {
                ASSERT_TRUE(copyTree(sourceDir() + "/data/data", data));
                ASSERT_TRUE(QFile::remove(data + "/product_database/products_wystrel_dmx.json"));
            },
            "data/product_database/products_wystrel_dmx.json"},
        {"a required file that is a folder",
            [&](const QString& data) {
                ASSERT_TRUE(copyTree(sourceDir() + "/data/data", data));
                ASSERT_TRUE(QFile::remove(data + "/product_database/group_sorting.json"));
                ASSERT_TRUE(QDir().mkpath(data + "/product_database/group_sorting.json"));
            },
            "data/product_database/group_sorting.json"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir folder;
        const QString data = folder.filePath("data");
        c.make(data);
        QStringList before;
        for (QDirIterator it(data, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
             it.hasNext();)
            before << it.next();
        before.sort();

        Data1Database start;
        start.setPackageFolder(folder.path());
        LogCapture log;
        EXPECT_FALSE(start.initialize(false));
        EXPECT_EQ(log.count("/data is not a data package, it is left as it is: " + QString(c.missing)
                      + " is missing"),
            1)
            << log.messages().join("\n").toStdString();
        EXPECT_EQ(log.count("Failed to read data1 package"), 1);
        EXPECT_EQ(log.count("Removing data dir."), 0);
        EXPECT_FALSE(QFileInfo::exists(folder.filePath("data.1")));

        QStringList after;
        for (QDirIterator it(data, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
             it.hasNext();)
            after << it.next();
        after.sort();
        EXPECT_EQ(after, before);
    }
}

TEST_F(Data1DatabaseTest, BrokenPackagesFailStartUpWithAReason)
{
    struct Case
    {
        const char* what;
        std::function<void(QMap<QString, QByteArray>&)> damage;
        const char* logged;
    };
    const Case cases[] = {
        {"product file missing",
            [](auto& files) { files.remove("data/product_database/products_k3408.json"); },
            "File not found in package: data/product_database/products_k3408.json"},
        {"product file not JSON",
            [](auto& files) { files["data/product_database/products_k3408.json"] = "{"; },
            "Could not load device info database.[products_k3408] Failed to parse JSON:"},
        {"OEM id out of range",
            [](auto& files) {
                files["data/product_database/oem.json"] = R"({"oem": [{"oem_id": 256, "name": "X"}]})";
            },
            "Value of oem_id in JSON oem object is out of range 0..255: 256"},
        {"include cycle",
            [](auto& files) {
                files["data/product_database/groups_dmx.json"]
                    = R"({"groups": [{"dot_name": "dmx.basic", "includes": ["dmx.rdm"]},
                                     {"dot_name": "dmx.rdm", "includes": ["dmx.basic"]}]})";
            },
            "Include cycle in group dmx.basic: dmx.basic -> dmx.rdm -> dmx.basic"},
        {"DALI command table broken", [](auto& files) { files["data/protocol/dali_commands.json"] = "[1"; },
            "Error while parsing JSON data for DALI lookup table"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QMap<QString, QByteArray> files = samplePackage();
        c.damage(files);
        writePackage(files);
        Data1Database broken;
        broken.setPackageFolder(tmp.path());
        LogCapture log;
        EXPECT_FALSE(broken.initialize(false));
        EXPECT_EQ(log.count(c.logged), 1) << log.messages().join("\n").toStdString();
    }

    QFile damaged(tmp.filePath("data.1"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("certainly not a package");
    damaged.close();
    LogCapture log;
    EXPECT_FALSE(database.initialize(false));
    EXPECT_EQ(log.count("Package file is damaged"), 1);
}

TEST_F(Data1DatabaseTest, ScriptLibraryFaultsOnlyCostTheScriptedFeatures)
{
    QMap<QString, QByteArray> files = samplePackage();
    files["data/product_database/functions.js"] = "var notAFunction = 1;";
    writePackage(files);
    ASSERT_TRUE(database.initialize(false));
    LogCapture log;
    EXPECT_EQ(parameterIds("000340_Stagebar DMX 4CH_DMX"), QStringList());
    EXPECT_EQ(log.count("\"enableFeature\" function in \"functions.js\" is not callable"), 3);
}

TEST_F(Data1DatabaseTest, FirmwareCacheIsReplacedOnlyByAGoodPackage)
{
    useSamplePackage();
    ASSERT_TRUE(database.initialize(false));
    EXPECT_TRUE(database.firmwareCacheFileNames().isEmpty());
    QDir().mkpath(tmp.filePath("cache"));
    const QString stored = tmp.filePath("cache/fw.pak");

    ASSERT_TRUE(QFile::copy(buildDir() + "/sample/fw.pak", stored));
    database.handleFileDownloaded("http://host:8013/fw.pak", true, QString());
    const QStringList names = database.firmwareCacheFileNames();
    EXPECT_TRUE(names.contains("data/firmware_mods/i001v00203s001.hex")) << names.join(",").toStdString();
    EXPECT_EQ(database.firmwareCacheData().size(), names.size());
    EXPECT_TRUE(
        database.firmwareCacheData().value("data/firmware_mods/i003v00105s001.hex").startsWith("3000"));
    EXPECT_FALSE(QFileInfo::exists(stored));

    LogCapture log;
    database.handleFileDownloaded(
        "http://host:8013/fw.pak", false, "Remote Package file could not be downloaded");
    EXPECT_EQ(log.count("error: download failed: Remote Package file could not be downloaded (url: "
                        "http://host:8013/fw.pak)"),
        1);
    EXPECT_EQ(database.firmwareCacheFileNames(), names);

    for (const QByteArray& bad : {QByteArray("garbage, not a package"), QByteArray()}) {
        QFile file(stored);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bad);
        file.close();
        database.handleFileDownloaded("http://host:8013/fw.pak", true, QString());
        EXPECT_EQ(database.firmwareCacheFileNames(), names);
        EXPECT_FALSE(QFileInfo::exists(stored));
    }
    database.handleFileDownloaded("http://host:8013/fw.pak", true, QString()); // no file at all
    EXPECT_EQ(database.firmwareCacheFileNames(), names);
}

// The sample Wystrel and Corvalt drivers carry the built-in driver parameters,
// each made by the factory with its own class.
TEST_F(Data1DatabaseTest, SampleDriversCarryTheBuiltInParameters)
{
    useSamplePackage();
    ASSERT_TRUE(database.initialize(false));
    for (const char* name : {"000350_Stagebar Wystrel 2CH_DMX_WY", "000120_Corvalt 560_DORVANE_WY"}) {
        tarvesk::core::ProfileType* type = database.profileType(name);
        ASSERT_TRUE(type) << name;
        int builtins = 0;
        for (const tarvesk::core::BuiltinParameter& entry : tarvesk::core::builtinParameters()) {
            tarvesk::core::IParameter* p
                = type->getParameters()->getParameterInterface(QString::fromLatin1(entry.identifier));
            ASSERT_TRUE(p) << name << " " << entry.identifier;
            EXPECT_NE(QString::fromLatin1(typeid(*p).name()).indexOf(QLatin1String(entry.className)), -1)
                << entry.identifier;
            ++builtins;
        }
        EXPECT_EQ(builtins, 36);
    }
    EXPECT_FALSE(parameterIds("000110_K3408 Dorvane 40W_DORVANE").contains("core_version_string"));
}
