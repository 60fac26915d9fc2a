#include "core/firmware.h"
#include "core/parameters/datastore/data_store.h"
#include "core/parameters/parameter.h"
#include "log_capture.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>

using namespace tarvesk::core;
using tarvesk::test::LogCapture;

namespace {

// The word that keeps a 16-bit value byte-swapped: high byte in bits 7..0,
// bits 7..2 in bits 13..8.
int swappedWord(int value)
{
    return ((value >> 8) & 0xFF) | (((value >> 2) & 0x3F) << 8);
}

QVariant valueOf(DataStore& store, const char* name)
{
    Parameter* p = store.getDSParameter(QString::fromLatin1(name));
    return p ? p->getActualValue() : QVariant();
}

void set(DataStore& store, const char* name, const QVariant& value)
{
    ASSERT_NE(store.setDSParameter(QString::fromLatin1(name), value), nullptr) << name;
}

} // namespace

TEST(DataStoreReader, UnsetImage)
{
    LogCapture log;
    DataStore store;
    store.convertMemoryMapToParameterValues();
    EXPECT_TRUE(store.isInitialized());
    EXPECT_EQ(store.getCoreVersion(), 255);
    EXPECT_EQ(valueOf(store, "calib_parm_a_cs1").toInt(), 0x3FFF);
    EXPECT_EQ(valueOf(store, "calib_parm_f_cs1").toInt(), -1);
    EXPECT_EQ(valueOf(store, "calib_parm_b_cs1").toInt(), 0xFFFC);
    EXPECT_EQ(valueOf(store, "calib_parm_d_minus_b_cs1").toInt(), -4);
    EXPECT_EQ(valueOf(store, "oem_id").toInt(), 0xFF);
    EXPECT_EQ(valueOf(store, "contrast_tune_scale").toInt(), 0x3F);
    EXPECT_EQ(valueOf(store, "ul924_ready").toBool(), true);
    EXPECT_EQ(valueOf(store, "enable_fe_dual_stage").toBool(), true);
    EXPECT_EQ(valueOf(store, "hw_type").toString(), QStringLiteral("Undefined"));
    EXPECT_EQ(log.count(QStringLiteral("Undefined hardware device type")), 1);
    EXPECT_EQ(valueOf(store, "manufacturer_label").toString(), QString());
    EXPECT_EQ(valueOf(store, "dbin_0").toInt(), 0x3FFF);
    EXPECT_EQ(valueOf(store, "microchip_device_id_string").toString(), QStringLiteral("Unknown"));
    EXPECT_EQ(valueOf(store, "microchip_revision_id_string").toInt(), -1);
    EXPECT_TRUE(store.getParentFirmware()->getFirmwareData().isEmpty()); // reading writes nothing
}

TEST(DataStoreMap, CalibrationWords)
{
    struct Case
    {
        int value;
        int stored;
        int readBack;
    };
    // Swapped signed (word 1930): the two lowest bits are lost.
    const Case cases[] = {{-12000, swappedWord(-12000 & 0xFFFF), -12000}, {20000, swappedWord(20000), 20000},
        {10000, swappedWord(10000), 10000}, {10001, swappedWord(10000), 10000}, {-32768, 0x0080, -32768}};
    for (const Case& c : cases) {
        DataStore store;
        set(store, "calib_parm_d_minus_b_cs1", c.value);
        store.convertParameterValuesToMemoryMap();
        EXPECT_EQ(store.getWord(1930), c.stored) << c.value;
        store.convertMemoryMapToParameterValues();
        EXPECT_EQ(valueOf(store, "calib_parm_d_minus_b_cs1").toInt(), c.readBack) << c.value;
        EXPECT_EQ(valueOf(store, "high_range_parm_d_minus_b").toInt(), c.readBack) << c.value;
    }

    // Signed 14-bit (word 1932): -1 is the erased word.
    DataStore store;
    store.setWord(1932, 0x3FFF);
    store.convertMemoryMapToParameterValues();
    EXPECT_EQ(valueOf(store, "calib_parm_f_cs1").toInt(), -1);
    DataStore fresh;
    set(fresh, "calib_parm_f_cs1", -1);
    set(fresh, "calib_parm_g_cs1", -8192);
    fresh.convertParameterValuesToMemoryMap();
    EXPECT_EQ(fresh.getWord(1932), -1);
    EXPECT_EQ(fresh.getWord(1933), 0x2000);
}

