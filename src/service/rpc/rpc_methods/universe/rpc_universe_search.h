#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

#include <QMutex>

namespace tarvesk::core {
class Universe;
}

namespace tarvesk::search {
class SearchOptions;
}

namespace tarvesk::service {

class RpcArray;

// "universe.search": runs the searcher of one universe, or of every universe of
// an interface type, makes a device of each result that initialises, adds it to
// its universe and answers with the devices added. A USB universe where a box
// hangs up while its strings are read has libusb reset after that pass (every
// pass with a hang-up, whatever the other boxes did) and is searched again
// from scratch, at most MaxPasses times in all.
class RpcUniverseSearch : public AbstractRpcMethod
{
    Q_OBJECT

public:
    static constexpr int MaxPasses = 3;

    RpcUniverseSearch();

    QList<RpcRequestParameter> inputParameters() const override;
    void validateInputParameters(RpcRequest* request) override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;

private:
    QList<core::Universe*> selectUniverses(RpcRequest* request) const;
    // Fills method, step, protocols and sub-devices from the request; throws on a bad word.
    static void readOptions(RpcRequest* request, search::SearchOptions& options);
    // One universe, all its passes; throws when its searcher fails.
    void searchUniverse(
        core::Universe* universe, search::SearchOptions* options, RpcArray* reply, bool namedUniverse);

    QMutex _searchMutex; // one search at a time
};

} // namespace tarvesk::service
