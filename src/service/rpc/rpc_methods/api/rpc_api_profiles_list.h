#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::service {

// "uut.profiles.list": loads a profile file of the profile folder ("path",
// compressed or plain) into the profile store through "profile.load", then
// lists the profiles held by name, description and profile-type key.
class RpcApiProfilesList : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcApiProfilesList();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;

    // The text of the file a client's path names in the profile folder: the
    // uncompressed bytes when compressed is set and they uncompress, else the
    // bytes as read, up to the first zero byte. Empty for a file that cannot
    // be opened or is empty. Throws JsonRpcException -32602 for a path outside
    // the folder (before the file system is asked), -32603 for a missing file
    // or one larger than the folder's limit.
    QString textFromFile(const QString& path, bool compressed);
};

} // namespace tarvesk::service