TEST(DataStoreMap, DeprecatedOrCurrentCalibration)
{
    for (const bool old : {false, true}) {
        DataStore store;
        set(store, "calib_parm_a_cs1", 5);
        set(store, "high_range_parm_a", 7);
        set(store, "calib_parm_a_cs3", 9);  // word 1934
        set(store, "low_range_parm_a", 11); // word 1934
        store.setOldCalibrationParametersInUse(old);
        store.convertParameterValuesToMemoryMap();
        EXPECT_EQ(store.getWord(1928), old ? 7 : 5);
        EXPECT_EQ(store.getWord(1934), old ? 11 : 9);
    }
}

TEST(DataStoreMap, VlcPlacement)
{
    struct Case
    {
        int coreVersion;
        bool vlcFlag;
        int vlcWords;
    };
    const Case cases[]
        = {{9, true, 2012}, {9, false, 2012}, {8, true, 2032}, {8, false, 2012}, {255, true, 2012}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.coreVersion);
        DataStore store;
        store.setCoreVersion(c.coreVersion);
        set(store, "core_module_version", c.coreVersion);
        set(store, "vettrin_enable", c.vlcFlag);
        for (int i = 0; i < 6; ++i)
            set(store, QStringLiteral("global_trade_info_number_%1").arg(i).toLatin1().constData(), 100 + i);
        set(store, "vlc_max_cur", 1);
        set(store, "vlc_slope", 4);
        store.convertParameterValuesToMemoryMap();
        EXPECT_EQ(store.getWord(c.vlcWords), 1);
        EXPECT_EQ(store.getWord(c.vlcWords + 3), 4);
        EXPECT_EQ(store.getWord(2036), 104); // GTIN 4 is never shared
        EXPECT_EQ(store.getWord(2032), c.vlcWords == 2032 ? 1 : 100);

        DataStore reader;
        reader.getParentFirmware()->importDataMap(store.getParentFirmware()->getFirmwareData());
        reader.convertMemoryMapToParameterValues();
        EXPECT_EQ(reader.getCoreVersion(), c.coreVersion);
        EXPECT_EQ(valueOf(reader, "vlc_slope").toInt(), 4);
    }
}

TEST(DataStoreMap, FieldsKeepToTheirBits)
{
    DataStore store;
    set(store, "contrast_tune_offset", 0x34);
    set(store, "contrast_tune_scale", 0x12);
    set(store, "analog_vin_step", 0x1FF); // would reach into analog_debounce_time
    set(store, "analog_debounce_time", 0);
    set(store, "product_id", 0x1234);
    set(store, "vsup_range_min", 0x7F);
    set(store, "startup_fade_time", 0x1AB);
    set(store, "bootloader_version", 0x45);
    set(store, "hw_type", QStringLiteral("no such type"));
    set(store, "revoutmap", true);
    set(store, "ul924_ready", false);
    store.setWord(2003, 0x001F); // bits 4..0 are kept
    store.setWord(2005, 0x2A00); // bits 13..8 are kept
    store.setWord(2027, 0x00CD); // bits 7..0 are kept
    store.setWord(2022, 0x3F80); // bits 13..7 are kept
    store.convertParameterValuesToMemoryMap();

    EXPECT_EQ(store.getWord(2001), 0x1234);
    EXPECT_EQ(store.getWord(1973), 0x00FF);
    EXPECT_EQ(store.getWord(2041), 0x34);
    EXPECT_EQ(store.getWord(2003), 0x3F1F);
    EXPECT_EQ(store.getWord(2005), 0x2AAB);
    EXPECT_EQ(store.getWord(2027), 0x05CD);
    EXPECT_EQ(store.getWord(2020), (0x3FFF & ~0xFF0) | 0x010);
    EXPECT_EQ(store.getWord(2022) & 0x3F80, 0x3F80);

    store.convertMemoryMapToParameterValues();
    EXPECT_EQ(valueOf(store, "contrast_tune_offset").toInt(), 0x34);
    EXPECT_EQ(valueOf(store, "contrast_tune_scale").toInt(), 0x12);
    EXPECT_EQ(valueOf(store, "analog_debounce_time").toInt(), 0);
    EXPECT_EQ(valueOf(store, "product_id").toInt(), 0x34);
    EXPECT_EQ(valueOf(store, "hw_type").toString(), QStringLiteral("Undefined"));
    EXPECT_TRUE(valueOf(store, "revoutmap").toBool());
    EXPECT_FALSE(valueOf(store, "ul924_ready").toBool());
}

