#include "service/rpc/rpc_methods/protocol/rpc_dorvane_send.h"

#include "core/itf_error.h"
#include "core/network_interface.h"
#include "core/parameters/raw_parameter_interface.h"
#include "core/universe.h"
#include "devices/usb_vandrel_device.h"
#include "interfaces/dmx/spi_interface.h"
#include "interfaces/dorvane/dorvane_interface.h"
#include "interfaces/usb_vandrel_dorvane_interface.h"
#include "protocol/dorvane/dorvane_packet.h"
#include "protocol/dorvane/dorvane_raw_frame.h"
#include "protocol/options.h"
#include "protocol/spi/spi_packet.h"
#include "protocol/usb/vandrel_dorvane_request.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/protocol/rpc_send_context.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_value.h"
#include "service/string_exception.h"

#include <cmath>
#include <memory>

namespace tarvesk::service {

namespace {

namespace option = proto::option;

const QString kDataType = QStringLiteral("data_type");
const QString kScratchReg = QStringLiteral("scratch_reg");
const QString kAddress = QStringLiteral("address");
const QString kNordhune = QStringLiteral("nordhune");
const QString kRetry = QStringLiteral("retry");
const QString kRetryCount = QStringLiteral("retry_count");
constexpr int MaxRetry = 255;

enum Dv2Type { DV2_STATUS, DV2_QUERY, DV2_READ, DV2_WRITE, DV2_HOST_COMMAND, NOT_DV2 };

// What each DV2 frame builder takes of "bytes": b0, b1, b2 are its first three.
const struct Dv2Row
{
    Dv2Type type;
    const char* name;
    int minBytes;
    int maxBytes;
} dv2Table[] = {
    {DV2_STATUS, "dv2_status", 1, 3},             // b0 b1 b2 (absent: 0)
    {DV2_QUERY, "dv2_query", 1, 3},               // the payload
    {DV2_READ, "dv2_read", 2, 2},                 // register, count 1..8
    {DV2_WRITE, "dv2_write", 2, 3},               // register, one or two data bytes
    {DV2_HOST_COMMAND, "dv2_host_command", 1, 5}, // command 0..3, length field 0..7, payload
};
constexpr int MaxReadCount = 8;
constexpr int MaxHostCommand = 3;
constexpr int MaxLengthField = 7;

Dv2Type dv2TypeOf(RpcRequest* request)
{
    RpcValue* value = request->getParam(kDataType);
    const QString text
        = value && value->getType() == RpcValue::RPC_VALUE_STRING ? value->getStringValue() : QString();
    for (const Dv2Row& row : dv2Table) {
        if (text == QLatin1String(row.name))
            return row.type;
    }
    return NOT_DV2;
}

const Dv2Row& rowOf(Dv2Type type)
{
    return dv2Table[type];
}

quint8 byteAt(const QByteArray& bytes, int i)
{
    return i < bytes.size() ? quint8(bytes.at(i)) : 0;
}

int scratchRegisterOf(RpcRequest* request)
{
    RpcValue* value = request->getParam(kScratchReg);
    return value ? value->getIntegerValue() : -1;
}

bool buildDv2Frame(proto::SpiPacket& packet, Dv2Type type, quint8 address, const QByteArray& bytes)
{
    switch (type) {
    case DV2_STATUS:
        return packet.DV2_setStatusCommand(byteAt(bytes, 0), byteAt(bytes, 1), byteAt(bytes, 2), false);
    case DV2_QUERY:
        return packet.DV2_setQueryCommand(address, bytes);
    case DV2_READ:
        return packet.DV2_setReadCommand(address, byteAt(bytes, 0), byteAt(bytes, 1), true);
    case DV2_WRITE:
        return packet.DV2_setWriteCommand(address, byteAt(bytes, 0), bytes.mid(1), true);
    case DV2_HOST_COMMAND:
        return packet.DV2_setHostCommand(address, byteAt(bytes, 0), bytes.mid(2), byteAt(bytes, 1), true);
    case NOT_DV2:
        break;
    }
    return false;
}

} // namespace

RpcDorvaneSend::RpcDorvaneSend()
    : RpcSend(QStringLiteral("dorvane.send"))
{ }

QList<RpcRequestParameter> RpcDorvaneSend::inputParameters() const
{
    QList<RpcRequestParameter> parameters = RpcSend::inputParameters();
    parameters << RpcRequestParameter(RpcRequestEnums::PARAM_EXPECT_ANSWER, false, false)
               << RpcRequestParameter(RpcRequestEnums::PARAM_BUS_ADDRESS, QVariant(), false)
               << RpcRequestParameter(RpcRequestEnums::PARAM_BRIDGE, false, false)
               << RpcRequestParameter(RpcRequestEnums::PARAM_RETRY, 2, false)
               << RpcRequestParameter(RpcRequestEnums::PARAM_DATA_TYPE, QStringLiteral("raw"), false)
               << RpcRequestParameter(
                      RpcRequestEnums::PARAM_SCRATCH_REG, -1, false, RpcRequestEnums::TYPE_INTEGER);
    return parameters;
}

void RpcDorvaneSend::checkValues(RpcRequest* request) const
{
    // "retry_count" is the interface's own word for its attempts; a client
    // that gives it here would believe the frame is sent that often.
    if (request->getParam(kRetryCount))
        refuse(
            QStringLiteral("parameter retry_count is not taken by dorvane.send: a raw frame is sent once"));
    checkInteger(request, kRetry, 0, MaxRetry, true);
    const int scratch = scratchRegisterOf(request);
    if (scratch < -1) {
        QM_THROW_STRING(QStringLiteral(
            "Scratch register can not contain negative numbers except -1 (ignore scracth register = -1)"));
    }
    if (scratch > MaxScratchRegister)
        refuse(QStringLiteral("parameter scratch_reg must be -1 or an integer in 0..%1")
                   .arg(MaxScratchRegister));

    const QByteArray bytes = requestBytes(request);
    const Dv2Type type = dv2TypeOf(request);
    if (type == NOT_DV2) {
        if (bytes.size() < proto::dorvane_raw::MinRequestSize
            || bytes.size() > proto::dorvane_raw::MaxRequestSize)
            QM_THROW_JSONRPC(QStringLiteral("Invalid bytes array size. Must be 3 or 4"), RPC_ERROR_INTERNAL);
        return;
    }
    const Dv2Row& row = rowOf(type);
    checkCount(
        bytes.size(), row.minBytes, row.maxBytes, QStringLiteral("data_type ") + QLatin1String(row.name));
    if (type == DV2_READ && (byteAt(bytes, 1) < 1 || byteAt(bytes, 1) > MaxReadCount))
        refuse(QStringLiteral("parameter bytes: the count of dv2_read (byte 1) must be 1 to %1")
                   .arg(MaxReadCount));
    if (type == DV2_HOST_COMMAND && byteAt(bytes, 0) > MaxHostCommand)
        refuse(QStringLiteral("parameter bytes: the command of dv2_host_command (byte 0) must be 0 to %1")
                   .arg(MaxHostCommand));
    if (type == DV2_HOST_COMMAND && byteAt(bytes, 1) > MaxLengthField)
        refuse(
            QStringLiteral("parameter bytes: the length field of dv2_host_command (byte 1) must be 0 to %1")
                .arg(MaxLengthField));
    checkInteger(request, kAddress, 0, MaxModuleAddress, true);
    checkInteger(request, kNordhune, 0, 255, false);
}

RpcMethodError RpcDorvaneSend::handleRequest(RpcRequest* request, RpcResponse* response)
{
    RpcSendContext context(request);
    initializeContext(request, context, core::ITF_TYPE_DORVANE);
    core::Universe* universe = context.getUniverse();
    if (!universe)
        QM_THROW_JSONRPC(QStringLiteral("Could not find a valid dorvane universe"), RPC_ERROR_INTERNAL);
    auto* dorvane = getInterface<itf::DorvaneInterface>(universe, core::ITF_TYPE_DORVANE);

    const int scratch = scratchRegisterOf(request);
    if (scratch >= 0)
        writeScratchRegister(*dorvane, scratch);
    const Dv2Type type = dv2TypeOf(request);
    if (type == NOT_DV2)
        sendRaw(request, response, context, *dorvane);
    else
        sendDv2(request, response, context, type);
    return {};
}

void RpcDorvaneSend::writeScratchRegister(itf::DorvaneInterface& dorvane, int value) const
{
    if (dorvane.getDorvaneState() != itf::DorvaneInterface::DORVANE_2_DEVICE) {
        QM_THROW_JSONRPC(
            QStringLiteral("Vandrel not in Dorvane2 mode. Please put the vandrel in Dorvane2 mode "
                           "and try again!"),
            RPC_ERROR_INTERNAL);
    }
    auto* vandrel = qobject_cast<devices::UsbVandrelDevice*>(dorvane.getParentDevice());
    if (!vandrel)
        QM_THROW_JSONRPC(QStringLiteral("Invalid vandrel device!"), RPC_ERROR_INTERNAL);
    core::RawParameterInterface* ram = vandrel->getRawParameterInterface(QStringLiteral("dorvane_ram"));
    const int status = ram ? ram->setParameter(core::ITF_RES_WORD,
                           itf::UsbVandrelDorvaneInterface::Dorvane2TargetAddress, unsigned(value))
                           : int(core::ITF_ERR_NO_DEVICE);
    if (status != core::ITF_OK)
        QM_THROW_JSONRPC(
            QStringLiteral("Error setting the vandrel register %1").arg(status), RPC_ERROR_INTERNAL);
}

void RpcDorvaneSend::sendRaw(
    RpcRequest* request, RpcResponse* response, RpcSendContext& context, itf::DorvaneInterface& dorvane) const
{
    const QByteArray bytes = requestBytes(request);
    const QByteArray frame = proto::dorvane_raw::frame(bytes).value_or(QByteArray());
    proto::DorvanePacket packet(reinterpret_cast<const unsigned char*>(frame.constData()), frame.size());
    context.addBoolOption(option::DorvaneCorvalt, true);
    context.addBoolOption(option::ExpectAnswer, true);
    // Read before the send: the interface changes the options it is handed.
    const bool expectAnswer = context.getOptions()->isOptionTrue(option::ExpectAnswer);
    const auto action = expectAnswer ? itf::DorvaneInterface::DORVANE_ACTION_READ
                                     : itf::DorvaneInterface::DORVANE_ACTION_WRITE;

    proto::DorvanePacket* received = nullptr;
    const int status = dorvane.sendDorvane(&packet, &received, context.getOptions(), action);
    std::unique_ptr<proto::RawPacket> answer(received);
    if (answer && bytes.size() == proto::dorvane_raw::MinRequestSize) {
        // In the request's own layout; what the answer says about itself stays.
        const QByteArray shortened = proto::dorvane_raw::shortAnswer(answer->getRawDataString());
        auto reordered = std::make_unique<proto::DorvanePacket>(
            reinterpret_cast<const unsigned char*>(shortened.constData()), shortened.size());
        reordered->setFlags(answer->getFlags());
        reordered->setTimeSinceLast(answer->getTimeSinceLast());
        answer = std::move(reordered);
    }
    if (status <= core::ITF_ERR_DORVANE_BASE && status >= core::ITF_ERR_DORVANE_LAST) {
        // The driver answered, flagging an error: say so, with the box's name for it.
        QM_THROW_JSONRPC(QStringLiteral("Unable to build packet response. error %1 (the driver flagged its "
                                        "answer: %2)")
                             .arg(core::itfErrorToString(status),
                                 proto::vandrelDorvaneErrorName(core::ITF_ERR_DORVANE_BASE - status)),
            RPC_ERROR_INTERNAL);
    }
    buildResponse(response, status, std::move(answer), expectAnswer);
}

void RpcDorvaneSend::sendDv2(
    RpcRequest* request, RpcResponse* response, RpcSendContext& context, int dv2Type) const
{
    auto* spi = getInterface<itf::SpiInterface>(context.getUniverse(), core::ITF_TYPE_SPI);
    RpcValue* addressValue = request->getParam(kAddress);
    const int address = addressValue ? addressValue->getIntegerValue() : DefaultModuleAddress;
    proto::SpiPacket packet;
    if (!buildDv2Frame(packet, Dv2Type(dv2Type), quint8(address), requestBytes(request)))
        refuse(QStringLiteral("parameter bytes: no %1 frame can be built of them")
                   .arg(rowOf(Dv2Type(dv2Type)).name));
    context.addBoolOption(option::ExpectAnswer, false);
    // A DV2 module's answer sits elsewhere in the carrying frame than a first-generation one's.
    context.getOptions()->addOption(option::Dorvane2, true);
    RpcValue* nordhune = request->getParam(kNordhune);
    if (nordhune && nordhune->isDoubleValue())
        packet.setNordhune(quint8(nordhune->getIntegerValue()));
    const bool expectAnswer = context.getOptions()->isOptionTrue(option::ExpectAnswer);

    proto::SpiPacket* received = nullptr;
    const int status = spi->sendSpi(&packet, &received, context.getOptions());
    buildResponse(response, status, std::unique_ptr<proto::RawPacket>(received), expectAnswer);
}

} // namespace tarvesk::service
