#include "probe_method.h"
#include "qt_printers.h"
#include "service/rpc/rpc_methods/rpc_method_factory.h"
#include "service/rpc/rpc_methods/system/rpc_system_list_methods.h"
#include "service/string_exception.h"

#include <QSet>

using namespace tarvesk::service;
using tarvesk::test::MethodFrameworkTest;
using tarvesk::test::ProbeFactory;

namespace {

QString failureOf(AbstractRpcMethodCachedFactory& factory, const QString& name)
{
    try {
        factory.create(name);
    } catch (const StringException& e) {
        return e.message();
    }
    return QString();
}

TEST_F(MethodFrameworkTest, FactoryMakesOneObjectPerNameAndDeletesItOnce)
{
    int destroyed = 0;
    {
        ProbeFactory factory;
        AbstractRpcMethod* first = factory.create("device.list");
        QObject::connect(first, &QObject::destroyed, [&] { ++destroyed; });
        RpcRequest request("device.list");
        EXPECT_EQ(factory.create(&request), first);
        EXPECT_NE(factory.create("device.ping"), first);
        EXPECT_EQ(factory.made, 2);
        EXPECT_EQ(destroyed, 0);
    }
    EXPECT_EQ(destroyed, 1);
}

TEST_F(MethodFrameworkTest, FactoryRefusesNamesClientsMayNotCall)
{
    ProbeFactory factory;
    EXPECT_TRUE(failureOf(factory, "Device.List").startsWith("Invalid method name 'Device.List'  @ "));
    EXPECT_TRUE(failureOf(factory, "").startsWith("Invalid method name ''"));
    try {
        factory.create(static_cast<RpcRequest*>(nullptr));
        ADD_FAILURE();
    } catch (const StringException& e) {
        EXPECT_TRUE(e.message().startsWith("A request must be provided, nullptr not allowed."));
    }

    AbstractRpcMethod::setApiMode(true);
    EXPECT_TRUE(failureOf(factory, "device.list").startsWith("Invalid method name 'device.list'"));
    EXPECT_TRUE(failureOf(factory, "device.create").isEmpty());
    EXPECT_EQ(factory.made, 1);
}

TEST_F(MethodFrameworkTest, NameWithoutClassFailsEveryTimeAndIsNeverCached)
{
    ProbeFactory factory;
    factory.make = [](const QString&) -> AbstractRpcMethod* { return nullptr; };
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(failureOf(factory, "script.run")
                        .startsWith("missing implementation for creation of method "
                                    "'script.run'"));
    }
    EXPECT_EQ(factory.made, 2);

    RpcMethodCachedFactory real;
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(failureOf(real, "script.run")
                        .startsWith("missing implementation for creation of method "
                                    "'script.run'  @ "));
}

TEST_F(MethodFrameworkTest, MethodTableCoversTheAllowedNames)
{
    // The allowed names that have no method class at all.
    const QSet<QString> withoutClass = {"marlowfinch.eeprom.read", "marlowfinch.test",
        "device.firmware.verify", "device.firmware.correct.checksums", "device.profile.get",
        "device.profile.verify", "script.run", "scpi.send", "setpoint.send", "packet.query", "packet.create"};
    const QStringList table = RpcMethodCachedFactory::tableNames();
    const QStringList allowed = AbstractRpcMethod::commandNames();

    EXPECT_EQ(table.size(), 64);
    EXPECT_EQ(QSet<QString>(table.begin(), table.end()).size(), 64);
    EXPECT_EQ(table.first(), QString("system.listMethods"));
    EXPECT_EQ(table.last(), QString("database.module.get"));
    EXPECT_EQ(QSet<QString>(allowed.begin(), allowed.end()) - QSet<QString>(table.begin(), table.end()),
        withoutClass);
    for (const QString& name : withoutClass)
        EXPECT_FALSE(table.contains(name)) << name.toStdString();
}

TEST_F(MethodFrameworkTest, TableBuildsSystemListMethods)
{
    RpcMethodCachedFactory factory;
    AbstractRpcMethod* method = factory.create("system.listMethods");
    ASSERT_NE(qobject_cast<RpcSystemListMethods*>(method), nullptr);
    EXPECT_EQ(method->getName(), QString("system.listMethods"));
    EXPECT_EQ(factory.create("system.listMethods"), method);
}

} // namespace