TEST(DataStoreMap, TextsThatDoNotFitLeaveTheirWords)
{
    DataStore store;
    set(store, "manufacturer_label", QStringLiteral("Tarvesk"));
    set(store, "model_description", QStringLiteral("Driver"));
    store.convertParameterValuesToMemoryMap();
    EXPECT_EQ(store.getWord(1952), 7);
    set(store, "manufacturer_label", QString(31, QLatin1Char('x')));
    set(store, "model_description", QString::fromUtf8("\xc3\xa9t\xc3\xa9"));
    store.convertParameterValuesToMemoryMap();
    store.convertMemoryMapToParameterValues();
    EXPECT_EQ(valueOf(store, "manufacturer_label").toString(), QStringLiteral("Tarvesk"));
    EXPECT_EQ(valueOf(store, "model_description").toString(), QStringLiteral("Driver"));
}

TEST(DataStoreMap, ImageGrowsToTheDatastore)
{
    DataStore store;
    store.setWord(10, 1);
    store.convertParameterValuesToMemoryMap();
    EXPECT_EQ(store.getParentFirmware()->getFirmwareData().size(), 2048);
}

TEST(DataStoreMap, ChipIdentityCopies)
{
    // Without the chip's configuration words the copies stay as they are.
    DataStore store;
    EXPECT_TRUE(store.readChipIdentity().isEmpty());
    store.setWord(2028, 0x0ABC);
    store.convertMemoryMapToParameterValues();
    EXPECT_EQ(store.readChipIdentity(), QVector<int>({0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF}));
    EXPECT_EQ(valueOf(store, "dbin_0_copy").toInt(), 0x0ABC);
    store.convertParameterValuesToMemoryMap();
    EXPECT_EQ(store.getWord(2028), 0x0ABC);
    for (int a = 2029; a <= 2031; ++a)
        EXPECT_EQ(store.getWord(a), -1) << a;

    // With them, a read and write refreshes the copies from the chip.
    const int d[4] = {0x1234, 0x2ABC, 0x0F37, 0x03C5};
    for (int i = 0; i < 4; ++i)
        store.setWord(0x8000 + i, d[i]);
    store.setWord(0x8006, 0x3090);
    store.setWord(0x8005, 0x2001);
    store.convertMemoryMapToParameterValues();
    store.convertParameterValuesToMemoryMap();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(store.getWord(2028 + i), d[i]) << i;
    // The identity the values were read with stays until the next reading.
    store.setDSParameter(QStringLiteral("dbin_0"), 7);
    store.setWord(0x8000, 0x0777);
    EXPECT_EQ(store.readChipIdentity(), QVector<int>(std::begin(d), std::end(d)));
    EXPECT_EQ(valueOf(store, "dbin_factory_id").toInt(), 0x34);
    EXPECT_EQ(valueOf(store, "dbin_year").toInt(), (0x2ABC >> 2) & 0x7F);
    EXPECT_EQ(valueOf(store, "dbin_day").toInt(), (7 << 5) | ((0x2ABC >> 9) & 0x1F));
    EXPECT_EQ(
        valueOf(store, "dbin_serial_number").toInt(), ((0x03C5 << 10) & 0xFFFF) | ((0x0F37 >> 4) & 0x3FF));
    EXPECT_EQ(valueOf(store, "dbin_laser_number").toInt(), (0x03C5 >> 6) & 0xF);
    EXPECT_EQ(valueOf(store, "microchip_device_id_string").toString(), QStringLiteral("PIC16F1779"));
    EXPECT_EQ(valueOf(store, "microchip_revision_id_string").toInt(), 1);
}

