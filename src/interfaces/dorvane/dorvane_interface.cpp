#include "interfaces/dorvane/dorvane_interface.h"

#include "core/device.h"
#include "core/itf_error.h"
#include "protocol/dali/dali_packet.h"
#include "protocol/dorvane/dorvane_packet.h"
#include "protocol/options.h"

#include <QCoreApplication>
#include <QDebug>

#include <chrono>
#include <memory>
#include <thread>

namespace tarvesk::itf {

namespace {

constexpr quint8 VirtualDaliFrame = 0x40;
constexpr quint8 InternalAddressingBit = 0x01;
constexpr quint8 PhysicalDaliBit = 0x02;
constexpr quint8 BridgeControl = 0x0B;
constexpr quint8 InternalCommandBase = 0x58;
// Byte 2 of the answer of a Corvalt driver's DALI module.
constexpr quint8 ModuleAnswered = 0x41;
constexpr quint8 ModuleHandled = 0x80;
constexpr quint8 ModuleBackwardFrame = 0x01;

std::unique_ptr<proto::DorvanePacket> frameOf(quint8 b0, quint8 b1, quint8 b2, quint8 b3)
{
    const unsigned char bytes[] = {b0, b1, b2, b3};
    return std::make_unique<proto::DorvanePacket>(bytes, 4);
}

// The DALI answer that the Dorvane answer of a virtual DALI frame carries.
proto::DaliPacket* daliAnswerOf(
    const proto::DorvanePacket& answer, bool corvaltInterface, bool moduleCheck, bool corvaltOption)
{
    auto* dali = new proto::DaliPacket();
    const quint8 byte2 = answer.getUint8(2);
    const quint8 byte3 = answer.getUint8(3);
    if (!corvaltInterface) {
        dali->appendByte(byte2);
    } else if (moduleCheck) {
        if (byte2 == ModuleAnswered)
            dali->appendByte(byte3);
        else if (!(byte2 & ModuleHandled))
            dali->setFlags(proto::PACKET_FLAG_NOT_HANDLED_BY_MODULE);
        else if (byte2 & ModuleBackwardFrame)
            dali->appendByte(byte3);
        else
            dali->setFlags(proto::PACKET_FLAG_TIMEOUT_EVENT);
    } else {
        qDebug().noquote() << "Dorvane answer to a virtual DALI frame:" << answer.getHexString();
        dali->appendByte(corvaltOption ? byte3 : byte2);
    }
    return dali;
}

} // namespace

DorvaneInterface::DorvaneInterface(core::Device* device)
    : SetpointInterface(device, core::ITF_TYPE_DORVANE)
{ }

DorvaneInterface::~DorvaneInterface() = default;

QString DorvaneInterface::dorvaneStateToString(int state)
{
    switch (state) {
    case DORVANE_DISABLED:
        return QCoreApplication::translate("DorvaneInterface", "Dorvane disabled");
    case DORVANE_1_DEVICE:
        return QCoreApplication::translate("DorvaneInterface", "Dorvane 1 device");
    case DORVANE_2_DEVICE:
        return QCoreApplication::translate("DorvaneInterface", "Dorvane 2 device");
    case DORVANE_1_HOST:
        return QCoreApplication::translate("DorvaneInterface", "Dorvane 1 host");
    case DORVANE_2_HOST:
        return QCoreApplication::translate("DorvaneInterface", "Dorvane 2 host");
    case DORVANE_2_LOGGER:
        return QCoreApplication::translate("DorvaneInterface", "Dorvane 2 logger");
    default:
        return QCoreApplication::translate("DorvaneInterface", "Unknown state");
    }
}

int DorvaneInterface::sendSetpoint(const QList<int>&, core::NetworkResolution, int)
{
    return core::ITF_ERR_UNSUPPORTED_FEATURE;
}

void DorvaneInterface::pause(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int DorvaneInterface::sendAddressesDorvane(core::Device* device, proto::DorvanePacket* packet,
    proto::DorvanePacket** reply, proto::Options* options, DorvaneAction action)
{
    const int status = sendDorvane(packet, reply, options, action);
    if (device) {
        device->getPacketLog()->addPacket(packet->clone());
        if (reply && *reply)
            device->getPacketLog()->addPacket((*reply)->clone());
    }
    return status;
}

int DorvaneInterface::sendVirtualDali(
    proto::DaliPacket* dali, proto::DaliPacket** reply, proto::Options* options)
{
    if (!isDorvaneDeviceConnected())
        return core::ITF_ERR_NO_DEVICE;
    if (!dali || dali->getDataSize() != 2)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    proto::Options none;
    if (!options)
        options = &none;
    const quint8 control = VirtualDaliFrame
        | (options->isOptionTrue(proto::option::InternalAddressing) ? InternalAddressingBit : 0)
        | (options->isOptionTrue(proto::option::SendToPhysicalDali) ? PhysicalDaliBit : 0);
    const auto frame = frameOf(control, BridgeControl, dali->getData()[1], dali->getData()[0]);
    const bool corvaltOption = options->isOptionTrue(proto::option::DorvaneCorvalt);
    proto::Options request;
    request.addOption(proto::option::ExpectAnswer, true);
    request.addOption(proto::option::RetryCount, VirtualDaliRetries);
    request.addOption(proto::option::DorvaneCorvalt, corvaltOption);
    const bool expectAnswer = options->isOptionTrue(proto::option::ExpectAnswer);
    const DorvaneAction action = expectAnswer ? DORVANE_ACTION_READ : DORVANE_ACTION_WRITE;

    proto::DorvanePacket* received = nullptr;
    int status = sendDorvane(frame.get(), &received, &request, action);
    std::unique_ptr<proto::DorvanePacket> answer(received);
    if (status == core::ITF_OK && options->isOptionTrue(proto::option::SendTwice)) {
        received = nullptr;
        status = sendDorvane(frame.get(), &received, &request, action);
        answer.reset(received);
        if (status != core::ITF_OK)
            pause(SendTwiceFailurePauseMs);
    }
    if (!answer || !reply)
        return status;
    if (!expectAnswer) {
        *reply = nullptr;
        return status;
    }
    *reply = daliAnswerOf(*answer, hasCapability(core::ITF_CAP_CORVALT_DALI),
        options->isOptionTrue(proto::option::ModuleCheck), corvaltOption);
    return status;
}

int DorvaneInterface::sendRawBytes(int byte0, int byte1, int byte2, int byte3)
{
    if (!isDorvaneDeviceConnected())
        return core::ITF_ERR_NO_DEVICE;
    const auto frame
        = frameOf(quint8(byte0 & 0xFF), quint8(byte1 & 0xFF), quint8(byte2 & 0xFF), quint8(byte3 & 0xFF));
    proto::Options options;
    options.addOption(proto::option::RetryCount, RawBytesRetries);
    options.addOption(proto::option::ExpectAnswer, true);
    proto::DorvanePacket* reply = nullptr;
    const int status = sendDorvane(frame.get(), &reply, &options, DORVANE_ACTION_WRITE);
    delete reply;
    return status;
}

int DorvaneInterface::sendCommandInternal(quint8 command, quint8 byte2, quint8 byte3, proto::Options& options)
{
    const auto frame = frameOf(quint8(InternalCommandBase + command), BridgeControl, byte2, byte3);
    proto::DorvanePacket* received = nullptr;
    const int status = sendDorvane(frame.get(), &received, &options, DORVANE_ACTION_WRITE);
    const std::unique_ptr<proto::DorvanePacket> reply(received);
    if (status != core::ITF_OK)
        return status;
    if (options.isOptionTrue(proto::option::ExpectAnswer) && (!reply || reply->isTimeoutEvent()))
        return core::ITF_ERR_NO_REPLY;
    return core::ITF_OK;
}

int DorvaneInterface::sendBootloaderModeAccessCommand(int parameter, int valueHigh, int valueLow, bool)
{
    proto::Options options;
    options.addOption(proto::option::ExpectAnswer, true);
    options.addOption(proto::option::RetryCount, AccessRetries);
    const quint8 low = quint8(valueLow & 0xFF);
    const int first = sendCommandInternal(0, low, low, options);
    if (first != core::ITF_OK)
        return first;
    return sendCommandInternal(3, quint8(parameter & 0xFF), quint8(valueHigh & 0xFF), options);
}

} // namespace tarvesk::itf
