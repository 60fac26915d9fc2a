#include "core/itf_error.h"
#include "core/parameters/param_unit.h"
#include "core/parameters/parameter.h"
#include "core/parameters/raw_parameter_interface.h"
#include "devices/dmx_bidir_device.h"
#include "dmx/sim_rdm_responder.h"
#include "dmx/sim_wystrel_driver.h"
#include "sim_bus_dmx_interface.h"
#include "universes/dmx_universe.h"

#include <gtest/gtest.h>

#include <memory>

using namespace tarvesk;
using core::IParameter;
using core::Parameter;
using devices::DmxBidirDevice;
using sim::SimRdmResponder;
using sim::SimWystrelDriver;

namespace {

// A DMX universe whose line reaches simulated drivers and responders directly.
class DmxDeviceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        line = new test::SimBusDmxInterface();
        universe = std::make_unique<universes::DmxUniverse>(QStringLiteral("DMX"), line);
    }

    std::shared_ptr<SimWystrelDriver> addDriver(quint32 uid, quint16 version, quint16 product, quint16 oem,
        int skipPosition = 0, QMap<quint16, quint16> parameters = {})
    {
        SimWystrelDriver::Config config;
        config.identity.uid = uid;
        config.identity.version = version;
        config.identity.productId = product;
        config.identity.oemId = oem;
        config.skipPosition = skipPosition;
        auto driver = std::make_shared<SimWystrelDriver>(config);
        for (auto it = parameters.begin(); it != parameters.end(); ++it)
            driver->core().setParameter(it.key(), it.value());
        line->add(driver);
        return driver;
    }

    std::shared_ptr<SimRdmResponder> addResponder(SimRdmResponder::Config config)
    {
        auto responder = std::make_shared<SimRdmResponder>(config);
        line->add(responder);
        return responder;
    }

    static Parameter* param(DmxBidirDevice& device, const QString& pid)
    {
        return qobject_cast<Parameter*>(device.getParameterInterface(pid));
    }

    static QVariant read(DmxBidirDevice& device, const QString& pid, int* status = nullptr)
    {
        QVariant value;
        const int result = param(device, pid)->getValue(value, IParameter::UPDATE_YES);
        if (status)
            *status = result;
        return value;
    }

    static core::RawParameterInterface* raw(DmxBidirDevice& device, const char* name)
    {
        return device.getRawParameterInterface(QString::fromLatin1(name));
    }

    test::SimBusDmxInterface* line = nullptr; // owned by the universe
    std::unique_ptr<universes::DmxUniverse> universe;
};

// --- Unique id ----------------------------------------------------------------

TEST_F(DmxDeviceTest, WystrelUniqueIdTextsAreEightUnsignedHexDigits)
{
    for (const auto& [uid, textOf] : {std::pair<quint32, const char*> {0x00A1B2C3, "00a1b2c3"},
             {0x80A1B2C3, "80a1b2c3"}, {0xFFFFFFFF, "ffffffff"}, {0, "00000000"}}) {
        DmxBidirDevice device(universe.get(), int(uid), 0, 0);
        EXPECT_EQ(device.getUniqueIDString(), QLatin1String(textOf));
    }
    DmxBidirDevice rdm(universe.get(), QStringLiteral("7e2b:80000001"));
    EXPECT_EQ(rdm.getUniqueIDString(), "7e2b:80000001");
}

TEST_F(DmxDeviceTest, UniqueIdIsReadAndWrittenThroughTheDriver)
{
    auto driver = addDriver(0x80A1B2C3, 276, 80, 3, 1);
    DmxBidirDevice device(universe.get(), int(0x80A1B2C3), 0, 1);
    EXPECT_EQ(device.readUniqueIdString(), "80a1b2c3");

    // Refused without a frame: wrong length, not hexadecimal, beyond 7FFFFFFF.
    for (const char* bad : {"1234567", "123456789", "1234567g", "80000000", "f0000000", "+1234567", ""}) {
        const int frames = line->frames;
        EXPECT_EQ(device.writeUniqueIdString(QLatin1String(bad)), core::ITF_ERR_INVALID_PARAM) << bad;
        EXPECT_EQ(line->frames, frames) << bad;
    }
    EXPECT_EQ(device.writeUniqueIdString(QStringLiteral("1234abCD")), 0);
    EXPECT_EQ(driver->core().uid(), 0x1234ABCDu);
    EXPECT_EQ(device.readUniqueIdString(), "1234abcd");
    EXPECT_EQ(device.getUniqueIDString(), "80a1b2c3"); // the device keeps the identity it was found by

    driver->faults().silent = sim::SimDriverFaults::Forever;
    EXPECT_EQ(device.writeUniqueIdString(QStringLiteral("00000001")), core::ITF_ERR_NO_REPLY);
    EXPECT_EQ(device.readUniqueIdString(), QString());
}

