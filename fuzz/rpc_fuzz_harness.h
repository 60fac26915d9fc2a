#pragma once

// Drives one JSON-RPC request body through the service's whole JSON-RPC path
// (envelope, method lookup, declared-parameter check, method, reply) and
// checks the reply. Shared by the libFuzzer target and the CTest smoke run.

#include "core/json_text_guard.h"
#include "fake_product_database.h"
#include "framework_json.h"
#include "service/json_rpc_exception.h"
#include "service/quinmark_rpc_server.h"
#include "service/rpc/rpc_methods/rpc_method.h"
#include "service/rpc/rpc_methods/rpc_method_factory.h"
#include "service/rpc_array.h"
#include "service/rpc_object.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvesk::fuzz {

// A method with declarations of every type that puts its parameters through
// the value model's conversions and answers what it made of them.
class ParameterProbe : public service::AbstractRpcMethod
{
public:
    explicit ParameterProbe(const QString& name)
        : AbstractRpcMethod(name)
    { }

    QList<service::RpcRequestParameter> inputParameters() const override
    {
        using E = service::RpcRequestEnums;
        return {
            {E::PARAM_DEVICE_ID, 1, false, E::TYPE_INTEGER},
            {E::PARAM_PID, QVariant(), false, E::TYPE_STRING},
            {E::PARAM_VALUE, QVariant(), false},
            {E::PARAM_BYTES, QString(), false},
            {E::PARAM_UPDATE, true, false, E::TYPE_BOOL},
            {E::PARAM_PROFILE_NAMES, QVariant(), false, E::TYPE_STRING_ARRAY},
            {E::PARAM_INTERFACE_TYPE, QString("all"), false, E::TYPE_ANY,
                {QString("all"), QString("dali"), 3}},
            {E::PARAM_RESET, QVariant(), false, E::TYPE_INTEGER, {0, 1}},
        };
    }

    service::RpcMethodError handleRequest(
        service::RpcRequest* request, service::RpcResponse* response) override
    {
        using service::RpcValue;
        // Held until handed over: the conversions below may throw.
        auto result = std::make_unique<service::RpcObject>();
        if (service::RpcValue* value = request->getParam("value")) {
            for (const char* type : {"number", "bool", "string", "enum", "object", "other"}) {
                std::unique_ptr<RpcValue> tested(value->clone());
                result->addChild(QString::fromLatin1(type), new RpcValue(tested->isType(type)));
            }
            std::unique_ptr<RpcValue> copy(value->clone());
            bool ok = false;
            result->addChild("integer", new RpcValue(copy->toInteger(&ok)));
            result->addChild("variant", new RpcValue(copy->getVariantValue()));
            result->addChild("size", new RpcValue(value->getMemorySize()));
            RpcValue parsed;
            if (value->getType() == RpcValue::RPC_VALUE_STRING && parsed.fromJson(value->getStringValue()))
                result->addChild("parsed", parsed.clone());
            result->addChild("echo", value->clone());
        }
        if (service::RpcValue* bytes = request->getParam("bytes")) {
            if (service::RpcArray* array = bytes->getArrayValue())
                result->addChild("bytes", new RpcValue(QString::fromLatin1(array->getByteArray().toHex())));
        }
        // Throws -32602 for what no int can hold.
        result->addChild("device", new RpcValue(request->getParam("device_id")->getIntegerValue()));
        response->setResultValue(result.release());
        response->setDebugValue(new RpcValue(request->getMemorySize()));
        if (request->getParam("reset") && request->getParam("reset")->getDoubleValue() == 1)
            return service::RpcMethodError(-32000, "reset refused");
        return {};
    }
};

// The service's table, with parameter probes under a few names that have no
// class yet (one of them open in API mode).
class FuzzFactory : public service::RpcMethodCachedFactory
{
public:
    service::AbstractRpcMethod* createMethodForName(const QString& name) override
    {
        if (name == QLatin1String("device.param.set") || name == QLatin1String("dali.send")
            || name == QLatin1String("device.create"))
            return new ParameterProbe(name);
        return RpcMethodCachedFactory::createMethodForName(name);
    }
};

