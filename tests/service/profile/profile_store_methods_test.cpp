#include "core/profile/iprofile_type_parameters.h"
#include "core/profile/profile.h"
#include "core/profile/profile_type.h"
#include "profile_methods_fixture.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_create.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_duplicate.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_list.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_param_create.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_param_get.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_param_list.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_param_set.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_remove.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_type_list.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_type_param_create.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_type_param_list.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_update.h"

using namespace tarvesk;
using namespace tarvesk::service;

namespace {

class ProfileStore : public test::ProfileMethods
{
protected:
    void SetUp() override
    {
        test::ProfileMethods::SetUp();
        for (const char* name : {"Night", "Day"}) {
            const test::MethodOutcome made = run(create,
                QStringLiteral(R"({"profile_name": "%1", "profile_description": "", "profile_type": "%2"})")
                    .arg(QLatin1String(name), QLatin1String(typeName)));
            ASSERT_EQ(made.code, 0) << made.message.toStdString();
        }
    }

    core::Profile* stored(const QString& name) const
    {
        return qobject_cast<core::Profile*>(
            core::ProfileManager::instance().getItemByAttribute("name", name));
    }

    static QStringList pidsOf(const QJsonValue& parameters)
    {
        QStringList pids;
        for (const QJsonValue& p : parameters.toArray())
            pids << p.toObject().value("pid").toString();
        return pids;
    }

    void expectError(const test::MethodOutcome& outcome, int code, const QString& text)
    {
        EXPECT_EQ(outcome.code, code) << outcome.message.toStdString();
        EXPECT_TRUE(outcome.message.contains(text)) << outcome.message.toStdString();
    }

    RpcProfileCreate create;
    RpcProfileList list;
    RpcProfileRemove remove;
    RpcProfileTypeList typeList;
    RpcProfileUpdate update;
    RpcProfileDuplicate duplicate;
    RpcProfileParamList paramList;
    RpcProfileParamGet paramGet;
    RpcProfileParamSet paramSet;
    RpcProfileParamCreate paramCreate;
    RpcProfileTypeParamCreate typeParamCreate;
    RpcProfileTypeParamList typeParamList;
};

TEST_F(ProfileStore, ListRemoveAndTypeNames)
{
    EXPECT_EQ(run(list, "{}").result.toArray().size(), 2);
    const QJsonArray dev = run(list, R"({"access_level": "dev"})").result.toArray();
    EXPECT_EQ(pidsOf(dev.first().toObject().value("parameters")), QStringList({"secret", "version"}));

    // The first name removes Night, the second finds nothing any more.
    EXPECT_EQ(run(remove, R"({"profile_names": ["NIGHT", "night", "Nobody"]})").result.toObject(),
        (QJsonObject {{"deleted", QJsonArray {"NIGHT"}}, {"notFound", QJsonArray {"night", "Nobody"}}}));
    EXPECT_EQ(run(remove, R"({"profile_name": ""})").result.toObject(),
        (QJsonObject {{"deleted", QJsonArray()}, {"notFound", QJsonArray()}}));
    expectError(run(remove, R"({"profile_name": "Day", "profile_names": []})"), -32603,
        "Only one of two provided parameters ('profile_name' or 'profile_names')");
    expectError(
        run(remove, "{}"), -32603, "At least one of two parameters ('profile_name' or 'profile_names')");
    EXPECT_EQ(run(list, "{}").result.toArray().size(), 1);

    // By code unit: digits, then upper case, then lower case.
    database->addProfileType("010000_b_DMX", {});
    database->addProfileType("00ff00_B_DMX", {});
    EXPECT_EQ(run(typeList, "null").result.toArray(),
        (QJsonArray {"000000_Empty_DMX", "000a2b_Lumo 40W_DMX", "00ff00_B_DMX", "010000_b_DMX"}));
}

TEST_F(ProfileStore, UpdateAndDuplicateWorkOnTheClientsText)
{
    const QString text = R"({"profile_data": "{\"name\": \"N\", \"id\": \"{old}\"}"})";
    EXPECT_EQ(run(update, text).result.toObject(), (QJsonObject {{"name", "N"}, {"id", "{old}"}}));
    const QJsonObject first = run(duplicate, text).result.toObject();
    const QJsonObject second = run(duplicate, text).result.toObject();
    EXPECT_EQ(first.value("name"), "N");
    EXPECT_EQ(first.value("id").toString().size(), 38);
    EXPECT_NE(first.value("id"), second.value("id"));
    EXPECT_EQ(first.value("date_created"), QDate::currentDate().toString("dd MMM yyyy"));