// --- RDM-found devices ------------------------------------------------------------

SimRdmResponder::Config responderConfig()
{
    SimRdmResponder::Config config;
    config.uid = 0x7E2B80000001ull;
    config.deviceModelId = 0x0102;
    config.modelDescription = QStringLiteral("Model X");
    config.manufacturerLabel = QStringLiteral("Someone");
    config.deviceLabel = QStringLiteral("Stage left");
    config.sensors = {{0, 1, 1, -123, QStringLiteral("Board")}, {1, 2, 2, 2400, QStringLiteral("Supply")},
        {9, 10, 0, 7, QStringLiteral("Load")}};
    return config;
}

TEST_F(DmxDeviceTest, AnRdmOnlyResponderIsDescribedByItsRdmParametersAndSignedSensors)
{
    addResponder(responderConfig());
    DmxBidirDevice device(universe.get(), QStringLiteral("7e2b:80000001"));
    ASSERT_EQ(device.initializeDeviceInfo(nullptr), 0);
    EXPECT_FALSE(device.hasWystrel());
    EXPECT_EQ(device.getName(), "Model X");
    EXPECT_EQ(device.getManufacturerString(), "Someone");
    EXPECT_EQ(device.getRawParameterInterface(QStringLiteral("presmonde")), nullptr);
    EXPECT_EQ(device.getWystrelDaliInterface(), nullptr);

    EXPECT_EQ(read(device, "device_model_id").toInt(), 0x0102);
    EXPECT_EQ(read(device, "sensor_count").toInt(), 3);
    EXPECT_EQ(read(device, "device_model_description").toString(), "\"Model X\"");
    EXPECT_EQ(read(device, "manufacturer_label").toString(), "\"Someone\"");
    EXPECT_EQ(read(device, "device_label").toString(), "\"Stage left\"");

    const struct
    {
        const char* pid;
        const char* name;
        core::ParamUnit unit;
        double scale;
        int value;
    } sensors[] = {
        {"sensor_value_1", "Sensor value 1 : Temperature (Board)", core::PARAM_UNIT_TEMPERATURE_CELSIUS, 0.1,
            -123},
        {"sensor_value_2", "Sensor value 2 : Voltage (Supply)", core::PARAM_UNIT_VOLT, 0.01, 2400},
        {"sensor_value_3", "Sensor value 3 : Other (Load)", core::PARAM_UNIT_WATT, 1, 7},
    };
    for (const auto& s : sensors) {
        Parameter* p = param(device, QLatin1String(s.pid));
        ASSERT_NE(p, nullptr) << s.pid;
        EXPECT_EQ(p->getDisplayName(), QLatin1String(s.name));
        EXPECT_EQ(p->getUnit(), s.unit) << s.pid;
        EXPECT_DOUBLE_EQ(p->getScale(), s.scale) << s.pid;
        QVariant value;
        EXPECT_EQ(p->getValue(value, IParameter::UPDATE_YES), 0) << s.pid;
        EXPECT_EQ(p->getActualValue().toInt(), s.value) << s.pid;
    }
    EXPECT_EQ(param(device, QStringLiteral("sensor_value_4")), nullptr);
}

