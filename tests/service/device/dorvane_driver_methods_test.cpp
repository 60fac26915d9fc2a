#include "core/device.h"
#include "core/profile/profile_manager.h"
#include "core/universe.h"
#include "core/universe_manager.h"
#include "dorvane/sim_dorvane_driver.h"
#include "drivers/sim_driver_core.h"
#include "method_call.h"
#include "service/database/data1_database.h"
#include "service/rpc/rpc_methods/device/rpc_device_create.h"
#include "service/rpc/rpc_methods/device/rpc_device_param_get.h"
#include "service/rpc/rpc_methods/device/rpc_device_profile_set.h"
#include "service/rpc/rpc_methods/universe/rpc_universe_search.h"
#include "sim_bench.h"
#include "sim_usb_universe.h"
#include "sim_vandrel_box.h"
#include "universes/usb_universe.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

using namespace tarvesk;
using namespace tarvesk::service;

namespace {

using Outcome = test::MethodOutcome;

const QString kDriverType = QStringLiteral("000110_K3408 Dorvane 40W_DORVANE_WY");

// The default bench with the sample package's database: the Dorvane driver of
// the first box found by the searches, as the server finds it.
class DorvaneDriverMethods : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString build = qEnvironmentVariable("QM_BUILD_DIR");
        const QString source = qEnvironmentVariable("QM_SOURCE_DIR");
        if (build.isEmpty() || source.isEmpty())
            GTEST_SKIP() << "QM_BUILD_DIR or QM_SOURCE_DIR not set (run through ctest)";
        ASSERT_TRUE(QFile::copy(build + "/data.1", tmp.filePath("data.1")));
        database = std::make_shared<Data1Database>();
        database->setPackageFolder(tmp.path());
        database->setFirmwareCacheFolder(tmp.filePath("cache"));
        ASSERT_TRUE(database->initialize(false));
        AbstractRpcMethod::setDatabase(database);

        QString error;
        auto libUsb = sim::SimBench::loadFile(source + "/sim/benches/default.json", &error);
        ASSERT_TRUE(libUsb) << error.toStdString();
        // The driver is the first model on the box's Dorvane bus.
        simDriver = dynamic_cast<sim::SimDorvaneDriver*>(
            libUsb->boxes().front()->busModel(sim::SimBusModel::Dorvane, 0).get());
        ASSERT_NE(simDriver, nullptr);
        usb = std::make_unique<test::SimUsbUniverse>(libUsb);
        ASSERT_EQ(run(search, R"({"interface_type": "usb"})").code, 0);
        core::Device* box = usb->universe->getDevices().value(0);
        ASSERT_NE(box, nullptr);
        for (core::Universe* child : box->getChildUniverses()) {
            if (child->getName() == QLatin1String("Dorvane"))
                dorvane = child;
        }
        ASSERT_NE(dorvane, nullptr);
        const Outcome found = run(search, QStringLiteral(R"({"universe_id": %1})").arg(dorvane->getId()));
        ASSERT_EQ(found.result.toArray().size(), 1) << found.message.toStdString();
        driver = found.result.toArray().at(0).toObject().value("device_id").toInt();
    }
    void TearDown() override
    {
        core::ProfileManager::instance().SetProfileArray(database.get(), QJsonArray());
        if (core::Universe* universe = RpcDeviceCreate::getVirtualUniverse())
            core::UniverseManager::instance().remove(universe, true);
        usb.reset();
        AbstractRpcMethod::setDatabase(nullptr);
    }

    Outcome run(AbstractRpcMethod& method, const QString& params) { return test::callMethod(method, params); }
    Outcome profileSet(int device, const QString& profile)
    {
        return run(setProfile,
            QStringLiteral(
                R"({"device_id": %1, "profile_name": "%2", "access_level": "dev", "step_info": true})")
                .arg(device)
                .arg(profile));
    }
    QJsonValue value(int device, const char* pid)
    {
        const Outcome read = run(paramGet,
            QStringLiteral(R"({"device_id": %1, "pid": "%2", "update": true})").arg(device).arg(pid));
        EXPECT_EQ(read.code, 0) << pid << ": " << read.message.toStdString();
        return read.result.toObject().value("value");
    }

    QTemporaryDir tmp;
    std::shared_ptr<Data1Database> database;
    std::unique_ptr<test::SimUsbUniverse> usb;
    sim::SimDorvaneDriver* simDriver = nullptr; // owned by the bench's box
    core::Universe* dorvane = nullptr;
    int driver = 0;
    RpcUniverseSearch search;
    RpcDeviceCreate create;
    RpcDeviceParamGet paramGet;
    RpcDeviceProfileSet setProfile;
};

