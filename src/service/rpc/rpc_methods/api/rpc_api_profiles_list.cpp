#include "service/rpc/rpc_methods/api/rpc_api_profiles_list.h"

#include "core/file/profile_folder.h"
#include "core/file/qcompress_inflater.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/api/rpc_api_inner_call.h"
#include "service/rpc/rpc_methods/profile/profile_method_support.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_list.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_load.h"
#include "service/rpc_array.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_object.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <QJsonArray>
#include <QJsonObject>

namespace tarvesk::service {

using ReadStatus = core::ProfileFolder::ReadResult::Status;

RpcApiProfilesList::RpcApiProfilesList()
    : AbstractRpcMethod(QStringLiteral("uut.profiles.list"))
{ }

QList<RpcRequestParameter> RpcApiProfilesList::inputParameters() const
{
    return {
        RpcRequestParameter(RpcRequestEnums::PARAM_PATH, QVariant(), false),
        RpcRequestParameter(RpcRequestEnums::PARAM_API_VERSION, 1, true, RpcRequestEnums::TYPE_INTEGER),
    };
}

RpcMethodError RpcApiProfilesList::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const RpcValue* pathValue = request->getParam(QStringLiteral("path"));
    const QString path = pathValue ? pathValue->getStringValue() : QString();
    if (!path.isEmpty()) {
        QString text = textFromFile(path, true);
        if (text.isEmpty())
            text = QStringLiteral("[]");
        RpcApiInnerCall load(new RpcProfileLoad);
        load.add(QStringLiteral("profile_data"), text).run();
    }

    RpcApiInnerCall list(new RpcProfileList);
    list.run();
    auto* result = new RpcArray;
    response->setResultValue(result);
    for (const QJsonValue& element : list.response().getResult()->toJsonValue().toArray()) {
        const QJsonObject profile = element.toObject();
        // A profile-type name reads "<class, OEM, product>_<product name>_<bus>".
        const QStringList parts = profile.value(QStringLiteral("type")).toString().split(QLatin1Char('_'));
        auto* entry = new RpcObject;
        entry->addChild(QStringLiteral("name"), new RpcValue(profile.value(QStringLiteral("name"))));
        entry->addChild(
            QStringLiteral("description"), new RpcValue(profile.value(QStringLiteral("description"))));
        entry->addChild(
            QStringLiteral("profile_type"), new RpcValue(parts.size() >= 3 ? parts.at(1) : QString()));
        result->addChild(entry);
    }
    return {};
}

QString RpcApiProfilesList::textFromFile(const QString& path, bool compressed)
{
    // Only files of the profile folder: a path from a request names nothing
    // else, and a refused path is refused before the file system is asked,
    // so that no other file's existence shows.
    const core::ProfileFolder::ReadResult file = profile_support::readProfileFile(path);
    switch (file.status) {
    case ReadStatus::Ok:
        break;
    case ReadStatus::Missing:
        QM_THROW_JSONRPC(QStringLiteral("specified file does not exist: %1").arg(path), RPC_ERROR_INTERNAL);
    case ReadStatus::TooLarge:
        // Refused rather than read as empty, which would empty the store.
        QM_THROW_JSONRPC(QStringLiteral("File too big to be parsed to a json structure. Consider splitting "
                                        "files and keep size to a max of 1.0MB"),
            RPC_ERROR_INTERNAL);
    case ReadStatus::CannotOpen:
        return QString();
    }

    QByteArray bytes = file.bytes;
    if (compressed) {
        // A plain file does not uncompress and is taken as it is. The inflater
        // never allocates beyond the limit, whatever length the file announces.
        const core::QCompressInflater::Result inflated
            = core::QCompressInflater::inflate(bytes, RpcProfileLoad::maximumUncompressedSize);
        if (inflated.status == core::QCompressInflater::Status::Ok && !inflated.data.isEmpty())
            bytes = inflated.data;
    }
    const int zero = bytes.indexOf('\0');
    return QString::fromUtf8(zero < 0 ? bytes : bytes.left(zero));
}

} // namespace tarvesk::service
