#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

#include <QJsonArray>

namespace tarvesk::service {

// "profile.load": a profile file of the profile folder (plain, or in
// qCompress's layout), or a profile text from the request, becomes the content
// of the store; the reply lists the profiles with their parameters brought up
// to today's naming.
class RpcProfileLoad : public AbstractRpcMethod
{
    Q_OBJECT

public:
    // The most that a compressed profile file may announce once uncompressed.
    static constexpr quint32 maximumUncompressedSize = 32u * 1024 * 1024;

    RpcProfileLoad();

    QList<RpcRequestParameter> inputParameters() const override;
    void validateInputParameters(RpcRequest* request) override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;

    // The text of the profile folder's file for the client's path. Throws
    // JsonRpcException -32602 for a path outside the folder or a file that is
    // not a regular one, StringException for a file that cannot be read.
    static QString textFromFile(const QString& path, bool compressed);

    // One profile's parameter list with the names of earlier versions
    // replaced, and the lightshape parameters those versions lacked added.
    static QJsonArray asdjustParamsForBackwardsCompatibility(QJsonArray parameters);
};

} // namespace tarvesk::service
