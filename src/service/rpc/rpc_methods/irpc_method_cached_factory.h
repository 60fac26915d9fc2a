#pragma once

#include <QMap>
#include <QString>

namespace tarvesk::service {

class AbstractRpcMethod;
class RpcRequest;

// Hands out one method object per method name: created on first use, kept
// and reused for every later request until the factory ends. Names that
// clients may not call in the current API mode are refused.
class AbstractRpcMethodCachedFactory
{
public:
    AbstractRpcMethodCachedFactory() = default;
    virtual ~AbstractRpcMethodCachedFactory();

    AbstractRpcMethodCachedFactory(const AbstractRpcMethodCachedFactory&) = delete;
    AbstractRpcMethodCachedFactory& operator=(const AbstractRpcMethodCachedFactory&) = delete;

    // The method for the request's name; throws StringException for a null
    // request and as create(QString) does.
    AbstractRpcMethod* create(RpcRequest* request);
    // The method for the name; the factory keeps ownership. Throws
    // StringException "Invalid method name '%1'" for a name that is not open
    // to clients, and "missing implementation for creation of method '%1'"
    // for one without a method class (never cached, so it fails every time).
    AbstractRpcMethod* create(const QString& name);

    // A new method object for the name, owned by the caller; null or a throw
    // when there is none.
    virtual AbstractRpcMethod* createMethodForName(const QString& name) = 0;

private:
    QMap<QString, AbstractRpcMethod*> _cache; // owned
};

} // namespace tarvesk::service
