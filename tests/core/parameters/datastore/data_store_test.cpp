#include "core/firmware.h"
#include "core/parameters/datastore/data_store.h"
#include "core/parameters/parameter.h"
#include "log_capture.h"

#include <QSet>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace tarvesk::core;
using tarvesk::test::LogCapture;

TEST(DataStoreRegistration, HundredAndFiftyParameters)
{
    Firmware image;
    DataStore* store = image.getDataStore();
    EXPECT_EQ(store->getParentFirmware(), &image);
    EXPECT_FALSE(store->isInitialized());

    const QMap<QString, Parameter*>& parameters = store->getDatastoreParameters();
    ASSERT_EQ(parameters.size(), 150);
    ASSERT_EQ(dataStoreParamTable().size(), 131);
    int words = 0;
    int bytes = 0;
    QString previous;
    for (auto it = parameters.constBegin(); it != parameters.constEnd(); ++it) {
        EXPECT_LT(previous, it.key());
        previous = it.key();
        EXPECT_EQ(it.value()->getIdentifier(), it.key());
        (it.value()->getNetworkResolution() == ITF_RES_WORD ? words : bytes)++;
    }
    EXPECT_EQ(words, 131);
    EXPECT_EQ(bytes, 19);
    for (const DataStoreParam& row : dataStoreParamTable()) {
        ASSERT_TRUE(parameters.contains(row.name)) << row.name.toStdString();
        EXPECT_EQ(store->getStorageType(row.name), row.type);
        EXPECT_EQ(store->getStorageSign(row.name), row.sign);
        EXPECT_EQ(parameters.value(row.name)->getGroup(), row.group);
    }

    Parameter* hwType = parameters.value(QStringLiteral("hw_type"));
    EXPECT_EQ(hwType->getParameterType(), PARAM_TYPE_ENUM);
    EXPECT_EQ(hwType->getEnumOptions().size(), 12);
    EXPECT_EQ(QSet<QString>(hwType->getEnumOptions().begin(), hwType->getEnumOptions().end()).size(), 12);
    EXPECT_EQ(parameters.value(QStringLiteral("ul924_ready"))->getParameterType(), PARAM_TYPE_BOOLEAN);
    EXPECT_EQ(parameters.value(QStringLiteral("vettrin_enable"))->getGroup(), QStringLiteral("VLC"));
    EXPECT_EQ(parameters.value(QStringLiteral("init_system_info_0"))->getDescription(),
        QStringLiteral(
            "0: current_source_1_disabled\n1: current_source_2_disabled\n2: current_source_3_disabled\n"
            "3: current_source_4_disabled\n4: 0-10V_circuit_detected\n5: set_for_DALI_driver\n"
            "7: indicates_virgin_generic_preloaded_application"));

    // A store of its own image.
    DataStore own;
    ASSERT_NE(own.getParentFirmware(), nullptr);
    EXPECT_NE(own.getParentFirmware()->getDataStore(), &own);
    EXPECT_EQ(own.getDatastoreParameters().size(), 150);
}

TEST(DataStoreRegistration, RangesBySizeAndSign)
{
    struct Case
    {
        const char* name;
        ParamType type;
        int min, max;
        double step;
    };
    const Case cases[] = {
        {"high_range_parm_d_minus_b", PARAM_TYPE_NUMBER, -32768, 32764, 4.0},
        {"calib_parm_b_cs1", PARAM_TYPE_NUMBER, 0, 65532, 4.0},
        {"calib_parm_f_cs1", PARAM_TYPE_NUMBER, -8192, 8191, 1.0},
        {"max_power", PARAM_TYPE_NUMBER, 0, 16383, 1.0},
        {"contrast_tune_scale", PARAM_TYPE_NUMBER, 0, 63, 1.0},
        {"uid0", PARAM_TYPE_NUMBER, 0, 255, 1.0},
        {"dbin_serial_number", PARAM_TYPE_NUMBER, 0, 65535, 1.0},
    };
    DataStore store;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Parameter* p = store.getDSParameter(QString::fromLatin1(c.name));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->getParameterType(), c.type);
        EXPECT_EQ(p->getMinValue().toInt(), c.min);
        EXPECT_EQ(p->getMaxValue().toInt(), c.max);
        EXPECT_EQ(p->getStepSize(), c.step);
    }
    for (const char* text : {"manufacturer_label", "model_description", "microchip_device_id_string"}) {
        Parameter* p = store.getDSParameter(QString::fromLatin1(text));
        EXPECT_EQ(p->getParameterType(), PARAM_TYPE_STRING) << text;
        EXPECT_FALSE(p->getMinValue().isValid()) << text;
    }
}

