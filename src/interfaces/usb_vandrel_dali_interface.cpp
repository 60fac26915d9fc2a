#include "interfaces/usb_vandrel_dali_interface.h"

#include "core/device.h"
#include "core/itf_error.h"
#include "interfaces/iusb_vandrel_device.h"
#include "interfaces/lib_usb_interface.h"
#include "log/logging_categories.h"
#include "protocol/dali/dali_packet.h"
#include "protocol/options.h"
#include "protocol/packet_mutex.h"
#include "protocol/usb/usb_vandrel_packet.h"

#include <QDeadlineTimer>

#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

namespace tarvesk::itf {

namespace {

constexpr int ReportSize = 64;
constexpr int SimpleFrameOffset = 2;
constexpr int MaxBitbangBytes = ReportSize - SimpleFrameOffset;

// Byte 1 of a DALI request.
constexpr quint8 FlagFullBitbang = 0x02;
constexpr quint8 FlagExtended = 0x40;
constexpr quint8 FlagSendTwice = 0x80;
// Byte 3 of an extended request: frame length + 0x10, + 0x20 when an answer is awaited.
constexpr quint8 LengthMarker = 0x10;
constexpr quint8 ExpectAnswerMarker = 0x20;
// Byte 1 of a not-ready reply.
constexpr quint8 NoDaliSupply = 1;

// The DALI status reply of older interfaces.
constexpr quint8 StatusReplyByte0 = 0x8C;
constexpr quint8 StatusDataReady = 0x04;
constexpr quint8 StatusDone = 0x08;
constexpr quint8 ProgressAnswerWindowOver = 0xBD;
constexpr quint8 ProgressDone = 0xFF;
constexpr int MonitorIntervalMs = 5;

std::unique_ptr<proto::UsbVandrelPacket> report(quint8 command)
{
    auto packet = std::make_unique<proto::UsbVandrelPacket>();
    packet->resize(ReportSize);
    packet->setByte(0, command);
    return packet;
}

proto::DaliPacket* timeoutAnswer()
{
    auto* answer = new proto::DaliPacket();
    answer->setFlags(proto::PACKET_FLAG_TIMEOUT_EVENT);
    return answer;
}

proto::DaliPacket* copyOf(const proto::RawPacket& packet)
{
    auto* copy = new proto::DaliPacket(packet.getData(), packet.getDataSize());
    copy->copyFrom(&packet);
    return copy;
}

bool isEchoOf(const proto::RawPacket& record, const proto::DaliPacket& sent)
{
    return record.getDataSize() == sent.getDataSize() && !record.isFrameError() && !record.isTimeoutEvent()
        && std::equal(sent.getData(), sent.getData() + sent.getDataSize(), record.getData());
}

void pause(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

UsbVandrelDaliInterface::UsbVandrelDaliInterface(core::Device* device)
    : DaliInterface(device)
{ }

UsbVandrelDaliInterface::~UsbVandrelDaliInterface() = default;

void UsbVandrelDaliInterface::init()
{
    core::Device* device = getParentDevice();
    _transport = device ? qobject_cast<LibUsbInterface*>(device->getInterface()) : nullptr;
    _vandrel = dynamic_cast<IUsbVandrelDevice*>(device);
    if (!_vandrel)
        return;
    if (device->hasCapability(core::Device::CAP_VD_DALI_REPLY_SUPPORT)
        && !hasCapability(core::ITF_CAP_DALI_REPLY_SUPPORT))
        addCapability(core::ITF_CAP_DALI_REPLY_SUPPORT);
    if (device->hasCapability(core::Device::CAP_VD_CONFIG_DALI_SETTLING_TIME)
        && !hasCapability(core::ITF_CAP_CONFIG_DALI_SETTLING_TIME))
        addCapability(core::ITF_CAP_CONFIG_DALI_SETTLING_TIME);
}

int UsbVandrelDaliInterface::timeUnits(const proto::Options& options, const QString& name, int maxUnits)
{
    bool ok = false;
    const double ms = options.getOption(name).toDouble(&ok);
    if (!ok || !std::isfinite(ms) || ms <= 0)
        return 0;
    // The epsilon keeps exact multiples of the unit (1.664 ms = 16 units) from
    // truncating one unit short through rounding of the division.
    const double units = std::trunc(ms / TimeUnitMs + 1e-9);
    return units >= maxUnits ? maxUnits : int(units);
}

std::unique_ptr<proto::UsbVandrelPacket> UsbVandrelDaliInterface::buildRequest(
    const proto::DaliPacket& packet, const proto::Options& options) const
{
    const int size = packet.getDataSize();
    const bool bitbang = options.isOptionTrue(proto::option::FullBitbang);
    const quint8 twice = options.isOptionTrue(proto::option::SendTwice) ? FlagSendTwice : 0;
    auto request = report(RequestCommand);

    if (hasCapability(core::ITF_CAP_CONFIG_DALI_SETTLING_TIME) && !bitbang) {
        if (size < 1 || size > MaxExtendedFrame)
            return nullptr;
        const bool expect = options.isOptionTrue(proto::option::ExpectAnswer);
        const int settling = timeUnits(options, proto::option::SettlingTime, 0xFFFF);
        request->setByte(1, FlagExtended | twice);
        request->setByte(2, 1);
        request->setByte(3, quint8(size + LengthMarker + (expect ? ExpectAnswerMarker : 0)));
        request->appendData(4, packet.getData(), size);
        request->setByte(8, quint8(settling >> 8));
        request->setByte(9, quint8(settling & 0xFF));
        request->setByte(10, quint8(timeUnits(options, proto::option::AnswerTimeout, 0xFF)));
        request->setByte(11, quint8(timeUnits(options, proto::option::StopbitTime, 0xFF)));
        request->resize(ReportSize);
        return request;
    }
    if ((!bitbang && size != 2) || size > MaxBitbangBytes)
        return nullptr;
    request->setByte(1, quint8((bitbang ? FlagFullBitbang : 0) | twice));
    request->appendData(SimpleFrameOffset, packet.getData(), size);
    request->resize(ReportSize);
    return request;
}

int UsbVandrelDaliInterface::sendRequest(const proto::UsbVandrelPacket& request)
{
    proto::UsbVandrelPacket reply;
    QDeadlineTimer deadline(_limits.busyDeadlineMs);
    for (;;) {
        const int status = _transport->transferPacket(_vandrel->getDeviceHandle(), &request, &reply);
        if (status != core::ITF_OK)
            return status;
        if (!reply.isNotReady())
            return reply.isUnsupported() ? core::ITF_ERR_UNSUPPORTED_FEATURE : core::ITF_OK;
        if (reply.getUint8(1) == NoDaliSupply)
            return core::ITF_ERR_TRANSFER;
        // Busy: the interface takes the request once its bus is free, but a box
        // that stays busy must not hold this thread and the interface lock.
        if (deadline.hasExpired()) {
            qCWarning(service::loggerGlog()).noquote()
                << QStringLiteral(GLOG_PREFIX "DALI interface stayed busy for %1 ms")
                       .arg(_limits.busyDeadlineMs);
            return core::ITF_ERR_BUSY;
        }
        pause(_limits.pauseMs);
    }
}

int UsbVandrelDaliInterface::sendDali(
    proto::DaliPacket* packet, proto::DaliPacket** answer, proto::Options* options)
{
    proto::Options noOptions;
    if (!options)
        options = &noOptions;
    core::Device* device = getParentDevice();
    if (!device || !device->isConnected() || !_transport || !_vandrel)
        return core::ITF_ERR_NO_DEVICE;
    if (!packet)
        return core::ITF_ERR_INVALID_PARAM;
    if (!device->isStatusTrue(core::Device::STATUS_DALI_CONNECTED))
        device->setStatus(core::Device::STATUS_DALI_CONNECTED, 1);

    const std::unique_ptr<proto::UsbVandrelPacket> request = buildRequest(*packet, *options);
    if (!request)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    const bool expectAnswer = options->isOptionTrue(proto::option::ExpectAnswer);

    std::unique_lock<core::NetworkInterface> exchange(*_transport);
    if (device->hasCapability(core::Device::CAP_VD_LARGE_PACKETS)) {
        if (!expectAnswer || !answer)
            return sendRequest(*request);
        proto::PacketMutex mutex(0, false);
        mutex.setInterfaceType(proto::PACKET_TYPE_DALI);
        // Installed before the request goes out, so that an answer the monitor
        // completes at once cannot slip past.
        _vandrel->installPacketMutex(&mutex);
        const int status = sendRequest(*request);
        exchange.unlock(); // other senders may use the interface while this one waits
        if (status == core::ITF_OK)
            *answer = waitForBackwardFrame(mutex, *packet);
        _vandrel->installPacketMutex(nullptr);
        return status;
    }

    const int status = sendRequest(*request);
    if (status != core::ITF_OK)
        return status;
    if (_vandrel->hasDataMonitor())
        _vandrel->restartMonitor(MonitorIntervalMs);
    if (!expectAnswer)
        return core::ITF_OK;
    return pollForAnswer(answer);
}

// The records of the DALI bus arrive in bus order: the echo of the frame just
// sent, then its backward frame, a frame error or a time-out event. Records
// before the echo belong to earlier exchanges (an answer nobody waited for) and
// are never taken for this one's answer.
proto::DaliPacket* UsbVandrelDaliInterface::waitForBackwardFrame(
    proto::PacketMutex& mutex, const proto::DaliPacket& sent)
{
    QDeadlineTimer deadline(_limits.answerDeadlineMs);
    bool echoSeen = false;
    for (;;) {
        const int waitMs = int(qMin<qint64>(_limits.answerQuietMs, deadline.remainingTime()));
        if (waitMs <= 0 || mutex.waitForReplyIndex(waitMs))
            return timeoutAnswer();
        const proto::RawPacket* record = mutex.getPacket();
        if (!record)
            return timeoutAnswer();
        if (!echoSeen) {
            echoSeen = isEchoOf(*record, sent);
            continue;
        }
        if (record->isTimeoutEvent())
            return timeoutAnswer();
        if (record->isFrameError() || record->getDataSize() == 0) {
            proto::DaliPacket* garbled = copyOf(*record);
            garbled->setFlags(proto::PACKET_FLAG_FRAME_ERROR);
            return garbled;
        }
        if (record->getDataSize() == 1)
            return copyOf(*record);
        // A forward frame (the repeat of a frame sent twice, other traffic): wait on.
    }
}

int UsbVandrelDaliInterface::pollForAnswer(proto::DaliPacket** answer)
{
    const std::unique_ptr<proto::UsbVandrelPacket> statusRequest = report(StatusCommand);
    proto::UsbVandrelPacket reply;
    quint8 bits = 0;
    QDeadlineTimer deadline(_limits.statusDeadlineMs);
    for (;;) {
        const int status
            = _transport->transferPacket(_vandrel->getDeviceHandle(), statusRequest.get(), &reply);
        if (status != core::ITF_OK) {
            qCCritical(service::loggerGlog()).noquote()
                << QStringLiteral(GLOG_PREFIX "Error while querying DALI status %1")
                       .arg(core::itfErrorToString(status));
            if (status == core::ITF_ERR_NO_DEVICE || status == core::ITF_ERR_NOT_FOUND)
                return status;
        } else {
            if (reply.getUint8(0) != StatusReplyByte0)
                qCWarning(service::loggerGlog()).noquote()
                    << QStringLiteral(GLOG_PREFIX "DALI get status error %1").arg(reply.getUint8(0));
            bits = reply.getUint8(1);
            const quint8 progress = reply.getUint8(2);
            if ((bits & (StatusDone | StatusDataReady)) || progress >= ProgressAnswerWindowOver
                || progress == ProgressDone)
                break;
        }
        if (deadline.hasExpired()) {
            qCWarning(service::loggerGlog()).noquote()
                << QStringLiteral(GLOG_PREFIX "DALI status did not settle within %1 ms")
                       .arg(_limits.statusDeadlineMs);
            return core::ITF_ERR_TIMEOUT;
        }
        pause(_limits.pauseMs);
    }
    if (!(bits & StatusDataReady))
        return core::ITF_OK; // nobody answered

    const std::unique_ptr<proto::UsbVandrelPacket> dataRequest = report(DataCommand);
    const int status = _transport->transferPacket(_vandrel->getDeviceHandle(), dataRequest.get(), &reply);
    if (status != core::ITF_OK || !answer)
        return status; // a failed fetch hands back no answer
    const quint8 byte = reply.getUint8(3);
    *answer = new proto::DaliPacket(&byte, 1);
    (*answer)->setTimeSinceLast(reply.getUint8(4) * TimeUnitMs);
    return core::ITF_OK;
}

} // namespace tarvesk::itf
