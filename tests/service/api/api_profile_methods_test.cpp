#include "core/profile/profile_manager.h"
#include "dmx/sim_wystrel_driver.h"
#include "qt_printers.h"
#include "sim_vandrel_box.h"
#include "station_fixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

using namespace tarvesk;
using tarvesk::test::MethodOutcome;

namespace {

// A box with a Wystrel driver on DMX and a DALI gear.
const char bench[] = R"({"boxes": [{"release": "0x2014", "firmware": 21, "subversion": 12,
    "capabilities": "0x26", "serial": 7, "registers": {"4": 0, "41": 354, "48": 2},
    "dali": [{"model": "dali_gear", "short_address": 0}],
    "dmx": [{"model": "wystrel_driver", "uid": "0x00B1C2D3", "version": 276, "product_id": 80,
             "oem_id": 3, "parameters": {"16361": "0x0315", "1": "0x12"}, "presmonde": true}]}]})";

// The same, with a driver whose memory lacks the DMX start address (11).
const char benchWithoutDmxAddress[] = R"({"boxes": [{"release": "0x2014", "firmware": 21, "subversion": 12,
    "capabilities": "0x26", "serial": 7, "registers": {"4": 0, "41": 354, "48": 2},
    "dmx": [{"model": "wystrel_driver", "uid": "0x00B1C2D3", "version": 276, "product_id": 80,
             "oem_id": 3, "parameters": {"16361": "0x0315", "1": "0x12", "10": 7, "12": 200, "13": 0}}]}]})";

const char wystrelType[] = "000350_Stagebar Wystrel 2CH_DMX";

class ApiProfileMethods : public test::StationFixture
{
protected:
    void SetUp() override
    {
        test::StationFixture::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        useBench(bench);
        const QJsonArray profiles = QJsonDocument::fromJson(QStringLiteral(R"([
            {"name": "Station", "description": "line 3", "type": "%1", "parameters": [
                {"pid": "startup_behaviour", "value": "Goto Scene 1", "enabled": true},
                {"pid": "scene_1_output_1", "value": 7, "enabled": true},
                {"pid": "scene_2_output_2", "value": 200, "enabled": true},
                {"pid": "dmx_start_address", "value": 17, "enabled": true}]},
            {"name": "Address", "description": "", "type": "%1", "parameters": [
                {"pid": "dmx_start_address", "value": 17, "enabled": true}]},
            {"name": "Corvalt", "description": "", "type": "000120_Corvalt 560_DORVANE_WY", "parameters": [
                {"pid": "startup_behaviour", "value": "Goto Scene 1", "enabled": true}]}])")
                                                                .arg(QLatin1String(wystrelType))
                                                                .toUtf8())
                                        .array();
        core::ProfileManager::instance().SetProfileArray(database.get(), profiles);
        ASSERT_EQ(core::ProfileManager::instance().count(), 3);
        ASSERT_EQ(call("uut.device.info", {{"protocol", "dmx"}, {"api_version", 1}}).code, 0);
        ASSERT_EQ(call("universe.search", {{"interface_type", "dali"}}).code, 0);
        driver = deviceId("Stagebar Wystrel 2CH");
        box = deviceId("Vandrel USB interface");
        for (const QJsonValue& device : call("device.list", {}).result.toArray()) {
            if (device.toObject().value("interface_type").toString() == QLatin1String("dali"))
                gear = device.toObject().value("device_id").toInt();
        }
        ASSERT_NE(driver, 0);
        ASSERT_NE(gear, 0);
    }
    void TearDown() override
    {
        core::ProfileManager::instance().clear();
        test::StationFixture::TearDown();
    }

    MethodOutcome call(const char* method, const QJsonObject& params)
    {
        return StationFixture::call(QLatin1String(method), params);
    }
    QJsonObject run(const char* method, int device, const char* profile)
    {
        const MethodOutcome outcome
            = call(method, {{"device_id", device}, {"profile_name", profile}, {"api_version", 1}});
        EXPECT_EQ(outcome.code, 0) << method << " " << profile << ": " << outcome.message.toStdString();
        return outcome.result.toObject();
    }
    QJsonValue value(const char* pid)
    {
        return call("device.param.get", {{"device_id", driver}, {"pid", pid}})
            .result.toObject()
            .value("value");
    }
    sim::SimWystrelDriver& simulatedDriver()
    {
        auto model = usb->libUsb->boxes().front()->busModel(sim::SimBusModel::Dmx, 0);
        return *std::dynamic_pointer_cast<sim::SimWystrelDriver>(model);
    }

    int driver = 0;
    int box = 0;
    int gear = 0;
};

} // namespace

