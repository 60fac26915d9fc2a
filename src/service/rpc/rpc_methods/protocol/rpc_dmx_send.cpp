#include "service/rpc/rpc_methods/protocol/rpc_dmx_send.h"

#include "core/universe.h"
#include "interfaces/dmx/dmx_interface.h"
#include "protocol/dmx/dmx_packet.h"
#include "protocol/options.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/protocol/rpc_send_context.h"
#include "service/rpc_error_codes.h"

#include <memory>

namespace tarvesk::service {

namespace option = proto::option;

RpcDmxSend::RpcDmxSend()
    : RpcSend(QStringLiteral("dmx.send"))
{ }

QList<RpcRequestParameter> RpcDmxSend::inputParameters() const
{
    QList<RpcRequestParameter> parameters = RpcSend::inputParameters();
    parameters << RpcRequestParameter(RpcRequestEnums::PARAM_EXPECT_ANSWER, false, false)
               << RpcRequestParameter(RpcRequestEnums::PARAM_INTERNAL, false, false)
               << RpcRequestParameter(RpcRequestEnums::PARAM_BANANA_MODE, false, false)
               << RpcRequestParameter(RpcRequestEnums::PARAM_WAIT_FOR_IDLE, true, false)
               << RpcRequestParameter(RpcRequestEnums::PARAM_BREAK_TIME, 0, false)
               << RpcRequestParameter(RpcRequestEnums::PARAM_ANSWER_TIMEOUT, 0, false)
               << RpcRequestParameter(RpcRequestEnums::PARAM_UART_SPEED, QVariant(), false);
    return parameters;
}

void RpcDmxSend::checkValues(RpcRequest* request) const
{
    checkCount(requestBytes(request).size(), 1, MaxFrameSize, QStringLiteral("a DMX frame"));
    for (const QLatin1String& name : {option::BreakTime, option::AnswerTimeout})
        checkTime(request, name);
}

RpcMethodError RpcDmxSend::handleRequest(RpcRequest* request, RpcResponse* response)
{
    RpcSendContext context(request);
    initializeContext(request, context, core::ITF_TYPE_DMX);
    core::Universe* universe = context.getUniverse();
    if (!universe)
        QM_THROW_JSONRPC(QStringLiteral("No universe found to initialize context"), RPC_ERROR_INTERNAL);
    auto* dmx = getInterface<itf::DmxInterface>(universe, core::ITF_TYPE_DMX);

    proto::DmxPacket packet;
    initializePacket(request, packet);
    context.addBoolOption(option::WaitForIdle, true);
    context.addBoolOption(option::BananaMode, false);
    context.addNumberOption(option::AnswerTimeout, 0.0);
    context.addNumberOption(option::BreakTime, 0.0);
    context.addBoolOption(option::Internal, false);
    context.addBoolOption(option::ExpectAnswer, false);
    // Read before the send: an interface may change the options it is handed.
    const bool expectAnswer = context.getOptions()->isOptionTrue(option::ExpectAnswer);

    proto::DmxPacket* received = nullptr;
    const int status = dmx->sendDmx(&packet, &received, context.getOptions());
    buildResponse(response, status, std::unique_ptr<proto::RawPacket>(received), expectAnswer);
    return {};
}

} // namespace tarvesk::service