TEST_F(DmxDeviceTest, AnUnansweredDeviceInfoLeavesOutItsParametersAndInitialisationSucceeds)
{
    SimRdmResponder::Config config = responderConfig();
    config.faults.silent = 1; // the first request is GET DEVICE_INFO
    addResponder(config);
    DmxBidirDevice device(universe.get(), QStringLiteral("7e2b:80000001"));
    ASSERT_EQ(device.initializeDeviceInfo(nullptr), 0);
    EXPECT_EQ(param(device, QStringLiteral("sensor_count")), nullptr);
    EXPECT_EQ(param(device, QStringLiteral("sensor_value_1")), nullptr);
    EXPECT_EQ(read(device, "device_label").toString(), "\"Stage left\"");
}

TEST_F(DmxDeviceTest, AnRdmDriverThatAlsoSpeaksWystrelKeepsItsProductIdentity)
{
    addResponder(responderConfig());
    addDriver(0x80000001, 276, 80, 3);
    DmxBidirDevice device(universe.get(), QStringLiteral("7e2b:80000001"));
    ASSERT_EQ(device.initializeDeviceInfo(nullptr), 0);
    EXPECT_TRUE(device.hasWystrel());
    EXPECT_EQ(device.getProductId(), 80u);
    EXPECT_EQ(device.getOemId(), 3u);
    EXPECT_EQ(device.getVersion(), 276u);
    EXPECT_NE(device.getName(), "Model X"); // not named after the RDM model description
    EXPECT_NE(device.getRawParameterInterface(QStringLiteral("presmonde")), nullptr);
    EXPECT_NE(device.getWystrelDaliInterface(), nullptr);
    EXPECT_EQ(read(device, "sensor_value_1").toInt(), -123);
}

// --- Product recognition ------------------------------------------------------------

TEST_F(DmxDeviceTest, OlderDriversAreRecognisedFromTheirMemory)
{
    // Version 200 (identity at 0x97 and 0x301), OEM id 0, product id 5; byte
    // A at parameter 150, the version word is B, parameter 170 from the list.
    const struct
    {
        const char* name;
        quint16 oem;
        quint16 version;
        int a;          // -1: the driver does not hold parameter 150
        int maxCurrent; // -1: no parameter 170
        unsigned product;
        unsigned oemAfter;
    } rows[] = {
        {"bit 6, low bits 7", 0, 200, 0x47, -1, 10, 0},
        {"bit 6, other low bits", 0, 200, 0x46, -1, 11, 0},
        {"4 with bit 7", 0, 200, 0x84, -1, 17, 0},
        {"4, version word bit 15", 0, 0x80C8, 0x04, -1, 31, 0},
        {"4", 0, 200, 0x04, -1, 18, 0},
        {"5", 0, 200, 0x05, -1, 19, 0},
        {"6, 105", 0, 200, 0x06, 105, 21, 0},
        {"6, 50", 0, 200, 0x06, 50, 20, 0},
        {"6, other", 0, 200, 0x06, 7, 22, 0},
        {"6, no 170", 0, 200, 0x06, -1, 22, 0},
        {"7, 105", 0, 200, 0x07, 105, 15, 0},
        {"7, 50", 0, 200, 0x07, 50, 14, 0},
        {"7, no 170", 0, 200, 0x07, -1, 16, 0},
        {"other low bits", 0, 200, 0x03, -1, 5, 0},
        {"the maker's OEM id: nothing read", 7, 200, 0x47, -1, 5, 7},
        {"OEM id above 200", 201, 200, 0x47, -1, 10, 0},
        // A failed read ends the recognition with the identifiers as read.
        {"byte A unreadable", 0, 200, -1, -1, 5, 0},
    };
    for (const auto& row : rows) {
        SetUp();
        QMap<quint16, quint16> parameters;
        if (row.a >= 0)
            parameters.insert(150, quint16(row.a));
        if (row.maxCurrent >= 0)
            parameters.insert(170, quint16(row.maxCurrent));
        parameters.insert(52, 1); // the walk passes over it
        // Where a driver below version 270 keeps its identity (the simulated
        // driver places it by the whole version word).
        parameters.insert(0x97, 5);
        parameters.insert(0x301, row.oem);
        addDriver(0x00000010, row.version, 5, row.oem, 0, parameters);
        DmxBidirDevice device(universe.get(), 0x10, 0, 0);
        EXPECT_EQ(device.initializeDeviceInfo(nullptr), 0) << row.name;
        EXPECT_EQ(device.getProductId(), row.product) << row.name;
        EXPECT_EQ(device.getOemId(), row.oemAfter) << row.name;
    }
}

