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

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

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
        _carried = carriedIntegers(body);
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
    // serialisation; they must agree byte for byte, except that a whole number
    // beyond 2^53 which the body carried as text keeps its exact digits where
    // the framework writes the rounded double.
    std::string write(
        const service::RpcMessage& message, QJsonDocument::JsonFormat format, QByteArray* text = nullptr)
    {
        const QByteArray written = message.serializeToUtf8(format);
        if (!sameButExactIntegers(written, qmtest::frameworkSerialisation(message, format)))
            return format == QJsonDocument::Compact ? "compact text differs from the framework's"
                                                    : "indented text differs from the framework's";
        if (text)
            *text = written;
        return std::string();
    }

    static bool isNumberByte(char c)
    {
        return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
    }

    // Walks both texts together; where they differ, both must stand in a
    // number, the written one an integer the body carried beyond 2^53 and
    // the framework's the double nearest to it.
    bool sameButExactIntegers(const QByteArray& written, const QByteArray& framework) const
    {
        int w = 0;
        int f = 0;
        while (w < written.size() || f < framework.size()) {
            if (w < written.size() && f < framework.size() && written.at(w) == framework.at(f)) {
                ++w;
                ++f;
                continue;
            }
            // Back to the start of the number both stand in (the texts agree
            // up to here, so both go back alike).
            int back = 0;
            while (w - back > 0 && isNumberByte(written.at(w - back - 1)))
                ++back;
            w -= back;
            f -= back;
            int wEnd = w;
            while (wEnd < written.size() && isNumberByte(written.at(wEnd)))
                ++wEnd;
            int fEnd = f;
            while (fEnd < framework.size() && isNumberByte(framework.at(fEnd)))
                ++fEnd;
            if (wEnd == w || fEnd == f)
                return false;
            const std::string exact = written.mid(w, wEnd - w).toStdString();
            const std::string rounded = framework.mid(f, fEnd - f).toStdString();
            if (!isCarriedInteger(exact, rounded))
                return false;
            w = wEnd;
            f = fEnd;
        }
        return true;
    }

    bool isCarriedInteger(const std::string& exact, const std::string& rounded) const
    {
        const bool negative = !exact.empty() && exact[0] == '-';
        const std::string digits = negative ? exact.substr(1) : exact;
        if (digits.empty() || digits.size() > 20 || digits.find_first_not_of("0123456789") != std::string::npos)
            return false;
        errno = 0;
        const unsigned long long magnitude = std::strtoull(digits.c_str(), nullptr, 10);
        if (errno != 0 || magnitude <= 9007199254740992ull)
            return false;
        const double nearest = negative ? -double(magnitude) : double(magnitude);
        if (std::strtod(rounded.c_str(), nullptr) != nearest)
            return false;
        for (const CarriedInteger& carried : _carried) {
            if (carried.negative == negative && carried.magnitude == magnitude)
                return true;
        }
        return false;
    }

    struct CarriedInteger
    {
        bool negative = false;
        unsigned long long magnitude = 0;
    };

    // The whole numbers beyond 2^53 that the body's strings carry as a client
    // writes them: decimal digits (a minus sign first) or base-16 digits
    // marked "0x", within 64 bits.
    static std::vector<CarriedInteger> carriedIntegers(const QByteArray& body)
    {
        std::vector<CarriedInteger> result;
        int at = 0;
        while ((at = body.indexOf('"', at)) >= 0) {
            std::string text;
            bool closed = false;
            for (++at; at < body.size(); ++at) {
                const char c = body.at(at);
                if (c == '"') {
                    closed = true;
                    ++at;
                    break;
                }
                if (c != '\\') {
                    text += c;
                    continue;
                }
                if (++at >= body.size())
                    break;
                const char escaped = body.at(at);
                if (escaped == 'u' && at + 4 < body.size()) {
                    bool ok = false;
                    const uint unit = body.mid(at + 1, 4).toUInt(&ok, 16);
                    text += ok && unit < 0x80 ? char(unit) : '?';
                    at += 4;
                } else {
                    text += escaped;
                }
            }
            if (!closed)
                break;
            addCarried(text, result);
        }
        return result;
    }

    static void addCarried(std::string text, std::vector<CarriedInteger>& result)
    {
        CarriedInteger carried;
        int base = 10;
        if (text.find("0x") != std::string::npos) {
            base = 16;
            for (size_t x; (x = text.find("0x")) != std::string::npos;)
                text.erase(x, 2);
            if (text.empty() || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                return;
        } else {
            carried.negative = !text.empty() && text[0] == '-';
            if (carried.negative)
                text.erase(0, 1);
            if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
                return;
        }
        errno = 0;
        carried.magnitude = std::strtoull(text.c_str(), nullptr, base);
        if (errno == 0 && carried.magnitude > 9007199254740992ull)
            result.push_back(carried);
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
    std::vector<CarriedInteger> _carried;
};

} // namespace tarvesk::fuzz
