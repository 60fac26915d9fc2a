#include "service/rpc/rpc_methods/profile/rpc_profile_duplicate.h"

#include "service/rpc/rpc_methods/profile/profile_method_support.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <QDate>
#include <QUuid>

namespace tarvesk::service {

RpcProfileDuplicate::RpcProfileDuplicate()
    : AbstractRpcMethod(QStringLiteral("profile.duplicate"))
{ }

QList<RpcRequestParameter> RpcProfileDuplicate::inputParameters() const
{
    return {RpcRequestParameter(
        RpcRequestEnums::PARAM_PROFILE_DATA, QStringLiteral("{}"), true, RpcRequestEnums::TYPE_STRING)};
}

RpcMethodError RpcProfileDuplicate::handleRequest(RpcRequest* request, RpcResponse* response)
{
    QJsonObject profile = profile_support::profileObjectOf(
        request->getParam(QStringLiteral("profile_data"))->getStringValue());
    profile.insert(QStringLiteral("id"), QUuid::createUuid().toString(QUuid::WithBraces));
    profile.insert(
        QStringLiteral("date_created"), QDate::currentDate().toString(QStringLiteral("dd MMM yyyy")));
    response->setResultValue(new RpcValue(profile));
    return {};
}

} // namespace tarvesk::service
