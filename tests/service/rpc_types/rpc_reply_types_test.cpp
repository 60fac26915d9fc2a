#include "core/firmware_module.h"
#include "core/parameters/parameter.h"
#include "core/profile/profile.h"
#include "core/profile/profile_type.h"
#include "core/step.h"
#include "fake_product_database.h"
#include "protocol/raw_packet.h"
#include "service/rpc/rpc_types/rpc_type_action_result.h"
#include "service/rpc/rpc_types/rpc_type_firmware_module.h"
#include "service/rpc/rpc_types/rpc_type_packet.h"
#include "service/rpc/rpc_types/rpc_type_profile.h"
#include "service/rpc/rpc_types/rpc_type_raw_send_result.h"
#include "service/rpc/rpc_types/rpc_type_send_result.h"
#include "service/rpc/rpc_types/rpc_type_step.h"
#include "service/rpc_value.h"

#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <memory>

using namespace tarvesk;
using namespace tarvesk::service;

namespace {

// The object as it leaves in a reply (keys come out in ascending order).
QJsonObject json(RpcObject* object)
{
    return RpcValue(object).toJsonValue().toObject();
}

QJsonArray numbers(std::initializer_list<int> values)
{
    QJsonArray array;
    for (int v : values)
        array.append(v);
    return array;
}

QStringList sorted(QStringList keys)
{
    keys.sort();
    return keys;
}

core::Parameter* parameter(const char* id, const char* group, const char* name, const char* level)
{
    auto* p
        = new core::Parameter(QString::fromLatin1(id), core::ITF_RES_BYTE, core::Parameter::PARAM_READ_WRITE);
    p->setGroup(QString::fromLatin1(group));
    p->setDisplayName(QString::fromLatin1(name));
    p->setAccessLevel(QString::fromLatin1(level));
    p->setActualValue(1);
    return p;
}

} // namespace

