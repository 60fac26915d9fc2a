#include "service/rpc/rpc_methods/protocol/rpc_spi_send.h"

#include "core/universe.h"
#include "interfaces/dmx/spi_interface.h"
#include "protocol/options.h"
#include "protocol/spi/spi_packet.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/protocol/rpc_send_context.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_value.h"

#include <memory>

namespace tarvesk::service {

namespace {

const QString kNordhune = QStringLiteral("nordhune");

} // namespace

RpcSpiSend::RpcSpiSend()
    : RpcSend(QStringLiteral("spi.send"))
{ }

QList<RpcRequestParameter> RpcSpiSend::inputParameters() const
{
    QList<RpcRequestParameter> parameters = RpcSend::inputParameters();
    parameters << RpcRequestParameter(RpcRequestEnums::PARAM_COMMAND, QVariant(), false);
    return parameters;
}

void RpcSpiSend::checkValues(RpcRequest* request) const
{
    checkCount(requestBytes(request).size(), 1, proto::SpiPacket::FrameSize, QStringLiteral("an SPI frame"));
    checkInteger(request, kNordhune, 0, 255, false);
}

RpcMethodError RpcSpiSend::handleRequest(RpcRequest* request, RpcResponse* response)
{
    RpcSendContext context(request);
    initializeContext(request, context, core::ITF_TYPE_SPI);
    core::Universe* universe = context.getUniverse();
    if (!universe)
        QM_THROW_JSONRPC(QStringLiteral("Could not find a valid spi universe"), RPC_ERROR_INTERNAL);
    auto* spi = qobject_cast<itf::SpiInterface*>(universe->getInterface(core::ITF_TYPE_SPI));
    if (!spi) {
        QM_THROW_JSONRPC(QStringLiteral("Could not find SPI interface for universe %1 (%2)")
                             .arg(universe->getId())
                             .arg(universe->getName()),
            RPC_ERROR_INVALID_PARAMS);
    }

    proto::SpiPacket packet;
    initializePacket(request, packet);
    context.addBoolOption(proto::option::ExpectAnswer, false);
    RpcValue* nordhune = request->getParam(kNordhune);
    if (nordhune && nordhune->isDoubleValue())
        packet.setNordhune(quint8(nordhune->getIntegerValue()));
    // Read before the send: an interface may change the options it is handed.
    const bool expectAnswer = context.getOptions()->isOptionTrue(proto::option::ExpectAnswer);

    proto::SpiPacket* received = nullptr;
    const int status = spi->sendSpi(&packet, &received, context.getOptions());
    buildResponse(response, status, std::unique_ptr<proto::RawPacket>(received), expectAnswer);
    return {};
}

} // namespace tarvesk::service
