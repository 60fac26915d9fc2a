#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "profile.save": a client's profile text becomes the content of the store
// and of a profile file (plain, or in qCompress's layout). The file is written
// first, atomically; the store is replaced only once the file holds the text,
// so a failed save changes neither.
class RpcProfileSave : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcProfileSave();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;

    // Writes the text to the profile folder's file for the client's path.
    // Throws JsonRpcException -32602 for a path outside the folder, and
    // StringException when the file cannot be written.
    static void textToFile(const QString& path, const QString& text, bool compressed);
};

} // namespace tarvesk::service