TEST(DataStoreLookups, MissingNamesAreLoggedNotThrown)
{
    DataStore store;
    LogCapture log;
    EXPECT_EQ(store.getStorageType(QStringLiteral("hw_type")), DataStore::STORAGE_WORD);
    EXPECT_TRUE(
        log.hasWarningContaining(QStringLiteral("Could not find storage type for datastore pid : hw_type")));
    EXPECT_EQ(store.getStorageSign(QStringLiteral("nope")), DataStore::STORAGE_UNSIGNED);
    EXPECT_TRUE(
        log.hasWarningContaining(QStringLiteral("Could not find storage sign for datastore pid : nope")));
    EXPECT_EQ(store.getDSParameter(QStringLiteral("nope")), nullptr);
    EXPECT_TRUE(log.hasWarningContaining(
        QStringLiteral("Get Datastore Parameter: Unable to find datastore parameter \"nope\"")));
    EXPECT_EQ(store.setDSParameter(QStringLiteral("nope"), 1), nullptr);
    EXPECT_TRUE(log.hasWarningContaining(
        QStringLiteral("Set Datastore Parameter: Unable to find datastore parameter \"nope\"")));

    // Stored as given: the memory map keeps what fits.
    Parameter* oem = store.setDSParameter(QStringLiteral("oem_id"), 300);
    ASSERT_NE(oem, nullptr);
    EXPECT_EQ(oem->getActualValue().toInt(), 300);
    EXPECT_EQ(
        store.setDSParameter(QStringLiteral("oem_id"), std::numeric_limits<double>::quiet_NaN()), nullptr);
    EXPECT_EQ(oem->getActualValue().toInt(), 300);
}

TEST(DataStoreLookups, EnableSubset)
{
    DataStore store;
    QStringList names {QStringLiteral("oem_id")};
    store.enableSubsetParameters(names);
    int enabled = 0;
    for (Parameter* p : store.getDatastoreParameters())
        enabled += p->isEnabled() ? 1 : 0;
    EXPECT_EQ(enabled, 1);
    EXPECT_TRUE(store.getDSParameter(QStringLiteral("oem_id"))->isEnabled());
    names = QStringList {QStringLiteral("OEM_ID")};
    store.enableSubsetParameters(names);
    EXPECT_FALSE(store.getDSParameter(QStringLiteral("oem_id"))->isEnabled());
}

TEST(DataStoreLookups, HardwareTypesAndProcessors)
{
    DataStore store;
    const QStringList& names = DataStore::hardwareTypeNames();
    LogCapture log;
    EXPECT_EQ(store.findHwDeviceType(0x3FFF), QStringLiteral("Undefined"));
    EXPECT_EQ(log.count(QStringLiteral("Undefined hardware device type")), 1);
    EXPECT_EQ(store.findHwDeviceType(0x3FF5), names.at(5));
    EXPECT_EQ(store.findHwDeviceType(12), QStringLiteral("Undefined"));
    for (int id = 0; id < 12; ++id)
        EXPECT_EQ(store.findHwDeviceNumber(store.findHwDeviceType(id)), id);
    EXPECT_EQ(store.findHwDeviceNumber(names.at(3).toLower()), 0x3FFF);

    EXPECT_EQ(DataStore::getProcessorIdByDevId(0x30A4), 43);
    EXPECT_EQ(DataStore::getProcessorIdByDevId(0x302B), 4);
    EXPECT_EQ(DataStore::getProcessorIdByDevId(0x1234), -1);
    EXPECT_EQ(DataStore::getProcessorNameByProcId(43), QStringLiteral("Unknown"));
    EXPECT_EQ(DataStore::getProcessorNameByProcId(97), QStringLiteral("PIC18F25K50"));
    EXPECT_EQ(DataStore::getProcessorNameByDevId(0x305E), QStringLiteral("PIC16F1718"));
    EXPECT_EQ(DataStore::getProcessorNameByDevId(0x3093), QStringLiteral("PIC16LF1779"));
    EXPECT_EQ(DataStore::getProcessorNameByDevId(0x3094), QStringLiteral("Unknown"));
}