TEST(RpcReplyTypes, ExactKeysAndValuesOfEachType)
{
    proto::RawPacket answer(QByteArray::fromHex("0a0b"));
    answer.setTimeSinceLast(12.5);
    proto::RawPacket framing(QByteArray::fromHex("0a"));
    framing.setFlags(proto::PACKET_FLAG_FRAME_ERROR);
    proto::RawPacket unhandled(QByteArray::fromHex("0a"));
    unhandled.setFlags(proto::PACKET_FLAG_NOT_HANDLED_BY_MODULE);

    const struct
    {
        const char* name;
        RpcObject* object;
        QJsonObject expected;
    } cases[] = {
        {"raw ok", new RpcTypeRawSendResult("ok", 17, 0), {{"status", "ok"}, {"bytes", numbers({17})}}},
        {"raw ok, vector", new RpcTypeRawSendResult("ok", QVector<int> {1, 2, 300}, 0),
            {{"status", "ok"}, {"bytes", numbers({1, 2, 300})}}},
        {"raw Ok is a failure", new RpcTypeRawSendResult("Ok", 17, 0), {{"status", "Ok"}, {"error_code", 0}}},
        {"raw time-out", new RpcTypeRawSendResult("time-out", 0, -11),
            {{"status", "time-out"}, {"error_code", -11}}},
        {"send failed", new RpcTypeSendResult(-1, &answer, true), {{"status", "error"}}},
        {"send, nothing expected", new RpcTypeSendResult(0, nullptr, false), {{"status", "ok"}}},
        {"send, no answer", new RpcTypeSendResult(0, nullptr, true), {{"status", "timeout"}}},
        {"send, answer", new RpcTypeSendResult(0, &answer, true),
            {{"status", "reply"}, {"bytes", numbers({10, 11})}, {"answer_time", 12.5}}},
        {"send, frame error", new RpcTypeSendResult(0, &framing, true), {{"status", "error"}}},
        {"send, not handled, expected", new RpcTypeSendResult(0, &unhandled, true), {{"status", "timeout"}}},
        {"send, not handled", new RpcTypeSendResult(0, &unhandled, false), {{"status", "ok"}}},
        {"action", new RpcTypeActionResult(QStringLiteral("ok"), QStringLiteral("done")),
            {{"status", "ok"}, {"status_text", "done"}}},
        {"action, values", new RpcTypeActionResult(new RpcValue(3), nullptr),
            {{"status", 3}, {"status_text", QJsonValue::Null}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(json(c.object), c.expected);
    }
}

TEST(RpcReplyTypes, StepTreeNestsChildrenOnlyWhereThereAreAny)
{
    core::Step root(QStringLiteral("ProfileSet"));
    core::Step* set = root.addChild(QStringLiteral("Set parameters"));
    set->addChild(QStringLiteral("Priority 0"))->setResult(QStringLiteral("ok"));
    set->setResult(QStringLiteral("ok"));
    root.setResult(QStringLiteral("error"));

    const QJsonObject tree = json(new RpcTypeStep(&root));
    EXPECT_EQ(sorted(tree.keys()), sorted({"name", "result", "elapsed_time", "children"}));
    EXPECT_EQ(tree.value("name"), "ProfileSet");
    EXPECT_EQ(tree.value("result"), "error");
    const QJsonObject child = tree.value("children").toArray().at(0).toObject();
    EXPECT_EQ(child.value("name"), "Set parameters");
    const QJsonObject leaf = child.value("children").toArray().at(0).toObject();
    EXPECT_EQ(sorted(leaf.keys()), sorted({"name", "result", "elapsed_time"}));
    EXPECT_EQ(leaf.value("result"), "ok");
    // What the step itself says its reply shape is.
    EXPECT_EQ(tree, root.toJson());
}

TEST(RpcReplyTypes, PacketWithNestedSubPackets)
{
    proto::RawPacket packet(QByteArray::fromHex("ff90"));
    auto* sub = new proto::RawPacket(QByteArray::fromHex("01"));
    sub->setSubPacket(new proto::RawPacket(QByteArray::fromHex("02")));
    packet.setSubPacket(sub);
    packet.addAttribute(QStringLiteral("address"), 127);
    QHash<QString, proto::PacketLookupTable*> tables;

    const QJsonObject object = json(new RpcTypePacket(&packet, &tables));
    EXPECT_EQ(sorted(object.keys()),
        sorted({"attributes", "bytes", "packet_log", "byte_hex_string", "packet_type", "sub_packet"}));
    EXPECT_EQ(object.value("bytes"), numbers({0xFF, 0x90}));
    EXPECT_EQ(object.value("byte_hex_string"), "FF90");
    EXPECT_EQ(object.value("attributes").toObject().value("address"), 127);
    const QJsonObject first = object.value("sub_packet").toObject();
    EXPECT_EQ(first.value("bytes"), numbers({1}));
    const QJsonObject second = first.value("sub_packet").toObject();
    EXPECT_EQ(second.value("bytes"), numbers({2}));
    EXPECT_FALSE(second.contains("sub_packet"));

    // A text entry of a log, without tables.
    proto::RawPacket text(QStringLiteral("hello"));
    const QJsonObject entry = json(new RpcTypePacket(&text, nullptr));
    EXPECT_EQ(sorted(entry.keys()),
        sorted({"attributes", "bytes", "packet_log", "byte_hex_string", "packet_type"}));
}

TEST(RpcReplyTypes, ProfileAndProfileType)
{
    test::FakeProductDatabase database;
    core::ProfileType* type = database.addProfileType(QStringLiteral("0001_Box_USB"),
        {parameter("b", "Output", "Beta", "user_basic"), parameter("a", "Output", "Alpha", "user_basic"),
            parameter("c", "Config", "Gamma", "user_basic"), parameter("d", "Config", "Delta", "dev")});
    core::Profile profile(QStringLiteral("production"), QStringLiteral("for the line"), type,
        QStringLiteral("Box"), 1, 2, QStringLiteral("{id}"), 1, 2);
    profile.setDateCreated(QStringLiteral("2026-01-02"));

    const QJsonObject object = json(new RpcTypeProfile(&profile, QStringLiteral("user_basic")));
    EXPECT_EQ(sorted(object.keys()),
        sorted({"name", "description", "type", "version", "id", "date_created", "locked", "driver_info",
            "parameters"}));
    EXPECT_EQ(object.value("name"), "production");
    EXPECT_EQ(object.value("description"), "for the line");
    EXPECT_EQ(object.value("type"), "0001_Box_USB");
    EXPECT_EQ(object.value("version"), profile.getVersionString());
    EXPECT_EQ(object.value("id"), "{id}");
    EXPECT_EQ(object.value("date_created"), "2026-01-02");
    EXPECT_EQ(object.value("locked"), false);
    EXPECT_EQ(object.value("driver_info").toObject(),
        (QJsonObject {{"device_name", "Box"}, {"oem_id", 1}, {"product_id", 2}}));
    // By group, then by display name; only the level asked for.
    QStringList pids;
    for (const QJsonValue& p : object.value("parameters").toArray())
        pids << p.toObject().value("pid").toString();
    EXPECT_EQ(pids, QStringList({"c", "a", "b"}));
    EXPECT_TRUE(
        json(new RpcTypeProfile(&profile, QStringLiteral("oem"))).value("parameters").toArray().isEmpty());

    const QJsonObject typeObject = json(new RpcTypeProfileType(type));
    EXPECT_EQ(sorted(typeObject.keys()), sorted({"name", "display_name", "parameters"}));
    EXPECT_EQ(typeObject.value("name"), "0001_Box_USB");
    EXPECT_EQ(typeObject.value("display_name"), "0001_Box_USB");
    EXPECT_EQ(typeObject.value("parameters").toArray().size(), 4);
}

TEST(RpcReplyTypes, FirmwareModuleAndBack)
{
    core::FirmwareModule module(nullptr);
    ASSERT_TRUE(module.fromFileNameString(QStringLiteral("i001v00203s008p05test.hex")));
    const QStringList always = {"module_version", "module_subversion", "module_size", "module_page",
        "module_id", "module_name", "start_address", "end_address", "module_encryption", "device_address",
        "module_subsection", "raw_filename", "comment", "debug_version"};
    const struct
    {
        unsigned char address;
        const char* family; // null: no "device_name"
    } cases[] = {{0, "Presmonde"}, {4, "Ostrevanne"}, {2, nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.address));
        const QJsonObject object = json(new RpcTypeFirmwareModule(&module, c.address));
        EXPECT_EQ(sorted(object.keys()), sorted(c.family ? always + QStringList {"device_name"} : always));
        if (c.family) {
            EXPECT_EQ(object.value("device_name"), c.family);
        }
        EXPECT_EQ(object.value("device_address"), c.address);
    }
    const QJsonObject object = json(new RpcTypeFirmwareModule(&module, 0));
    EXPECT_EQ(object.value("module_id"), 1);
    EXPECT_EQ(object.value("module_version"), 2);
    EXPECT_EQ(object.value("module_subversion"), 3);
    EXPECT_EQ(object.value("module_size"), 8);
    EXPECT_EQ(object.value("comment"), "test");
    EXPECT_EQ(object.value("debug_version"), true);
    EXPECT_EQ(object.value("module_page"), module.getStartAddress() / 2048);
    EXPECT_EQ(object.value("module_subsection"), (module.getStartAddress() % 2048) / 256);

    // Back: the file name carries the fields, the encryption replaces its extension.
    RpcTypeFirmwareModule reply(&module, 0);
    reply.addChild(QStringLiteral("module_encryption"), new RpcValue(QStringLiteral("enc")));
    std::unique_ptr<core::FirmwareModule> back(reply.fromRpcObject());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->getModuleId(), 1);
    EXPECT_EQ(back->getModuleVersion(), 2);
    EXPECT_EQ(back->getModuleSubversion(), 3);
    EXPECT_EQ(back->getModuleSize(), 8);
    EXPECT_EQ(back->getStartAddress(), module.getStartAddress());
    EXPECT_EQ(back->getEncryptionType(), "enc");
    EXPECT_EQ(back->getFileName(), "i001v00203s008p05test.enc");

    // Without a file name the numbers and addresses are taken as given.
    RpcObject plain;
    for (const auto& [key, value] : {std::pair {"module_id", 5}, std::pair {"module_size", 2},
             std::pair {"module_version", 7}, std::pair {"module_subversion", 1},
             std::pair {"start_address", 4096}, std::pair {"end_address", 4607}})
        plain.addChild(QLatin1String(key), new RpcValue(value));
    back.reset(RpcTypeFirmwareModule::fromRpcObject(plain));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->getModuleId(), 5);
    EXPECT_EQ(back->getStartAddress(), 4096);
    EXPECT_EQ(back->getEndAddress(), 4607);
    plain.removeChild(QStringLiteral("module_version"));
    EXPECT_EQ(RpcTypeFirmwareModule::fromRpcObject(plain), nullptr);
}
