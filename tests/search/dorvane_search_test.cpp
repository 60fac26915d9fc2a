#include "core/device.h"
#include "core/universe.h"
#include "core/universe_manager.h"
#include "dorvane/sim_dorvane_driver.h"
#include "dorvane/sim_dorvane_slave_module.h"
#include "method_call.h"
#include "service/database/data1_database.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/universe/rpc_universe_search.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "sim_usb_universe.h"
#include "sim_vandrel_box.h"
#include "universes/usb_universe.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tarvesk;
using namespace tarvesk::service;

namespace {

struct Outcome
{
    int code = 0;
    QString message;
    QJsonArray devices;
};

// One box with the given Dorvane models, found by the USB search, with the
// sample product database; the search runs as the server runs it.
class DorvaneSearchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString build = qEnvironmentVariable("QM_BUILD_DIR");
        if (build.isEmpty())
            GTEST_SKIP() << "QM_BUILD_DIR not set (run through ctest)";
        ASSERT_TRUE(QFile::copy(build + "/data.1", tmp.filePath("data.1")));
        database = std::make_shared<Data1Database>();
        database->setPackageFolder(tmp.path());
        database->setFirmwareCacheFolder(tmp.filePath("cache"));
        ASSERT_TRUE(database->initialize(false));
        AbstractRpcMethod::setDatabase(database);
    }
    void TearDown() override
    {
        usb.reset();
        AbstractRpcMethod::setDatabase(nullptr);
    }

    // A box (newer release, Dorvane master, DMX-SPI) in that Dorvane mode (register 48).
    void makeBox(int mode, quint16 release = 0x2014)
    {
        auto libUsb = std::make_shared<sim::SimLibUsb>();
        usb = std::make_unique<test::SimUsbUniverse>(libUsb);
        sim::SimBoxConfig config;
        config.capabilities = 0x06;
        config.release = release;
        box = libUsb->addBox(config);
        box->setRegister(sim::SimVandrelBox::DorvaneModeRegister, quint16(mode));
    }

    Outcome search(const QString& params)
    {
        if (!dorvane) {
            EXPECT_EQ(run(R"({"interface_type": "usb"})").code, 0);
            core::Device* vandrel = usb->universe->getDevices().value(0);
            for (core::Universe* child : vandrel ? vandrel->getChildUniverses() : QList<core::Universe*>()) {
                if (child->getName() == QLatin1String("Dorvane"))
                    dorvane = child;
            }
        }
        if (!dorvane)
            return {-1, QStringLiteral("no Dorvane universe"), {}};
        return run(QStringLiteral(R"({"universe_id": %1%2})").arg(dorvane->getId()).arg(params));
    }

    Outcome run(const QString& params)
    {
        const test::MethodOutcome call = test::callMethod(method, params);
        return {call.code, call.message, call.result.toArray()};
    }

    QTemporaryDir tmp;
    std::shared_ptr<Data1Database> database;
    std::unique_ptr<test::SimUsbUniverse> usb;
    std::shared_ptr<sim::SimVandrelBox> box;
    core::Universe* dorvane = nullptr;
    RpcUniverseSearch method;
};

constexpr int Dv1Device = 2; // the box's mode numbers
constexpr int Dv2Host = 3;

TEST_F(DorvaneSearchTest, TellsTheDriverByItsVersion)
{
    const struct
    {
        const char* what;
        bool legacy;
        quint16 version;
        quint16 productId;
        const char* name; // empty: nothing found
    } rows[] = {
        {"current, identity at 0x97 and 0x301", false, 269, 16, "K3408 Dorvane 40W"},
        {"current, identity at 0x3FF9 and 0x3FF8", false, 270, 16, "K3408 Dorvane 40W"},
        {"legacy: word 0 reads 0x12, a legacy driver", true, 0x12, 10, "K2100 Single"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        makeBox(Dv1Device);
        sim::SimDorvaneDriver::Config config;
        config.legacy = row.legacy;
        config.identity.version = row.version;
        config.identity.productId = row.productId;
        box->addBusModel(std::make_shared<sim::SimDorvaneDriver>(config));
        const Outcome found = search("");
        ASSERT_EQ(found.code, 0) << found.message.toStdString();
        ASSERT_EQ(found.devices.size(), 1);
        const QJsonObject device = found.devices.at(0).toObject();
        EXPECT_EQ(device.value("device_name").toString(), QLatin1String(row.name));
        EXPECT_EQ(device.value("version").toInt(), row.version);
        EXPECT_EQ(device.value("product_id").toInt(), row.productId);
        dorvane = nullptr;
        usb.reset();
    }
}

TEST_F(DorvaneSearchTest, NothingOnThePortOrADriverThatStopsAnswering)
{
    makeBox(Dv1Device);
    EXPECT_EQ(search("").devices.size(), 0);

    sim::SimDorvaneDriver::Config config;
    config.faults.silent = -1;
    box->addBusModel(std::make_shared<sim::SimDorvaneDriver>(config));
    const Outcome silent = search("");
    EXPECT_EQ(silent.code, 0) << silent.message.toStdString();
    EXPECT_EQ(silent.devices.size(), 0);
}

TEST_F(DorvaneSearchTest, SlaveModulesInAscendingOrder)
{
    makeBox(Dv2Host);
    for (int index : {7, 2, 5}) {
        auto module = std::make_shared<sim::SimDorvaneSlaveModule>(
            sim::SimDorvaneSlaveModule::Generation::Dv2, index);
        module->setRamWord(30, quint16(0x0100 | index));
        module->setRamWord(28, 0x0001);
        box->addBusModel(module);
    }
    const Outcome found = search(R"(, "search_protocol": "dv1_device")");
    ASSERT_EQ(found.code, 0) << found.message.toStdString();
    QList<int> subversions;
    for (const QJsonValue& device : found.devices)
        subversions << device.toObject().value("subversion").toInt();
    EXPECT_EQ(subversions, QList<int>({2, 5, 7}));
}

TEST_F(DorvaneSearchTest, SlaveSearchStopsWhenTheBoxRefusesTheHostMode)
{
    // The older box keeps its mode in its controller's configuration word and
    // has no Dorvane 2 host mode.
    makeBox(Dv1Device, 0x1810);
    box->dorvaneController().setRamWord(sim::SimDorvaneController::ConfigAddress, 0x04);
    box->addBusModel(
        std::make_shared<sim::SimDorvaneSlaveModule>(sim::SimDorvaneSlaveModule::Generation::Dv2, 2));
    const Outcome refused = search(R"(, "search_protocol": "dv2_device")");
    EXPECT_EQ(refused.code, -32603);
    EXPECT_TRUE(refused.message.contains(QStringLiteral("Unsupported parameter"), Qt::CaseInsensitive))
        << refused.message.toStdString();
    // The modules were not asked in a mode they do not answer in.
    EXPECT_EQ(box->dorvaneMode(), sim::SimDorvaneController::Mode::Dv1Device);
}

} // namespace