TEST(DataStoreLookups, SiliconRevision)
{
    struct Case
    {
        int deviceId;
        int revision;
        int expected;
    };
    const Case cases[] = {
        {0x3090, 0x2001, 1}, {0x308E, 0x2000, 0}, {0x305B, 0x2002, -1}, {0x302B, 0x2001, -1},
        {0x302B, 0x2041, 1}, {0x305A, 0x2000, -1}, {-1, -1, -1}, // no configuration words
    };
    for (const Case& c : cases) {
        Firmware image;
        if (c.deviceId >= 0) {
            image.setWord(0x8006, c.deviceId);
            image.setWord(0x8005, c.revision);
        }
        EXPECT_EQ(image.getDataStore()->getDeviceRevision(), c.expected) << std::hex << c.deviceId;
    }
}

// What a client may set: the value must fit the parameter's type and range and
// what its words can hold, so that the writer never cuts or wraps it.
TEST(DataStoreAdmission, TypeRangeAndStorage)
{
    DataStore store;
    const QString long30(30, QLatin1Char('x'));
    const struct
    {
        const char* name;
        QVariant value;
        QVariant admitted; // invalid: refused
        const char* reason;
    } cases[] = {
        {"calib_parm_f_cs1", -8192, -8192, nullptr},
        {"calib_parm_f_cs1", 8191.0, 8191, nullptr},
        {"calib_parm_f_cs1", 8192, {}, "from -8192 to 8191"},
        {"calib_parm_f_cs1", 2.5, {}, "whole number"},
        {"calib_parm_f_cs1", QStringLiteral("12"), {}, "whole number"},
        {"calib_parm_f_cs1", true, {}, "whole number"},
        {"calib_parm_f_cs1", std::numeric_limits<double>::infinity(), {}, "whole number"},
        {"calib_parm_f_cs1", 4294967296.0 + 5, {}, "whole number"},
        {"high_range_parm_d_minus_b", 32764, 32764, nullptr},
        {"high_range_parm_d_minus_b", 32765, {}, "from -32768 to 32764"},
        {"contrast_tune_scale", 63, 63, nullptr},
        {"contrast_tune_scale", 64, {}, "from 0 to 63"},
        {"uid0", 256, {}, "from 0 to 255"},
        {"oem_id", 255, 255, nullptr},
        {"oem_id", 300, {}, "from 0 to 255"},
        {"product_id", 256, {}, "from 0 to 255"},
        {"ul924_ready", true, true, nullptr},
        {"ul924_ready", 1, {}, "true or false"},
        {"hw_type", DataStore::hardwareTypeNames().at(3), DataStore::hardwareTypeNames().at(3), nullptr},
        {"hw_type", QStringLiteral("Undefined"), {}, "takes one of"},
        {"hw_type", 3, {}, "takes one of"},
        {"manufacturer_label", long30, long30, nullptr},
        {"manufacturer_label", long30 + QLatin1Char('x'), {}, "at most 30 characters, not 31"},
        {"manufacturer_label", QStringLiteral("Caf\u00e9"), {}, "ASCII"},
        {"model_description", 5, {}, "takes a text"},
        {"no_such_name", 5, {}, "no datastore parameter"},
    };
    for (const auto& c : cases) {
        const QString name = QString::fromLatin1(c.name);
        const QVariant before = store.getDatastoreParameters().value(name)
            ? store.getDatastoreParameters().value(name)->getActualValue()
            : QVariant();
        QVariant normalized;
        const QString reason = store.admitValue(name, c.value, &normalized);
        SCOPED_TRACE(c.name + (" " + c.value.toString().toStdString()));
        if (c.admitted.isValid()) {
            EXPECT_TRUE(reason.isEmpty()) << reason.toStdString();
            EXPECT_EQ(normalized, c.admitted);
            EXPECT_EQ(normalized.userType(), c.admitted.userType());
        } else {
            EXPECT_TRUE(reason.contains(QString::fromLatin1(c.reason))) << reason.toStdString();
            EXPECT_FALSE(normalized.isValid());
        }
        if (store.getDatastoreParameters().value(name)) {
            EXPECT_EQ(store.getDatastoreParameters().value(name)->getActualValue(), before);
        }
    }
}
