#include "service/rpc/rpc_methods/irpc_method_cached_factory.h"

#include "log/logging_categories.h"
#include "service/rpc/rpc_methods/rpc_method.h"
#include "service/rpc_request.h"
#include "service/string_exception.h"

namespace tarvesk::service {

AbstractRpcMethodCachedFactory::~AbstractRpcMethodCachedFactory()
{
    qCDebug(rpcServerMethodFactory())
        << "Destructor AbstractRpcMethodCachedFactory: cleanup cached rpc methods _cache";
    for (AbstractRpcMethod* method : qAsConst(_cache)) {
        if (!method)
            continue;
        qCDebug(rpcServerMethodFactory()).noquote()
            << QStringLiteral("deleting method '%1'").arg(method->getName());
        delete method;
    }
    _cache.clear();
}

AbstractRpcMethod* AbstractRpcMethodCachedFactory::create(RpcRequest* request)
{
    if (!request)
        QM_THROW_STRING(QStringLiteral("A request must be provided, nullptr not allowed."));
    return create(request->getMethodName());
}

AbstractRpcMethod* AbstractRpcMethodCachedFactory::create(const QString& name)
{
    if (!AbstractRpcMethod::isValidCommand(name))
        QM_THROW_STRING(QStringLiteral("Invalid method name '%1'").arg(name));
    if (AbstractRpcMethod* cached = _cache.value(name, nullptr))
        return cached;
    AbstractRpcMethod* method = createMethodForName(name);
    if (!method)
        QM_THROW_STRING(QStringLiteral("missing implementation for creation of method '%1'").arg(name));
    _cache.insert(name, method);
    return method;
}

} // namespace tarvesk::service