TEST_F(ApiProfileMethods, ProgramWritesTheProfileAndVerifyReportsTheFirstDifference)
{
    EXPECT_EQ(value("scene_1_output_1"), 0);
    EXPECT_EQ(run("uut.profile.program", driver, "Station"), QJsonObject({{"success", true}}));
    EXPECT_EQ(value("scene_1_output_1"), 7);
    EXPECT_EQ(value("scene_2_output_2"), 200);
    EXPECT_EQ(run("uut.profile.verify", driver, "Station"), QJsonObject({{"success", true}}));

    // A value changed behind the profile's back is named with both values.
    ASSERT_EQ(call("device.param.set",
                  {{"device_id", driver}, {"pid", "startup_behaviour"}, {"value", "Goto Scene 2"}})
                  .code,
        0);
    EXPECT_EQ(run("uut.profile.verify", driver, "Station"),
        QJsonObject({{"success", false},
            {"message",
                "Parameter startup_behaviour does not match device parameter. Profile: Goto Scene 1, Device: "
                "Goto Scene 2"}}));
    // Programming again mends it; the profile is found by its name in any case.
    EXPECT_EQ(run("uut.profile.program", driver, "station"), QJsonObject({{"success", true}}));
    EXPECT_EQ(run("uut.profile.verify", driver, "Station"), QJsonObject({{"success", true}}));
}

// A parameter the driver has but does not answer for is not a pass: verify
// names it with the bus status.
TEST_F(ApiProfileMethods, VerifyFailsForAParameterThatCouldNotBeRead)
{
    useBench(benchWithoutDmxAddress);
    ASSERT_EQ(call("uut.device.info", {{"protocol", "dmx"}, {"api_version", 1}}).code, 0);
    driver = deviceId("Stagebar Wystrel 2CH");
    EXPECT_EQ(run("uut.profile.verify", driver, "Address"),
        QJsonObject({{"success", false},
            {"message",
                "Parameter dmx_start_address could not be read from the device: Unsupported parameter."}}));
}

TEST_F(ApiProfileMethods, RefusalsOfProgramAndVerify)
{
    const struct
    {
        const char* what;
        const char* method;
        int device; // 0: the driver, -1: the box, -2: the gear, else that id
        const char* profile;
        bool apiVersion;
        int code;
        const char* message; // after "Error executing method <method>: "
    } rows[] = {
        {"the box has no profile type", "uut.profile.program", -1, "Station", true, -32603,
            "Profile type does not match device type."},
        {"the box has no profile type", "uut.profile.verify", -1, "Station", true, -32603,
            "Profile type does not match device type."},
        {"a DALI gear has no profile type", "uut.profile.program", -2, "Station", true, -32603,
            "Profile type does not match device type."},
        {"a DALI gear has no profile type", "uut.profile.verify", -2, "Station", true, -32603,
            "Profile type does not match device type."},
        {"another product's profile", "uut.profile.program", 0, "Corvalt", true, -32603,
            "Profile type does not match device type."},
        {"another product's profile", "uut.profile.verify", 0, "Corvalt", true, -32603,
            "Profile type does not match device type."},
        {"a profile not loaded", "uut.profile.program", 0, "Nope", true, -32603,
            "Profile Nope not yet loaded or does not exist."},
        {"a profile not loaded", "uut.profile.verify", 0, "Nope", true, -32603,
            "Profile Nope not yet loaded or does not exist."},
        {"a device gone", "uut.profile.program", 999, "Station", true, -32603,
            "device 999 no longer available. connect device and execute uut.device.info command."},
        {"a device gone", "uut.profile.verify", 999, "Station", true, -32603, "Device with id 999 not found"},
        {"without api_version", "uut.profile.program", 0, "Station", false, -32602,
            "Parameter 'api_version' required for method uut.profile.program"},
        {"without api_version", "uut.profile.verify", 0, "Station", false, -32602,
            "Parameter 'api_version' required for method uut.profile.verify"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.what) + " " + row.method);
        const int id = row.device == 0 ? driver
            : row.device == -1         ? box
            : row.device == -2         ? gear
                                       : row.device;
        QJsonObject params {{"device_id", id}, {"profile_name", row.profile}};
        if (row.apiVersion)
            params.insert("api_version", 1);
        const MethodOutcome outcome = call(row.method, params);
        EXPECT_EQ(outcome.code, row.code);
        EXPECT_TRUE(
            outcome.message.startsWith(QStringLiteral("Error executing method %1: %2")
                                           .arg(QLatin1String(row.method), QLatin1String(row.message))))
            << outcome.message.toStdString();
    }
    // Nothing was written: the driver still holds what it started with.
    EXPECT_EQ(value("scene_1_output_1"), 0);
}