TEST(DataStoreMap, EveryParameterInRangeRoundTrips)
{
    std::mt19937 random(20);
    const auto pick
        = [&random](int min, int max) { return std::uniform_int_distribution<int>(min, max)(random); };

    for (const int coreVersion : {12, 5}) {
        SCOPED_TRACE(coreVersion);
        DataStore writer;
        Firmware* image = writer.getParentFirmware();
        for (int a = 0x8000; a <= 0x800C; ++a)
            image->setWord(a, pick(0, 0x3FFF));

        QMap<QString, QVariant> expected;
        for (const DataStoreParam& row : dataStoreParamTable()) {
            if (row.type == DataStore::STORAGE_UINT16 || row.type == DataStore::STORAGE_STRING
                || row.address >= Firmware::kConfigurationWords)
                continue; // from the chip, never written
            Parameter* p = writer.getDSParameter(row.name);
            QVariant value;
            if (row.type == DataStore::STORAGE_PACKED_ASCII) {
                QString text;
                for (int n = pick(0, 30); n > 0; --n)
                    text += QChar(pick(0x20, 0x7E));
                value = text;
            } else {
                const int step = int(p->getStepSize());
                value
                    = pick(p->getMinValue().toInt() / step, int(p->getMaxValue().toLongLong()) / step) * step;
            }
            ASSERT_NE(writer.setDSParameter(row.name, value), nullptr);
            expected.insert(row.name, value);
        }
        for (const QString& name : writer.getDatastoreParameters().keys()) {
            if (writer.getDSParameter(name)->getParameterType() == PARAM_TYPE_BOOLEAN) {
                const bool flag = pick(0, 1) == 1;
                writer.setDSParameter(name, flag);
                expected.insert(name, flag);
            }
        }
        const QString hwType = DataStore::hardwareTypeNames().at(pick(0, 11));
        writer.setDSParameter(QStringLiteral("hw_type"), hwType);
        expected.insert(QStringLiteral("hw_type"), hwType);
        writer.setCoreVersion(coreVersion);
        writer.setDSParameter(QStringLiteral("core_module_version"), coreVersion);
        expected.insert(QStringLiteral("core_module_version"), coreVersion);
        writer.setDSParameter(QStringLiteral("vettrin_enable"), true);
        expected.insert(QStringLiteral("vettrin_enable"), true);
        writer.convertParameterValuesToMemoryMap();

        // Where reader and writer are not symmetric, by design.
        for (int i = 0; i < 4; ++i) {
            const QString copy = QStringLiteral("dbin_%1_copy").arg(i);
            EXPECT_EQ(image->getWord(2028 + i), expected.value(copy).toInt());
            expected.insert(copy, int(image->getUnsignedWord(0x8000 + i)));
        }
        EXPECT_EQ(
            (image->getWord(2027) >> 8) & 0x3F, expected.take(QStringLiteral("bootloader_version")).toInt());
        for (const char* name : {"oem_id", "product_id"})
            expected[QLatin1String(name)] = expected.value(QLatin1String(name)).toInt() & 0xFF;
        // The deprecated calibration names read the words of the current ones.
        for (int i = 0; i < 24; ++i) {
            for (int j = 24; j < 48; ++j) {
                if (dataStoreParamTable().at(j).address == dataStoreParamTable().at(i).address)
                    expected[dataStoreParamTable().at(i).name]
                        = expected.value(dataStoreParamTable().at(j).name);
            }
        }
        if (coreVersion <= 8) {
            const char* vlc[] = {"vlc_max_cur", "vlc_base_cur", "vlc_duty_ratio", "vlc_slope"};
            for (int i = 0; i < 4; ++i)
                expected[QStringLiteral("global_trade_info_number_%1").arg(i)]
                    = expected.value(QLatin1String(vlc[i]));
        }

        DataStore reader;
        reader.getParentFirmware()->importDataMap(image->getFirmwareData());
        reader.convertMemoryMapToParameterValues();
        for (auto it = expected.constBegin(); it != expected.constEnd(); ++it)
            EXPECT_EQ(valueOf(reader, it.key().toLatin1().constData()), it.value()) << it.key().toStdString();
        EXPECT_EQ(reader.getCoreVersion(), coreVersion);

        // The words themselves: a second write of what was read gives the same
        // words, apart from the bootloader version that is never read and the
        // chip identity copies that come from the chip.
        reader.setDSParameter(QStringLiteral("bootloader_version"), (image->getWord(2027) >> 8) & 0x3F);
        reader.convertParameterValuesToMemoryMap();
        QVector<int> words = image->getFirmwareData();
        for (int i = 0; i < 4; ++i)
            words[2028 + i] = image->getWord(0x8000 + i);
        EXPECT_EQ(reader.getParentFirmware()->getFirmwareData(), words);

        // A few words computed by hand from the values.
        EXPECT_EQ(image->getWord(2001),
            expected.value(QStringLiteral("contrast_tune_offset")).toInt()
                | (expected.value(QStringLiteral("contrast_tune_scale")).toInt() << 8));
        EXPECT_EQ(
            image->getWord(1941), swappedWord(expected.value(QStringLiteral("calib_parm_b_cs2")).toInt()));
        EXPECT_EQ(image->getWord(1950), expected.value(QStringLiteral("calib_parm_f_cs4")).toInt() & 0x3FFF);
        EXPECT_EQ(image->getWord(2020) & 0xF, DataStore::hardwareTypeNames().indexOf(hwType));
        EXPECT_EQ(
            image->getWord(1952), expected.value(QStringLiteral("manufacturer_label")).toString().size());
    }
}