TEST_F(DmxDeviceTest, FromVersion270TheIdentityAndLegacyByteSitAtTheTopOfTheSpace)
{
    addDriver(0x10, 276, 5, 0, 0, {{0x3FE4, 0x47}, {150, 0x05}});
    DmxBidirDevice device(universe.get(), 0x10, 0, 0);
    ASSERT_EQ(device.initializeDeviceInfo(nullptr), 0);
    EXPECT_EQ(device.getProductId(), 10u);
}

// A driver that answers reads but never the find-next frame.
class NoListDriver : public sim::SimBusModel
{
public:
    Bus bus() const override { return Dmx; }
    QString modelName() const override { return QStringLiteral("no_list"); }
    std::optional<QByteArray> dmxFrame(const QByteArray& frame) override
    {
        if (frame.size() < 9 || quint8(frame.at(0)) != 0xD0 || quint8(frame.at(1)) == 0x1D)
            return std::nullopt;
        QByteArray answer = frame;
        answer[1] = char(quint8(frame.at(1)) ^ 0x80);
        answer[8] = 0;
        quint8 sum = 0;
        for (int i = 0; i < 8; ++i)
            sum = quint8(sum + quint8(answer.at(i)));
        answer[8] = char(sum);
        return answer;
    }
};

TEST_F(DmxDeviceTest, TheParameterListWalkIsBounded)
{
    line->add(std::make_shared<NoListDriver>());
    DmxBidirDevice device(universe.get(), 1, 0, 0);
    EXPECT_EQ(device.findMaxCurrent(), -1);
    EXPECT_LE(line->frames, 1 + DmxBidirDevice::MaxSilentRepeats + 1);

    SetUp();
    addDriver(1, 276, 80, 3, 0, {{52, 1}, {105, 2}, {170, 105}});
    DmxBidirDevice listed(universe.get(), 1, 0, 0);
    EXPECT_EQ(listed.findMaxCurrent(), 105);
    EXPECT_EQ(line->frames, 4); // find-first, then 52, 105, 170

    SetUp();
    addDriver(1, 276, 80, 3, 0, {{52, 1}});
    DmxBidirDevice unlisted(universe.get(), 1, 0, 0);
    EXPECT_EQ(unlisted.findMaxCurrent(), -1); // the list ends with 0
}

// --- Raw interfaces -------------------------------------------------------------------

TEST_F(DmxDeviceTest, PresmondeReadsRetryGarbledAnswersAndReportsFlags)
{
    auto driver = addDriver(0x10, 276, 80, 3, 2, {{0x0123, 0xBEEF}});
    DmxBidirDevice device(universe.get(), 0x10, 0, 2);
    device.initializeInterfaces();
    core::RawParameterInterface* presmonde = raw(device, "presmonde");
    ASSERT_NE(presmonde, nullptr);
    EXPECT_EQ(device.getRawParameterInterface(QStringLiteral("main")), presmonde);

    unsigned value = 0;
    driver->faults().badChecksum = 4;
    EXPECT_EQ(presmonde->getParameter(core::ITF_RES_WORD, 0x0123, value), 0);
    EXPECT_EQ(value, 0xBEEFu);
    EXPECT_EQ(presmonde->getParameter(core::ITF_RES_BYTE, 0x0123, value), 0);
    EXPECT_EQ(value, 0xEFu);

    value = 7;
    driver->faults().badChecksum = sim::SimDriverFaults::Forever;
    EXPECT_EQ(presmonde->getParameter(core::ITF_RES_WORD, 0x0123, value), core::ITF_ERR_PACKET_CHECKSUM);
    EXPECT_EQ(value, 7u);
    driver->faults().badChecksum = 0;

    int frames = line->frames;
    EXPECT_EQ(
        presmonde->getParameter(core::ITF_RES_WORD, 0x0999, value), core::ITF_ERR_UNSUPPORTED_PARAMETER);
    EXPECT_EQ(line->frames, frames + 1);

    driver->faults().silent = sim::SimDriverFaults::Forever;
    EXPECT_EQ(presmonde->getParameter(core::ITF_RES_WORD, 0x0123, value), core::ITF_ERR_NO_REPLY);
    EXPECT_EQ(presmonde->setParameter(core::ITF_RES_WORD, 0x0123, 1), core::ITF_ERR_NO_REPLY);
    EXPECT_EQ(value, 7u);
    driver->faults().silent = 0;

    EXPECT_EQ(presmonde->setParameter(core::ITF_RES_BYTE, 0x0123, 0x12345), 0);
    EXPECT_EQ(driver->core().parameter(0x0123), 0x2345);
    EXPECT_EQ(presmonde->setParameter(core::ITF_RES_WORD, 0x0999, 1), core::ITF_ERR_UNSUPPORTED_PARAMETER);

    line->failNextSends = 1;
    EXPECT_EQ(presmonde->setParameter(core::ITF_RES_WORD, 0x0123, 1), core::ITF_ERR_NO_REPLY);
}

