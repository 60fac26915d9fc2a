#include "core/device.h"
#include "core/parameters/raw_parameter_interface.h"
#include "core/universe.h"
#include "core/universe_manager.h"
#include "method_call.h"
#include "service/database/data1_database.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/device/rpc_device_create.h"
#include "service/rpc/rpc_methods/device/rpc_device_param_get.h"
#include "service/rpc/rpc_methods/device/rpc_device_param_set.h"
#include "service/rpc/rpc_methods/device/rpc_device_type_list.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tarvesk;
using namespace tarvesk::service;

namespace {

using Outcome = test::MethodOutcome;

// The sample package's database; the methods run as the server runs them.
class DeviceCreate : public ::testing::Test
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
        if (core::Universe* universe = RpcDeviceCreate::getVirtualUniverse())
            core::UniverseManager::instance().remove(universe, true);
        AbstractRpcMethod::setDatabase(nullptr);
    }

    Outcome run(AbstractRpcMethod& method, const QString& params) { return test::callMethod(method, params); }

    QTemporaryDir tmp;
    std::shared_ptr<Data1Database> database;
    RpcDeviceCreate create;
    RpcDeviceTypeList typeList;
    RpcDeviceParamGet paramGet;
    RpcDeviceParamSet paramSet;
};

TEST_F(DeviceCreate, EveryListedProfileTypeMakesAVirtualDeviceOfThatTypeInOneUniverse)
{
    QStringList types;
    for (const QJsonValue& product : run(typeList, "{}").result.toObject().value("devices").toArray()) {
        for (const QJsonValue& profile : product.toObject().value("profiles").toArray())
            types << profile.toObject().value("type").toString();
    }
    ASSERT_GE(types.size(), 5);
    QSet<int> universes;
    QSet<int> ids;
    for (const QString& type : types) {
        SCOPED_TRACE(type.toStdString());
        const Outcome made = run(create, QStringLiteral(R"({"profile_type": "%1"})").arg(type));
        ASSERT_EQ(made.code, 0) << made.message.toStdString();
        const QJsonObject device = made.result.toObject();
        // The type made from, also where the product record names another for the bus.
        EXPECT_EQ(device.value("profile_type").toString(), type);
        EXPECT_EQ(device.value("version").toInt(), 271);
        EXPECT_EQ(device.value("subversion").toInt(), 0);
        EXPECT_EQ(device.value("state").toString(), QStringLiteral("OK"));
        EXPECT_EQ(device.value("raw_parameter_interfaces").toArray(), QJsonArray({"presmonde"}));
        universes << device.value("universe_id").toInt();
        ids << device.value("device_id").toInt();
    }
    EXPECT_EQ(universes.size(), 1);
    EXPECT_EQ(ids.size(), types.size());
    core::Universe* universe = RpcDeviceCreate::getVirtualUniverse();
    ASSERT_NE(universe, nullptr);
    EXPECT_EQ(universe->getId(), *universes.begin());
    EXPECT_EQ(universe->getName(), QStringLiteral("Virtual"));
    EXPECT_EQ(universe->getDevices().size(), types.size());
}

TEST_F(DeviceCreate, UnknownOrMissingTypeIsRefused)
{
    const Outcome unknown = run(create, R"({"profile_type": "000000_Nothing_DMX"})");
    EXPECT_EQ(unknown.code, -32603);
    EXPECT_TRUE(
        unknown.message.contains(QStringLiteral("profile type 000000_Nothing_DMX not found in database.")))
        << unknown.message.toStdString();
    EXPECT_NE(run(create, "{}").code, 0);
}

// A value written through a parameter lands in the device's own memory and reads back.
TEST_F(DeviceCreate, ParametersOfAVirtualDeviceReadBackWhatWasWritten)
{
    const QString params = R"({"profile_type": "000110_K3408 Dorvane 40W_DORVANE"})";
    const int first = run(create, params).result.toObject().value("device_id").toInt();
    const int second = run(create, params).result.toObject().value("device_id").toInt();
    ASSERT_NE(first, second);
    const Outcome set = run(
        paramSet, QStringLiteral(R"({"device_id": %1, "pid": "output_current", "value": 700})").arg(first));
    ASSERT_EQ(set.code, 0) << set.message.toStdString();
    const QString get = QStringLiteral(R"({"device_id": %1, "pid": "output_current", "update": true})");
    EXPECT_EQ(run(paramGet, get.arg(first)).result.toObject().value("value").toInt(), 700);
    EXPECT_EQ(run(paramGet, get.arg(second)).result.toObject().value("value").toInt(), 0);
    // The word sits big-endian at the parameter's address in the "presmonde" memory.
    core::Device* device = RpcDeviceCreate::getVirtualUniverse()->getDevices().value(0);
    ASSERT_NE(device, nullptr);
    unsigned high = 0;
    unsigned low = 0;
    auto* memory = device->getRawParameterInterface(QStringLiteral("presmonde"));
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(memory->getParameter(core::ITF_RES_BYTE, 81, high), 0);
    EXPECT_EQ(memory->getParameter(core::ITF_RES_BYTE, 82, low), 0);
    EXPECT_EQ(high << 8 | low, 700u);
}

} // namespace
