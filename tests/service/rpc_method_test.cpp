#include "probe_method.h"
#include "qt_printers.h"
#include "service/json_rpc_exception.h"
#include "service/rpc_value.h"
#include "service/string_exception.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <stdexcept>

using namespace tarvesk::service;
using tarvesk::test::MethodFrameworkTest;
using tarvesk::test::ProbeMethod;

namespace {

using E = RpcRequestEnums;

// A name clients may call that has no method class of its own.
const QString kProbe = QStringLiteral("device.list");

struct Outcome
{
    int code = 0;
    QString message;
};

Outcome run(AbstractRpcMethod& method, RpcRequest* request, RpcResponse* response, bool skip = false)
{
    try {
        const RpcMethodError result = method.execute(request, response, skip);
        return {result.getErrorCode(), result.getErrorMessage()};
    } catch (const JsonRpcException& e) {
        return {e.code(), e.message()};
    }
}

std::unique_ptr<RpcRequest> requestWithParams(const char* params)
{
    auto request = std::make_unique<RpcRequest>();
    QString body = QStringLiteral(R"({"jsonrpc":"2.0","id":1,"method":"%1")").arg(kProbe);
    if (params)
        body += QStringLiteral(R"(,"params":%1)").arg(QLatin1String(params));
    EXPECT_TRUE(request->parseJsonRpc(body + "}"));
    return request;
}

// ---- declared parameters ----

struct ValidationCase
{
    const char* name;
    QList<RpcRequestParameter> declarations;
    const char* params;     // null: no "params" member
    QString message;        // empty: accepted
    const char* paramsSeen; // what handleRequest sees, when accepted
};

class Validation : public MethodFrameworkTest, public ::testing::WithParamInterface<ValidationCase>
{
};

TEST_P(Validation, DeclaredParametersAreCheckedAndDefaulted)
{
    const ValidationCase& c = GetParam();
    QJsonValue seen;
    ProbeMethod method(kProbe, c.declarations, [&](RpcRequest* request, RpcResponse*) {
        seen = request->getParameters() ? request->getParameters()->toJsonValue() : QJsonValue();
        return RpcMethodError();
    });
    auto request = requestWithParams(c.params);
    RpcResponse response;
    const Outcome outcome = run(method, request.get(), &response);

    if (c.message.isEmpty()) {
        EXPECT_EQ(outcome.code, 0) << outcome.message.toStdString();
        EXPECT_EQ(seen, QJsonDocument::fromJson(QByteArray("[") + c.paramsSeen + "]").array().at(0));
    } else {
        EXPECT_EQ(outcome.code, -32602);
        EXPECT_EQ(method.calls, 0);
        const QString expected = QStringLiteral("Error executing method %1: %2").arg(kProbe, c.message);
        EXPECT_TRUE(outcome.message.startsWith(expected + "  @ rpc_method.cpp: "))
            << outcome.message.toStdString() << "\nexpected: " << expected.toStdString();
    }
}

RpcRequestParameter decl(E::Params id, QVariant defaultValue, bool required, E::Type type = E::TYPE_ANY,
    QList<QVariant> allowed = {})
{
    return RpcRequestParameter(id, defaultValue, required, type, allowed);
}

const QVariant kNone;

INSTANTIATE_TEST_SUITE_P(AbstractRpcMethod, Validation,
    ::testing::Values(
        ValidationCase {"no_declarations_with_params", {}, R"({"a":1})",
            "Method device.list does not accept parameters. remove params from request device.list", nullptr},
        ValidationCase {"no_declarations_no_params", {}, nullptr, "", "{}"},
        ValidationCase {"no_declarations_empty_params", {}, "{}", "", "{}"},
        ValidationCase {"no_declarations_array_params", {}, "[1]", "", "[1]"},
        ValidationCase {"required_missing", {decl(E::PARAM_PID, kNone, true)}, "{}",
            "Parameter 'pid' required for method device.list", nullptr},
        ValidationCase {"required_default_not_used", {decl(E::PARAM_PID, 5, true)}, "{}",
            "Parameter 'pid' required for method device.list", nullptr},
        ValidationCase {"default_added", {decl(E::PARAM_UNIVERSE_ID, -1, false, E::TYPE_INTEGER)}, nullptr,
            "", R"({"universe_id":-1})"},
        ValidationCase {"defaults_of_each_type",
            {decl(E::PARAM_INTERFACE_TYPE, QString("all"), false), decl(E::PARAM_UPDATE, true, false),
                decl(E::PARAM_VALUE, 0.5, false), decl(E::PARAM_LABEL, kNone, false)},
            R"({"x":1})", "", R"({"interface_type":"all","update":true,"value":0.5,"x":1})"},
        ValidationCase {"given_value_kept", {decl(E::PARAM_COUNT, 3, false, E::TYPE_INTEGER)},
            R"({"count":9})", "", R"({"count":9})"},
        ValidationCase {"integer_as_text", {decl(E::PARAM_PID, kNone, true, E::TYPE_INTEGER)},
            R"({"pid":"5"})", "parameter pid must be an integer", nullptr},
        ValidationCase {"integer_fraction_passes", {decl(E::PARAM_PID, kNone, true, E::TYPE_INTEGER)},
            R"({"pid":5.5})", "", R"({"pid":5.5})"},
        ValidationCase {"integer_smallest", {decl(E::PARAM_PID, kNone, true, E::TYPE_INTEGER)},
            R"({"pid":-2147483648})", "", R"({"pid":-2147483648})"},
        ValidationCase {"integer_too_large", {decl(E::PARAM_PID, kNone, true, E::TYPE_INTEGER)},
            R"({"pid":2147483648})", "parameter pid must be an integer in the range -2147483648..2147483647",
            nullptr},
        ValidationCase {"integer_huge", {decl(E::PARAM_PID, kNone, true, E::TYPE_NUMBER)},
            R"({"pid":-1e300})", "parameter pid must be an integer in the range -2147483648..2147483647",
            nullptr},
        ValidationCase {"required_null_fails_type", {decl(E::PARAM_PID, kNone, true, E::TYPE_INTEGER)},
            R"({"pid":null})", "parameter pid must be an integer", nullptr},
        ValidationCase {"required_null_untyped_passes", {decl(E::PARAM_PID, kNone, true)}, R"({"pid":null})",
            "", R"({"pid":null})"},
        ValidationCase {"string_given_number", {decl(E::PARAM_LABEL, kNone, true, E::TYPE_STRING)},
            R"({"label":5})", "parameter label must be a string", nullptr},
        ValidationCase {"bool_given_text", {decl(E::PARAM_UPDATE, kNone, false, E::TYPE_BOOL)},
            R"({"update":"true"})", "parameter update must be a boolean", nullptr},
        ValidationCase {"string_array_given_text",
            {decl(E::PARAM_PROFILE_NAMES, kNone, true, E::TYPE_STRING_ARRAY)}, R"({"profile_names":"a"})",
            "parameter profile_names must be an array of strings", nullptr},
        ValidationCase {"string_array_mixed",
            {decl(E::PARAM_PROFILE_NAMES, kNone, true, E::TYPE_STRING_ARRAY)}, R"({"profile_names":["a",1]})",
            "parameter profile_names must be an array of strings, not only items are strings", nullptr},
        ValidationCase {"string_array_empty",
            {decl(E::PARAM_PROFILE_NAMES, kNone, true, E::TYPE_STRING_ARRAY)}, R"({"profile_names":[]})", "",
            R"({"profile_names":[]})"},
        ValidationCase {"allowed_numbers", {decl(E::PARAM_RESET, kNone, true, E::TYPE_INTEGER, {0, 1})},
            R"({"reset":2})",
            "Invalid Parameter value reset = 2. value must contain one of the following values: 0,1,",
            nullptr},
        ValidationCase {"allowed_number_matches",
            {decl(E::PARAM_RESET, kNone, true, E::TYPE_INTEGER, {0, 1})}, R"({"reset":1})", "",
            R"({"reset":1})"},
        ValidationCase {"allowed_texts",
            {decl(E::PARAM_ACCESS_LEVEL, kNone, true, E::TYPE_STRING, {QString("oem"), QString("dev")})},
            R"({"access_level":"OEM"})",
            "Invalid Parameter value access_level = OEM. value must contain one of the following values: "
            "oem,dev,",
            nullptr},
        ValidationCase {"defaults_need_named_params", {decl(E::PARAM_PID, 1, false)}, "[1]",
            "Method device.list takes named parameters: params must be an object", nullptr},
        ValidationCase {"declared_with_null_params", {decl(E::PARAM_PID, kNone, false)}, "null",
            "Method device.list takes named parameters: params must be an object", nullptr}),
    [](const ::testing::TestParamInfo<ValidationCase>& info) { return std::string(info.param.name); });

TEST(RpcRequestParameter, NamesComeFromTheIdTable)
{
    EXPECT_EQ(RpcRequestParameter(E::PARAM_PID, QVariant(), false).name(), QString("pid"));
    EXPECT_EQ(RpcRequestParameter(E::PARAM_NORDHUNE, QVariant(), false).name(), QString("nordhune"));
    EXPECT_EQ(RpcRequestParameter(RpcRequestEnums::Params(2), QVariant(), false).name(), QString("address"));
    EXPECT_EQ(RpcRequestParameter(RpcRequestEnums::Params(71), QVariant(), false).name(), QString("address"));
    EXPECT_EQ(
        RpcRequestParameter(E::PARAM_DEVICE_ADDRESS, QVariant(), false).name(), QString("device_address"));
    EXPECT_EQ(E::PARAM_DEVICE_ADDRESS, 98);
    const RpcRequestParameter full(E::PARAM_RESET, 0, true, E::TYPE_INTEGER, {0, 1});
    EXPECT_TRUE(full.isRequired());
    EXPECT_EQ(full.defaultValue(), QVariant(0));
    EXPECT_EQ(full.type(), E::TYPE_INTEGER);
    EXPECT_EQ(full.allowedValues(), QList<QVariant>({0, 1}));

    for (int bad : {99, -1}) {
        try {
            RpcRequestParameter(RpcRequestEnums::Params(bad), QVariant(), false);
            ADD_FAILURE() << bad;
        } catch (const QString& text) {
            EXPECT_EQ(text, QStringLiteral("Not implemented Enum id %1").arg(bad));
        }
    }
}

TEST_F(MethodFrameworkTest, DefaultsCarryNoDefaultFlagAndStayAfterALaterFailure)
{
    ProbeMethod method(kProbe,
        {RpcRequestParameter(E::PARAM_DEVICE_ID, 1, false),
            RpcRequestParameter(E::PARAM_PID, QVariant(), true)});
    auto request = requestWithParams("{}");
    RpcResponse response;
    EXPECT_EQ(run(method, request.get(), &response).code, -32602);
    ASSERT_NE(request->getParam("device_id"), nullptr);
    EXPECT_FALSE(request->getParam("device_id")->getDefaultValue());
}

// ---- execute ----

struct ExecuteCase
{
    const char* name;
    std::function<RpcMethodError()> work;
    int code;
    QString messageStart;
};

class Execute : public MethodFrameworkTest, public ::testing::WithParamInterface<ExecuteCase>
{
};

TEST_P(Execute, EveryFailureLeavesAsJsonRpcException)
{
    const ExecuteCase& c = GetParam();
    ProbeMethod method(kProbe, {}, [&](RpcRequest*, RpcResponse*) { return c.work(); });
    auto request = requestWithParams(nullptr);
    RpcResponse response;
    const Outcome outcome = run(method, request.get(), &response);
    EXPECT_EQ(outcome.code, c.code);
    EXPECT_TRUE(
        outcome.message.isEmpty() ? c.messageStart.isEmpty() : outcome.message.startsWith(c.messageStart))
        << outcome.message.toStdString();
    EXPECT_EQ(response.getJsonId(), QJsonValue(1)); // the id is copied with its type
}

INSTANTIATE_TEST_SUITE_P(AbstractRpcMethod, Execute,
    ::testing::Values(ExecuteCase {"success", [] { return RpcMethodError(); }, 0, ""},
        // An error that the method returns is an internal error, its message unchanged.
        ExecuteCase {"returned_server_error", [] { return RpcMethodError(-32000, "device busy"); }, -32603,
            "device busy"},
        ExecuteCase {"thrown_invalid_params",
            []() -> RpcMethodError { throw JsonRpcException("bad pid", -32602, "src/x/rpc_thing.cpp", 7); },
            -32602, "Error executing method device.list: bad pid  @ rpc_thing.cpp: 7"},
        ExecuteCase {"thrown_code_zero", []() -> RpcMethodError { throw JsonRpcException("odd", 0); }, -32603,
            "Error executing method device.list: odd"},
        ExecuteCase {"thrown_string_exception",
            []() -> RpcMethodError { throw StringException("table broken", "a/b.cpp", 3); }, -32603,
            "Error executing method device.list: table broken  @ b.cpp: 3"},
        ExecuteCase {"thrown_other", []() -> RpcMethodError { throw std::runtime_error("x"); }, -32603,
            "Unknown exception type occured while executing method device.list"},
        ExecuteCase {"thrown_value_range",
            []() -> RpcMethodError {
                RpcValue(1e20).getIntegerValue();
                return RpcMethodError();
            },
            -32602, "Error executing method device.list: Number 1"}),
    [](const ::testing::TestParamInfo<ExecuteCase>& info) { return std::string(info.param.name); });

TEST_F(MethodFrameworkTest, ExecuteChecksBeforeTheMethodRuns)
{
    ProbeMethod method(kProbe);
    RpcResponse response;
    auto request = requestWithParams(nullptr);

    Outcome outcome = run(method, nullptr, &response);
    EXPECT_EQ(outcome.code, -32600);
    EXPECT_TRUE(
        outcome.message.startsWith("Error executing method device.list: rpc request not provided for method "
                                   "'device.list'"));
    outcome = run(method, request.get(), nullptr);
    EXPECT_EQ(outcome.code, -32600);
    EXPECT_TRUE(outcome.message.contains("rpc response object must be provided!"));

    RpcRequest other("device.ping");
    outcome = run(method, &other, &response);
    EXPECT_EQ(outcome.code, -32600);
    EXPECT_TRUE(outcome.message.contains("Invalid request device.ping for method 'device.list'"));

    // Not a name clients may call: refused unless the caller skips the check.
    ProbeMethod hidden("internal.probe");
    RpcRequest hiddenRequest("internal.probe");
    outcome = run(hidden, &hiddenRequest, &response);
    EXPECT_EQ(outcome.code, -32601);
    EXPECT_TRUE(outcome.message.startsWith(
        "Error executing method internal.probe: Invalid rpc method: internal.probe"));
    EXPECT_EQ(run(hidden, &hiddenRequest, &response, true).code, 0);
    EXPECT_EQ(method.calls + hidden.calls, 1);

    AbstractRpcMethod::setDatabase(nullptr);
    outcome = run(method, request.get(), &response);
    EXPECT_EQ(outcome.code, -32603);
    EXPECT_TRUE(outcome.message.startsWith(
        "Error executing method device.list: An instance of AbstractDatabase* must be provided to access "
        "product info "
        "and lookuptables.This information is required to execute any command. Use "
        "AbstractRpcMethod::setDatabase()  @ rpc_method.cpp: "))
        << outcome.message.toStdString();
}

TEST_F(MethodFrameworkTest, FailingDeclarationsAreAnInternalError)
{
    ProbeMethod method(kProbe);
    method.declarationsThrow = [] { RpcRequestParameter(RpcRequestEnums::Params(99), QVariant(), false); };
    auto request = requestWithParams(nullptr);
    RpcResponse response;
    const Outcome outcome = run(method, request.get(), &response);
    EXPECT_EQ(outcome.code, -32603);
    EXPECT_EQ(outcome.message, QString("Unknown exception type occured while executing method device.list"));
}

// ---- the allowed-name lists ----

const QStringList kApiNames = {"system.listMethods", "uut.device.info", "uut.profiles.list",
    "uut.profile.program", "uut.profile.verify", "uut.device.convert.rb57", "device.create"};

TEST_F(MethodFrameworkTest, ApiModeOpensOnlyTheProductionTestSet)
{
    AbstractRpcMethod::setApiMode(true);
    EXPECT_TRUE(AbstractRpcMethod::isApiMode());
    EXPECT_EQ(QStringList(AbstractRpcMethod::commandNames()), kApiNames);
    EXPECT_FALSE(AbstractRpcMethod::isValidCommand("device.list"));

    // "uut." methods run other methods in-process, skipping the name check.
    ProbeMethod inner(kProbe);
    RpcRequest request(kProbe);
    RpcResponse response;
    EXPECT_EQ(run(inner, &request, &response).code, -32601);
    EXPECT_EQ(run(inner, &request, &response, true).code, 0);
}

TEST_F(MethodFrameworkTest, NormalModeListsSeventyFiveNamesApiSetFirst)
{
    AbstractRpcMethod::setApiMode(true);
    AbstractRpcMethod::setApiMode(false);
    const QStringList names = AbstractRpcMethod::commandNames();
    EXPECT_FALSE(AbstractRpcMethod::isApiMode());
    ASSERT_EQ(names.size(), 75);
    EXPECT_EQ(names.mid(0, 7), kApiNames);
    EXPECT_EQ(names.at(7), QString("system.method.params.list"));
    EXPECT_EQ(names.at(32), QString("device.list"));
    EXPECT_EQ(names.at(74), QString("database.module.get"));
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()).size(), 75);
    EXPECT_TRUE(AbstractRpcMethod::isValidCommand("script.run"));
    EXPECT_FALSE(AbstractRpcMethod::isValidCommand("Device.List"));
    EXPECT_FALSE(AbstractRpcMethod::isValidCommand(""));
}

} // namespace
