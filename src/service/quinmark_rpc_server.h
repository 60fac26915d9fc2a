#pragma once

#include "service/rpc_method_error.h"

#include <QString>

#include <functional>
#include <memory>

namespace tarvesk::core {
class Item;
} // namespace tarvesk::core

namespace tarvesk::service {

class AbstractDatabase;
class AbstractRpcMethodCachedFactory;
class RpcRequest;
class RpcResponse;

// The JSON-RPC server of the service. At start-up it builds the product
// database, configures the method framework (database and API mode), creates
// the cached method factory and the USB universe "USB"; for every request it
// gets the method object from the factory, runs it and maps every exception
// to a JSON-RPC error.
//
// What it builds comes through Dependencies, so that tests run it with fakes
// and the application plugs in the data-package database and the libusb
// universe (app/production_dependencies.h).
class QuinmarkRpcServer
{
public:
    struct Dependencies
    {
        // A new product database, not yet initialised. Without one the
        // server runs, and every method reports the missing database.
        std::function<std::shared_ptr<AbstractDatabase>()> database;
        // Builds the universe of the USB interfaces under the given name with
        // its transport and hands it to the universe manager, which owns it.
        std::function<core::Item*(const QString& name)> createUsbUniverse;
        // Takes that universe out of the universe manager again when the
        // server ends.
        std::function<void(core::Item* universe)> releaseUsbUniverse;
        // The method factory; RpcMethodCachedFactory when not set.
        std::function<std::unique_ptr<AbstractRpcMethodCachedFactory>()> methodFactory;
    };

    QuinmarkRpcServer(bool apiMode, bool firmwareCache, Dependencies dependencies);
    ~QuinmarkRpcServer();

    QuinmarkRpcServer(const QuinmarkRpcServer&) = delete;
    QuinmarkRpcServer& operator=(const QuinmarkRpcServer&) = delete;

    // Start-up: database, method framework, method factory, USB universe.
    // False when the database cannot be read or set-up throws.
    bool init();
    void initUsbUniverse();

    // Runs the request's method and fills the response: its id and result,
    // or the error. Returns the outcome (code 0 on success); never throws.
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response);

    bool isApiMode() const { return _apiMode; }
    const std::shared_ptr<AbstractDatabase>& database() const { return _database; }
    core::Item* usbUniverse() const { return _usbUniverse; }

private:
    QString clientMessage(const QString& message) const;

    const bool _apiMode;
    const bool _firmwareCache;
    Dependencies _dependencies;
    std::unique_ptr<AbstractRpcMethodCachedFactory> _methodFactory;
    std::shared_ptr<AbstractDatabase> _database;
    core::Item* _usbUniverse = nullptr; // owned by the universe manager
};

} // namespace tarvesk::service