    for (AbstractRpcMethod* method :
        {static_cast<AbstractRpcMethod*>(&update), static_cast<AbstractRpcMethod*>(&duplicate)}) {
        expectError(run(*method, R"({"profile_data": "[]"})"), -32700,
            "Invalid JSON profile profile data provided, Must be a stringified json object");
        expectError(run(*method, R"({"profile_data": "{"})"), -32700, "Invalid JSON file content.");
        EXPECT_EQ(run(*method, R"({"profile_data": {}})").code, -32602);
    }
    EXPECT_EQ(core::ProfileManager::instance().count(), 2);
}

TEST_F(ProfileStore, ParametersOfAStoredProfile)
{
    // "user_basic" leaves out "dev" and "user_advanced"; disabled ones never show.
    EXPECT_EQ(pidsOf(run(paramList, R"({"profile_name": "night"})").result),
        QStringList(
            {"fade_time", "light_shaping_active", "light_shaping_settings", "dim_level", "output_current"}));
    EXPECT_EQ(
        pidsOf(run(paramList, R"({"profile_name": "Night", "access_level": "user_advanced"})").result).size(),
        6);
    EXPECT_EQ(pidsOf(run(paramList, R"({"profile_name": "Night", "access_level": "dev"})").result).size(), 8);

    // Rounded to the step, held within the limits, stored in that profile only.
    const struct
    {
        QString value;
        int stored;
    } sets[] = {{"2000", 1000}, {"350.4", 350}, {"\"600\"", 600}, {"1", 100}};
    for (const auto& s : sets) {
        SCOPED_TRACE(s.value.toStdString());
        const test::MethodOutcome set = run(paramSet,
            QStringLiteral(R"({"profile_name": "NIGHT", "pid": "output_current", "value": %1})")
                .arg(s.value));
        ASSERT_EQ(set.code, 0) << set.message.toStdString();
        EXPECT_EQ(set.result.toObject().value("value"), s.stored);
        EXPECT_EQ(run(paramGet, R"({"profile_name": "Night", "pid": "output_current"})")
                      .result.toObject()
                      .value("value"),
            s.stored);
    }
    EXPECT_EQ(stored("Day")->getParameter("output_current")->getActualValue(), 500);
    // Every level is reachable by pid, "dev" included.
    EXPECT_EQ(run(paramSet, R"({"profile_name": "Night", "pid": "secret", "value": 4})")
                  .result.toObject()
                  .value("value"),
        4);

    // A value the parameter refuses: -32602 naming the pid, the value kept.
    expectError(run(paramSet, R"({"profile_name": "Night", "pid": "output_current", "value": "lots"})"),
        -32602, "output_current");
    EXPECT_EQ(stored("Night")->getParameter("output_current")->getActualValue(), 100);

    expectError(run(paramGet, R"({"profile_name": "Nobody", "pid": "x"})"), -32602,
        "no profile available with name: 'Nobody'");
    expectError(run(paramSet, R"({"profile_name": "Night", "pid": "Output_current", "value": 1})"), -32602,
        "no param 'Output_current' available in profile 'Night'");
    run(create, R"({"profile_name": "Bare", "profile_description": "", "profile_type": "000000_Empty_DMX"})");
    expectError(run(paramGet, R"({"profile_name": "Bare", "pid": "x"})"), -32603,
        "profile 'Bare' has no parameters. database may be corrupted!");
    expectError(run(paramSet, R"({"profile_name": "Bare", "pid": "x", "value": 1})"), -32602,
        "no param 'x' available in profile 'Bare'");
}

TEST_F(ProfileStore, RawParametersOfAProfile)
{
    const test::MethodOutcome gain
        = run(paramCreate, R"({"profile_name": "night", "label": "Gain", "address": 12, "value": 5})");
    ASSERT_EQ(gain.code, 0) << gain.message.toStdString();
    EXPECT_EQ(gain.result.toObject().value("pid"), "RAW_Gain");
    EXPECT_EQ(gain.result.toObject().value("value"), 5);
    core::IParameter* stored = this->stored("Night")->getParameter("RAW_Gain");
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->getAddress(), 12);
    EXPECT_EQ(stored->getAccessLevel(), "user_basic");
    EXPECT_EQ(stored->getNetworkResolution(), core::ITF_RES_BYTE);
    EXPECT_EQ(qobject_cast<core::Parameter*>(stored)->getRawInterfaceIdentifier(), "presmonde");

