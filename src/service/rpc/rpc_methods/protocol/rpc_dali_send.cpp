#include "service/rpc/rpc_methods/protocol/rpc_dali_send.h"

#include "core/universe.h"
#include "interfaces/dali_interface.h"
#include "protocol/dali/dali_packet.h"
#include "protocol/options.h"
#include "protocol/usb/vandrel_commands.h"
#include "protocol/usb/vandrel_dali_request.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/protocol/rpc_send_context.h"
#include "service/rpc_error_codes.h"

#include <memory>
#include <mutex>

namespace tarvesk::service {

namespace option = proto::option;

RpcDaliSend::RpcDaliSend()
    : RpcSend(QStringLiteral("dali.send"))
{ }

QList<RpcRequestParameter> RpcDaliSend::inputParameters() const
{
    QList<RpcRequestParameter> parameters = RpcSend::inputParameters();
    parameters << RpcRequestParameter(RpcRequestEnums::PARAM_EXPECT_ANSWER, false, false)
               << RpcRequestParameter(RpcRequestEnums::PARAM_FULL_BITBANG, false, false)
               << RpcRequestParameter(RpcRequestEnums::PARAM_SEND_TWICE, false, false)
               << RpcRequestParameter(RpcRequestEnums::PARAM_SETTLING_TIME, 15, false)
               << RpcRequestParameter(RpcRequestEnums::PARAM_STOPBIT_TIME, 1.664, false)
               << RpcRequestParameter(RpcRequestEnums::PARAM_ANSWER_TIMEOUT, 10.5, false)
               << RpcRequestParameter(RpcRequestEnums::PARAM_INTERNAL_ADDRESSING, false, false)
               << RpcRequestParameter(RpcRequestEnums::PARAM_SEND_TO_PHYSICAL_DALI, false, false)
               << RpcRequestParameter(RpcRequestEnums::PARAM_MODULE_CHECK, false, false);
    return parameters;
}

void RpcDaliSend::checkValues(RpcRequest* request) const
{
    // Bit-bang elements are times, not bytes: any integer, made into ticks later.
    if (isTrue(request, option::FullBitbang))
        checkCount(requestIntegers(request).size(), 1, MaxBitbangTimes, QStringLiteral("a bit-bang pattern"));
    else
        checkCount(requestBytes(request).size(), 1, proto::vandrel::DaliExtendedMaxFrame,
            QStringLiteral("a DALI frame"));
    for (const QLatin1String& name : {option::SettlingTime, option::StopbitTime, option::AnswerTimeout})
        checkTime(request, name);
}

RpcMethodError RpcDaliSend::handleRequest(RpcRequest* request, RpcResponse* response)
{
    RpcSendContext context(request);
    initializeContext(request, context, core::ITF_TYPE_DALI);
    core::Universe* universe = context.getUniverse();
    if (!universe)
        QM_THROW_JSONRPC(QStringLiteral("Could not find a valid DALI universe"), RPC_ERROR_INTERNAL);
    auto* dali = getInterface<itf::DaliInterface>(universe, core::ITF_TYPE_DALI);

    const bool bitbang = isTrue(request, option::FullBitbang);
    const QByteArray frame
        = bitbang ? proto::vandrelDaliBitbangPattern(requestIntegers(request)) : requestBytes(request);
    const itf::DaliInterface::FrameSizes sizes = dali->frameSizes(bitbang);
    if (frame.size() < sizes.min || frame.size() > sizes.max) {
        refuse(QStringLiteral("parameter bytes: the DALI line of universe %1 takes %2 of %3 bytes, not %4")
                   .arg(universe->getId())
                   .arg(bitbang ? QStringLiteral("bit-bang patterns with their count byte")
                                : QStringLiteral("frames"),
                       countText(sizes.min, sizes.max))
                   .arg(frame.size()));
    }

    // Held until the reply is set; released on every way out.
    std::unique_lock<core::NetworkInterface> lock(*dali);
    proto::DaliPacket packet;
    packet.append(frame);
    context.addBoolOption(option::FullBitbang, false);
    context.addBoolOption(option::InternalAddressing, false);
    context.addBoolOption(option::SendToPhysicalDali, false);
    context.addNumberOption(option::SettlingTime, 13.5);
    context.addNumberOption(option::AnswerTimeout, 13.0);
    context.addNumberOption(option::StopbitTime, 1.664);
    context.addBoolOption(option::ExpectAnswer, false);
    context.addBoolOption(option::SendTwice, false);
    context.addBoolOption(option::ModuleCheck, true);
    // Read before the send: an interface may change the options it is handed.
    const bool expectAnswer = context.getOptions()->isOptionTrue(option::ExpectAnswer);

    proto::DaliPacket* received = nullptr;
    const int status = dali->sendDali(&packet, &received, context.getOptions());
    buildResponse(response, status, std::unique_ptr<proto::RawPacket>(received), expectAnswer);
    return {};
}

} // namespace tarvesk::service
