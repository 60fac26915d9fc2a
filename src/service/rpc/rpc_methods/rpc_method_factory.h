#pragma once

#include "service/rpc/rpc_methods/irpc_method_cached_factory.h"

#include <QStringList>

namespace tarvesk::service {

// The cached factory of the service, with the table of every method name
// and its class.
class RpcMethodCachedFactory : public AbstractRpcMethodCachedFactory
{
public:
    // The names of the table, in the order in which they are compared.
    static QStringList tableNames();

    AbstractRpcMethod* createMethodForName(const QString& name) override;
};

} // namespace tarvesk::service
