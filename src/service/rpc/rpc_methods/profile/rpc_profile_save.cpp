#include "service/rpc/rpc_methods/profile/rpc_profile_save.h"

#include "core/file/profile_folder.h"
#include "core/profile/profile_manager.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/profile/profile_method_support.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"
#include "service/string_exception.h"

namespace tarvesk::service {

RpcProfileSave::RpcProfileSave()
    : AbstractRpcMethod(QStringLiteral("profile.save"))
{ }

QList<RpcRequestParameter> RpcProfileSave::inputParameters() const
{
    return {
        RpcRequestParameter(RpcRequestEnums::PARAM_PATH, core::ProfileFolder::ofThisPass().defaultFile(),
            false, RpcRequestEnums::TYPE_STRING),
        RpcRequestParameter(
            RpcRequestEnums::PARAM_PROFILE_DATA, QStringLiteral("[]"), true, RpcRequestEnums::TYPE_STRING),
        RpcRequestParameter(RpcRequestEnums::PARAM_ENCRYPTED, false, false, RpcRequestEnums::TYPE_BOOL),
    };
}

RpcMethodError RpcProfileSave::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const QString path = request->getParam(QStringLiteral("path"))->getStringValue();
    const QString text = request->getParam(QStringLiteral("profile_data"))->getStringValue();
    const bool compressed = request->getParam(QStringLiteral("encrypted"))->getBoolValue();

    const QJsonArray profiles = profile_support::profileArrayOf(text);
    textToFile(path, text, compressed);
    core::ProfileManager::instance().SetProfileArray(_database.get(), profiles);
    response->setResultValue(new RpcValue(QJsonValue()));
    return {};
}

void RpcProfileSave::textToFile(const QString& path, const QString& text, bool compressed)
{
    // The text as the client sent it, not normalised.
    const QByteArray bytes = compressed ? qCompress(text.toUtf8()) : text.toUtf8();
    core::ProfileFolder::WriteStatus status = core::ProfileFolder::WriteStatus::Ok;
    QString reason;
    try {
        status = core::ProfileFolder::ofThisPass().write(path, bytes, &reason);
    } catch (const core::ProfilePathError& e) {
        QM_THROW_JSONRPC(QString::fromUtf8(e.what()), RPC_ERROR_INVALID_PARAMS);
    }
    // What the system reported follows the path, so that the client learns
    // why (a full disk, a name the file system cannot hold).
    const QString why = reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reason);
    switch (status) {
    case core::ProfileFolder::WriteStatus::Ok:
        return;
    case core::ProfileFolder::WriteStatus::CannotOpen:
        QM_THROW_STRING(QStringLiteral("Could not open file: %1%2").arg(path, why));
    case core::ProfileFolder::WriteStatus::WriteFailed:
        break;
    }
    QM_THROW_STRING(QStringLiteral("Unable to write data to file: %1%2").arg(path, why));
}

} // namespace tarvesk::service
