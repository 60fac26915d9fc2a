#include "service/rpc/rpc_methods/system/rpc_system_method_params_list.h"

#include "service/rpc/rpc_methods/rpc_method_factory.h"
#include "service/rpc_array.h"
#include "service/rpc_object.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

RpcSystemMethodParamsList::RpcSystemMethodParamsList()
    : AbstractRpcMethod(QStringLiteral("system.method.params.list"))
{
    isValidCommand(QString()); // fills the name list when it is still empty
    for (const QString& name : commandNames())
        _methodNames.append(name);
}

QList<RpcRequestParameter> RpcSystemMethodParamsList::inputParameters() const
{
    return {RpcRequestParameter(
        RpcRequestEnums::PARAM_METHOD, QVariant(), true, RpcRequestEnums::TYPE_STRING, _methodNames)};
}

QString RpcSystemMethodParamsList::typeIdToString(RpcRequestParameter::Type type)
{
    switch (type) {
    case RpcRequestEnums::TYPE_INTEGER:
    case RpcRequestEnums::TYPE_NUMBER:
        return QStringLiteral("integer");
    case RpcRequestEnums::TYPE_BOOL:
        return QStringLiteral("boolean");
    case RpcRequestEnums::TYPE_STRING_ARRAY:
        return QStringLiteral("array of strings");
    case RpcRequestEnums::TYPE_ANY:
    case RpcRequestEnums::TYPE_STRING:
        break;
    }
    return QStringLiteral("string");
}

RpcMethodError RpcSystemMethodParamsList::handleRequest(RpcRequest* request, RpcResponse* response)
{
    // A factory of its own: the service's method objects are not touched.
    RpcMethodCachedFactory factory;
    AbstractRpcMethod* method = factory.create(request->getParam(QStringLiteral("method"))->getStringValue());
    auto* result = new RpcArray;
    for (const RpcRequestParameter& parameter : method->inputParameters()) {
        auto* type = new RpcObject;
        type->addChild(QStringLiteral("id"), new RpcValue(int(parameter.type())));
        type->addChild(QStringLiteral("name"), new RpcValue(typeIdToString(parameter.type())));
        auto* entry = new RpcObject;
        entry->addChild(QStringLiteral("name"), new RpcValue(parameter.name()));
        entry->addChild(QStringLiteral("required"), new RpcValue(parameter.isRequired()));
        entry->addChild(QStringLiteral("type"), type);
        entry->addChild(QStringLiteral("default"),
            parameter.defaultValue().isValid() ? new RpcValue(parameter.defaultValue())
                                               : new RpcValue(QString()));
        result->addChild(entry);
    }
    response->setResultValue(result);
    return {};
}

} // namespace tarvesk::service
