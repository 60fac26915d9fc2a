#include "../probe_method.h"
#include "method_call.h"
#include "service/rpc/rpc_methods/rpc_method_factory.h"
#include "service/rpc/rpc_methods/system/rpc_system_method_params_list.h"
#include "service/string_exception.h"

#include <QJsonArray>
#include <QJsonObject>

using namespace tarvesk;
using namespace tarvesk::service;
using tarvesk::test::MethodFrameworkTest;

namespace {

QJsonObject declared(const char* name, bool required, int typeId, const char* typeName, const QJsonValue& def)
{
    return {{"name", name}, {"required", required},
        {"type", QJsonObject {{"id", typeId}, {"name", typeName}}}, {"default", def}};
}

TEST_F(MethodFrameworkTest, MethodParamsListDescribesTheDeclaredParameters)
{
    RpcSystemMethodParamsList method;
    const auto of = [&](const QString& name) {
        return test::callMethod(method, QStringLiteral(R"({"method": "%1"})").arg(name));
    };
    EXPECT_EQ(of("universe.list").result.toArray(),
        (QJsonArray {declared("interface_type", false, 0, "string", "all")}));
    const QJsonArray dali = of("dali.send").result.toArray();
    ASSERT_GE(dali.size(), 3);
    EXPECT_EQ(dali[0].toObject(), declared("universe_id", true, 2, "integer", -1));
    EXPECT_EQ(dali[1].toObject(), declared("bytes", true, 0, "string", ""));
    EXPECT_EQ(dali[2].toObject().value("name"), "debug_level");
    EXPECT_EQ(dali[2].toObject().value("default"), 0);
    EXPECT_EQ(of("profile.remove").result.toArray()[1].toObject(),
        declared("profile_names", false, 11, "array of strings", ""));
    EXPECT_EQ(of("system.listMethods").result.toArray(), QJsonArray());

    // Every name of the table answers: its parameters, or that it has no class yet.
    RpcMethodCachedFactory factory;
    for (const QString& name : RpcMethodCachedFactory::tableNames()) {
        SCOPED_TRACE(name.toStdString());
        const test::MethodOutcome outcome = of(name);
        bool built = true;
        try {
            factory.create(name);
        } catch (const StringException&) {
            built = false;
        }
        if (built) {
            EXPECT_EQ(outcome.code, 0) << outcome.message.toStdString();
            EXPECT_TRUE(outcome.result.isArray());
        } else {
            EXPECT_EQ(outcome.code, -32603);
            EXPECT_TRUE(outcome.message.contains("missing implementation for creation of method"))
                << outcome.message.toStdString();
        }
    }
    EXPECT_EQ(of("script.run").code, -32603);
    EXPECT_EQ(of("no.such.method").code, -32602);
    EXPECT_EQ(test::callMethod(method, "{}").code, -32602);

    const std::pair<RpcRequestParameter::Type, const char*> names[] = {{RpcRequestEnums::TYPE_ANY, "string"},
        {RpcRequestEnums::TYPE_BOOL, "boolean"}, {RpcRequestEnums::TYPE_INTEGER, "integer"},
        {RpcRequestEnums::TYPE_NUMBER, "integer"}, {RpcRequestEnums::TYPE_STRING, "string"},
        {RpcRequestEnums::TYPE_STRING_ARRAY, "array of strings"}};
    for (const auto& [type, text] : names)
        EXPECT_EQ(RpcSystemMethodParamsList::typeIdToString(type), QLatin1String(text)) << int(type);
}

} // namespace