    // Again: the stored parameter stays as it is, and the reply shows it.
    const test::MethodOutcome again
        = run(paramCreate, R"({"profile_name": "Night", "label": "Gain", "address": 12, "value": 9})");
    EXPECT_EQ(again.result.toObject().value("value"), 5);
    EXPECT_EQ(stored->getActualValue(), 5);

    EXPECT_EQ(
        run(paramCreate,
            R"({"profile_name": "Night", "label": "Wide", "address": 1, "value": 65535, "resolution": "16 bit"})")
            .code,
        0);
    EXPECT_EQ(this->stored("Night")->getParameter("RAW_Wide")->getNetworkResolution(), core::ITF_RES_WORD);

    const struct
    {
        QString params;
        QString error;
    } refused[] = {
        {R"({"profile_name": "Nobody", "label": "a", "address": -1})",
            "invalid value -1, stored value can not be a negative number."},
        {R"({"profile_name": "Nobody", "label": "a", "address": 1})",
            "no profile available with name: 'Nobody'"},
        {R"({"profile_name": "Night", "label": "a", "address": 1, "value": -3})",
            "invalid value -3, stored value can not be a negative number."},
        {R"({"profile_name": "Night", "label": "a", "address": 1, "value": 256})", "invalid value 256"},
        {R"({"profile_name": "Night", "label": "a", "address": 1, "resolution": "24 bit"})",
            "Unknown resolution '24 bit'"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.params.toStdString());
        expectError(run(paramCreate, r.params), -32602, r.error);
    }
    EXPECT_EQ(this->stored("Night")->getParameter("RAW_a"), nullptr);
}

TEST_F(ProfileStore, RawParametersOfAProfileType)
{
    const QString add = QStringLiteral(
        R"({"profile_name": "%1", "label": "%2", "address": %3, "value": %4, "resolution": "%5"})");
    const test::MethodOutcome word = run(typeParamCreate, add.arg(typeName, "gain", "-4", "513", "16 bit"));
    ASSERT_EQ(word.code, 0) << word.message.toStdString();
    EXPECT_EQ(word.result.toObject().value("name"), typeName);
    EXPECT_TRUE(pidsOf(word.result.toObject().value("parameters")).contains("gain"));
    core::IParameter* gain = type->getParameters()->getParameterInterface("gain");
    ASSERT_NE(gain, nullptr);
    EXPECT_EQ(gain->getNetworkResolution(), core::ITF_RES_WORD);
    EXPECT_EQ(gain->getAddress(), -4);
    EXPECT_EQ(gain->getActualValue(), 513);

    // An earlier raw parameter may be replaced; one of the database may not.
    ASSERT_EQ(run(typeParamCreate, add.arg(typeName, "gain", "8", "-0.4", "ITF_RES_LONG")).code, 0);
    gain = type->getParameters()->getParameterInterface("gain");
    EXPECT_EQ(gain->getNetworkResolution(), core::ITF_RES_LONG);
    EXPECT_EQ(gain->getActualValue(), 0);

    const struct
    {
        QString params;
        QString error;
    } refused[] = {
        {add.arg("000000_Nothing_DMX", "x", "1", "1", "8 bit"),
            "no profile type with name '000000_Nothing_DMX' exists"},
        {add.arg(typeName, "x", "1", "-0.6", "8 bit"),
            "invalid value, stored value can not be a negative number: -1"},
        {add.arg(typeName, "x", "1", "1", "24 bit"), "Unknown resolution '24 bit'"},
        {add.arg(typeName, "x", "1", "70000", "16 bit"), "invalid value 70000"},
        {add.arg(typeName, "output_current", "1", "1", "8 bit"), "output_current"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.params.toStdString());
        expectError(run(typeParamCreate, r.params), -32602, r.error);
    }
    EXPECT_EQ(type->getParameters()->getParameterInterface("x"), nullptr);
    EXPECT_EQ(type->getParameters()->getParameterInterface("output_current")->getGroup(), "Output");

    // Listed by level (disabled ones too), then by group and display name.
    EXPECT_EQ(pidsOf(run(typeParamList, QStringLiteral(R"({"profile_name": "%1"})").arg(typeName)).result),
        QStringList({"unused", "light_shaping_active", "light_shaping_settings", "dim_level",
            "output_current", "gain"}));
    EXPECT_EQ(pidsOf(run(typeParamList,
                         QStringLiteral(R"({"profile_name": "%1", "access_level": "dev"})").arg(typeName))
                         .result)
                  .size(),
        10);
    EXPECT_EQ(
        run(typeParamList, QStringLiteral(R"({"profile_name": "%1", "access_level": "guest"})").arg(typeName))
            .result.toArray(),
        QJsonArray());
}

} // namespace