class RpcFuzzHarness
{
public:
    RpcFuzzHarness()
    {
        service::QuinmarkRpcServer::Dependencies dependencies;
        dependencies.database = [] { return std::make_shared<test::FakeProductDatabase>(); };
        dependencies.methodFactory = [] { return std::make_unique<FuzzFactory>(); };
        _server = std::make_unique<service::QuinmarkRpcServer>(false, false, dependencies);
        _ready = _server->init();
    }

    // Runs the body in the normal and in the API mode. Returns an empty
    // string, or what was wrong with a reply.
    std::string run(const uint8_t* data, size_t size)
    {
        if (!_ready)
            return "server did not initialise";
        // The bytes as received, as the HTTP handler passes them on.
        const QByteArray body(reinterpret_cast<const char*>(data), int(size));
        for (bool apiMode : {false, true}) {
            service::AbstractRpcMethod::setApiMode(apiMode);
            const std::string fault = runOnce(body);
            if (!fault.empty())
                return fault;
        }
        service::AbstractRpcMethod::setApiMode(false);

        // The same text read as a response from another server.
        service::RpcResponse remote;
        remote.parseJsonRpcUtf8(body);
        QByteArray text;
        if (const std::string fault = write(remote, QJsonDocument::Compact, &text); !fault.empty())
            return fault;
        if (const std::string fault = write(remote, QJsonDocument::Indented); !fault.empty())
            return fault;
        return checkReply(text, remote, true);
    }

private:
    std::string runOnce(const QByteArray& body)
    {
        service::RpcRequest request;
        service::RpcResponse response;
        if (request.parseJsonRpcUtf8(body)) {
            std::unique_ptr<service::RpcRequest> copy(request.clone());
            if (const std::string fault = write(*copy, QJsonDocument::Compact); !fault.empty())
                return fault;
            const service::RpcMethodError result = _server->handleRequest(&request, &response);
            if (result.getErrorCode() != response.getErrorCode())
                return "outcome and reply disagree";
            // Written again after the method filled in defaults.
            if (const std::string fault = write(request, QJsonDocument::Indented); !fault.empty())
                return fault;
        } else {
            if (request.getErrorCode() != -32700 && request.getErrorCode() != -32600)
                return "envelope fault with an unexpected code";
            response.error(request.getErrorCode(), request.getErrorString());
        }
        response.setIdFrom(request);
        QByteArray reply;
        if (const std::string fault = write(response, QJsonDocument::Indented, &reply); !fault.empty())
            return fault;
        if (const std::string fault = write(response, QJsonDocument::Compact); !fault.empty())
            return fault;
        return checkReply(reply, request, false);
    }

    // Writes the message with the service's writer and with the framework's
    // serialisation; they must agree byte for byte.
    static std::string write(
        const service::RpcMessage& message, QJsonDocument::JsonFormat format, QByteArray* text = nullptr)
    {
        const QByteArray written = message.serializeToUtf8(format);
        if (written != qmtest::frameworkSerialisation(message, format))
            return format == QJsonDocument::Compact ? "compact text differs from the framework's"
                                                    : "indented text differs from the framework's";
        if (text)
            *text = written;
        return std::string();
    }

    // The reply must answer with the id exactly as the message was read with it.
    static std::string checkReply(const QByteArray& reply, const service::RpcMessage& message, bool remote)
    {
        QByteArray idJson;
        if (!core::jsonTextFault(reply, QStringLiteral("id"), &idJson).isEmpty())
            return "reply is no strict JSON";
        if (idJson != message.getIdJson())
            return "reply id text differs from the request id";
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(reply, &error);
        if (error.error != QJsonParseError::NoError || !document.isObject())
            return "reply is no JSON object";
        const QJsonObject object = document.object();
        if (object.value("jsonrpc") != QJsonValue("2.0"))
            return "reply lacks jsonrpc 2.0";
        if (!object.contains("id") || object.value("id") != message.getJsonId())
            return "reply id differs from the request id";
        if (object.contains("error")) {
            if (object.contains("result") || object.contains("debug"))
                return "reply has an error and a result";
            const int code = object.value("error").toObject().value("code").toInt();
            const bool known = code == -32700 || code == -32600 || code == -32601 || code == -32602
                || code == -32603 || code == -32000;
            if (!remote && !known)
                return "reply has an unknown error code";
            if (code == 0)
                return "error reply with code 0";
        }
        return std::string();
    }

    std::unique_ptr<service::QuinmarkRpcServer> _server;
    bool _ready = false;
};

} // namespace tarvesk::fuzz