// Step names and results, without times. The parameters of one priority level
// are written in no particular order: their steps are sorted.
QJsonValue shape(const QJsonObject& step)
{
    const QString name = step.value("name").toString();
    QList<QJsonValue> children;
    for (const QJsonValue& child : step.value("children").toArray())
        children.append(shape(child.toObject()));
    if (name.startsWith(QLatin1String("Priority"))) {
        std::sort(children.begin(), children.end(), [](const QJsonValue& a, const QJsonValue& b) {
            return QJsonDocument(a.toArray()).toJson() < QJsonDocument(b.toArray()).toJson();
        });
    }
    QJsonArray node {name, step.value("result")};
    for (const QJsonValue& child : children)
        node.append(child);
    return node;
}

QString compact(const QJsonValue& value)
{
    return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
}

// The stored profile reaches the driver's memory; afterwards the driver went
// through its bootloader back into its application, and its DALI side is
// asked again. A virtual device of the same type takes the same profile
// without any of that; a profile of the product's other type is refused.
TEST_F(DorvaneDriverMethods, ProfileSetWritesTheDriverAndRestartsIt)
{
    const QJsonArray stored = QJsonDocument::fromJson(QStringLiteral(R"([
        {"name": "bench", "type": "%1", "parameters": [
            {"pid": "output_current", "value": 700, "enabled": true},
            {"pid": "dimming_curve", "value": "Linear", "enabled": true},
            {"pid": "dorvane_address", "value": 9, "enabled": true}]},
        {"name": "other bus", "type": "000110_K3408 Dorvane 40W_DORVANE", "parameters": [
            {"pid": "output_current", "value": 500, "enabled": true}]}])")
                                                          .arg(kDriverType)
                                                          .toUtf8())
                                  .array();
    core::ProfileManager::instance().SetProfileArray(database.get(), stored);

    const Outcome onDriver = profileSet(driver, "bench");
    ASSERT_EQ(onDriver.code, 0) << onDriver.message.toStdString();
    const QJsonValue steps = shape(onDriver.result.toObject().value("steps").toObject());
    const QJsonValue golden = QJsonDocument::fromJson(R"x(["ProfileSet", "ok",
        ["is lightshape active", "no"],
        ["Set parameters", "ok",
            ["Priority 0", "ok",
                ["< Get dimming_curve", "[Linear] ok"], ["< Get dorvane_address", "[9] ok"],
                ["< Get output_current", "[700] ok"], ["> Set dimming_curve [Linear]", "ok"],
                ["> Set dorvane_address [9]", "ok"], ["> Set output_current [700]", "ok"]],
            ["Priority 1", "ok"], ["Priority 2", "ok"], ["Priority 3", "ok"], ["Priority 4", "ok"]],
        ["Reset DALI", "skipped: not dt8"],
        ["Post condition", "ok",
            ["Enter bootloader", "ok"], ["Start app", "ok"], ["Query DALI command (workaround)", "ok"]],
        ["Final validation", "ok", ["dimming_curve [Linear]", "ok", ["< Get 'dimming_curve'", "[Linear] ok"]]]])x")
                                  .array();
    EXPECT_EQ(steps, QJsonValue(golden)) << compact(steps).toStdString();
    quint16 word = 0;
    ASSERT_TRUE(simDriver->core().readParameter(81, word));
    EXPECT_EQ(word, 700);
    ASSERT_TRUE(simDriver->core().readParameter(52, word));
    EXPECT_EQ(word, 1); // "Linear", the second curve
    ASSERT_TRUE(simDriver->core().readParameter(10, word));
    EXPECT_EQ(word, 9);
    EXPECT_FALSE(simDriver->core().inBootloader());
    EXPECT_EQ(value(driver, "output_current").toInt(), 700);

    const Outcome made = run(create, QStringLiteral(R"({"profile_type": "%1"})").arg(kDriverType));
    ASSERT_EQ(made.code, 0) << made.message.toStdString();
    const int virtualDevice = made.result.toObject().value("device_id").toInt();
    const Outcome onVirtual = profileSet(virtualDevice, "bench");
    ASSERT_EQ(onVirtual.code, 0) << onVirtual.message.toStdString();
    const QJsonArray tree = shape(onVirtual.result.toObject().value("steps").toObject()).toArray();
    EXPECT_TRUE(tree.contains(QJsonArray({"Post condition", "ok"}))) << compact(tree).toStdString();
    EXPECT_EQ(value(virtualDevice, "output_current").toInt(), 700);
    EXPECT_EQ(value(virtualDevice, "dorvane_address").toInt(), 9);

    const Outcome foreign = profileSet(driver, "other bus");
    EXPECT_EQ(foreign.code, -32000);
    EXPECT_EQ(value(driver, "output_current").toInt(), 700);
}

} // namespace