TEST_F(DmxDeviceTest, NordhuneRamIsAReadOnlyWindowAndEepromGoesThroughSpi)
{
    auto driver = addDriver(0x10, 276, 80, 3, 0, {{0x4010, 0x1111}, {0x4210, 0x2222}});
    DmxBidirDevice device(universe.get(), 0x10, 0, 0);
    device.initializeInterfaces();
    unsigned value = 0;
    EXPECT_EQ(raw(device, "nordhune1_ram")->getParameter(core::ITF_RES_WORD, 0x10, value), 0);
    EXPECT_EQ(value, 0x1111u);
    EXPECT_EQ(raw(device, "nordhune2_ram")->getParameter(core::ITF_RES_WORD, 0x10, value), 0);
    EXPECT_EQ(value, 0x2222u);
    const int frames = line->frames;
    EXPECT_EQ(raw(device, "nordhune1_ram")->setParameter(core::ITF_RES_WORD, 0x10, 1),
        core::ITF_ERR_UNSUPPORTED_FEATURE);
    EXPECT_EQ(line->frames, frames);

    driver->core().setNordhuneEeprom(1, 5, 0x34);
    driver->core().setNordhuneEeprom(1, 6, 0x12);
    driver->core().setNordhuneEeprom(2, 5, 0x56);
    core::RawParameterInterface* ee1 = raw(device, "nordhune1_ee");
    EXPECT_EQ(ee1->getParameter(core::ITF_RES_BYTE, 5, value), 0);
    EXPECT_EQ(value, 0x34u);
    EXPECT_EQ(ee1->getParameter(core::ITF_RES_WORD, 5, value), 0);
    EXPECT_EQ(value, 0x1234u);
    EXPECT_EQ(raw(device, "nordhune2_ee")->getParameter(core::ITF_RES_BYTE, 5, value), 0);
    EXPECT_EQ(value, 0x56u);

    EXPECT_EQ(ee1->setParameter(core::ITF_RES_WORD, 8, 0xA55A), 0);
    EXPECT_EQ(driver->core().nordhuneEeprom(1, 8), 0x5A);
    EXPECT_EQ(driver->core().nordhuneEeprom(1, 9), 0xA5);
    EXPECT_EQ(ee1->setParameter(core::ITF_RES_BYTE, 10, 0x77), 0);
    EXPECT_EQ(driver->core().nordhuneEeprom(1, 10), 0x77);

    // No answer to the pass-through: no stale word comes back.
    value = 9;
    driver->faults().silent = sim::SimDriverFaults::Forever;
    EXPECT_EQ(ee1->getParameter(core::ITF_RES_WORD, 5, value), core::ITF_ERR_NO_REPLY);
    EXPECT_EQ(value, 9u);
    EXPECT_EQ(ee1->setParameter(core::ITF_RES_WORD, 5, 1), core::ITF_ERR_NO_REPLY);
}

} // namespace
