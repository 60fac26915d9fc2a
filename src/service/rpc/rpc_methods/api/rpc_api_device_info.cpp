#include "service/rpc/rpc_methods/api/rpc_api_device_info.h"

#include "service/rpc/rpc_methods/api/rpc_api_inner_call.h"
#include "service/rpc/rpc_methods/device/rpc_device_list.h"
#include "service/rpc/rpc_methods/universe/rpc_universe_search.h"
#include "service/rpc_object.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <QJsonArray>
#include <QJsonObject>

namespace tarvesk::service {

namespace {

const QString kInterfaceType = QStringLiteral("interface_type");

// Whether a listed device's interface type names the protocol. A
// second-generation Dorvane driver lists "DORVANE_WY", the Wystrel variant of
// the Dorvane family: it is a Dorvane unit too.
bool onProtocol(const QString& interfaceType, const QString& protocol)
{
    const QString type = interfaceType.toLower();
    const QString wanted = protocol.toLower();
    return type == wanted || (wanted == QLatin1String("dorvane") && type == QLatin1String("dorvane_wy"));
}

} // namespace

RpcApiDeviceInfo::RpcApiDeviceInfo()
    : AbstractRpcMethod(QStringLiteral("uut.device.info"))
{ }

QList<RpcRequestParameter> RpcApiDeviceInfo::inputParameters() const
{
    return {
        RpcRequestParameter(RpcRequestEnums::PARAM_PROTOCOL, QStringLiteral("dorvane"), true,
            RpcRequestEnums::TYPE_STRING, {QStringLiteral("dorvane"), QStringLiteral("dmx")}),
        RpcRequestParameter(RpcRequestEnums::PARAM_API_VERSION, 1, true, RpcRequestEnums::TYPE_INTEGER),
    };
}

RpcMethodError RpcApiDeviceInfo::handleRequest(RpcRequest* request, RpcResponse* response)
{
    // The programming interfaces first, then the bus behind them.
    RpcApiInnerCall search(new RpcUniverseSearch);
    search.add(kInterfaceType, QStringLiteral("usb")).run();
    const QString protocol = request->getParam(QStringLiteral("protocol"))->getStringValue();
    search.add(kInterfaceType, protocol).run();

    RpcApiInnerCall list(new RpcDeviceList);
    list.run(search.response());
    const QJsonArray devices = search.response().getResult()->toJsonValue().toArray();

    auto* result = new RpcObject;
    response->setResultValue(result);
    for (const QJsonValue& entry : devices) {
        const QJsonObject device = entry.toObject();
        if (!onProtocol(device.value(kInterfaceType).toString(), protocol))
            continue;
        // The last device of the list on that bus is the one answered.
        result->addChild(QStringLiteral("id"), new RpcValue(device.value(QStringLiteral("device_id"))));
        result->addChild(QStringLiteral("name"), new RpcValue(device.value(QStringLiteral("device_name"))));
    }
    return {};
}

} // namespace tarvesk::service
