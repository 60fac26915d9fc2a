#include "interfaces/usb_vandrel_dali_interface.h"

#include "core/device.h"
#include "core/itf_error.h"
#include "interfaces/iusb_vandrel_device.h"
#include "interfaces/lib_usb_interface.h"
#include "interfaces/vandrel_answer_wait.h"
#include "log/logging_categories.h"
#include "protocol/dali/dali_command_table.h"
#include "protocol/dali/dali_packet.h"
#include "protocol/options.h"
#include "protocol/packet_mutex.h"
#include "protocol/usb/usb_vandrel_packet.h"
#include "protocol/usb/vandrel_dali_request.h"

#include <QDeadlineTimer>

#include <chrono>
#include <mutex>
#include <optional>
#include <thread>

namespace tarvesk::itf {

namespace {

namespace vandrel = proto::vandrel;

constexpr int MonitorIntervalMs = 5;
// A query whose answer may be another master's is asked at most this often.
constexpr int MaxAskings = 3;

using Dali = proto::DaliCommandTable;

constexpr quint8 WriteMemoryLocation = Dali::special("WRITE MEMORY LOCATION");
constexpr quint8 ReadMemoryLocation = Dali::opcode("READ MEMORY LOCATION");
constexpr quint8 QueryNextDeviceType = Dali::opcode("QUERY NEXT DEVICE TYPE");

// Whether asking the frame again reads what asking it the first time would
// have: a query of the gear's state. Not so: READ and WRITE MEMORY LOCATION
// (the gear moved its memory pointer on), QUERY NEXT DEVICE TYPE (the gear
// stepped its list), a device type's own commands (they need ENABLE DEVICE
// TYPE right before, which only the caller can send again), and frames the
// command table does not know (three bytes, bit patterns). Their caller
// starts again from the frames the query depends on, or fails.
bool askableAgain(const QByteArray& frame)
{
    if (frame.size() != 2)
        return false;
    const auto first = quint8(frame.at(0));
    const auto second = quint8(frame.at(1));
    const bool addressed = Dali::addressesCommand(first);
    const proto::DaliCommand* command
        = addressed ? Dali::find(Dali::Kind::Standard, second) : Dali::find(Dali::Kind::Special, first);
    if (!command || !command->expectsAnswer())
        return false;
    if (command->isSpecial())
        return first != WriteMemoryLocation;
    return second != ReadMemoryLocation && second != QueryNextDeviceType;
}

// What a frame that the ledger found disturbed depends on, for the log.
QString dependsOn(const QByteArray& frame)
{
    if (frame.size() == 2 && Dali::addressesCommand(quint8(frame.at(0))) && quint8(frame.at(1)) >= 0xE0)
        return QStringLiteral("ENABLE DEVICE TYPE");
    return QStringLiteral("selecting the memory location (or latching its bank)");
}

std::unique_ptr<proto::UsbVandrelPacket> report(const proto::VandrelReport& bytes)
{
    return std::make_unique<proto::UsbVandrelPacket>(bytes.data(), int(bytes.size()));
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

void pause(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

UsbVandrelDaliInterface::UsbVandrelDaliInterface(core::Device* device)
    : DaliInterface(device)
{ }

UsbVandrelDaliInterface::~UsbVandrelDaliInterface()
{
    if (_vandrel && _ledgerAttached)
        _vandrel->detachRecordSink(&_ledger);
}

void UsbVandrelDaliInterface::init()
{
    core::Device* device = getParentDevice();
    _transport = device ? qobject_cast<LibUsbInterface*>(device->getInterface()) : nullptr;
    _vandrel = dynamic_cast<IUsbVandrelDevice*>(device);
    if (!_vandrel)
        return;
    if (!_ledgerAttached) {
        _vandrel->attachRecordSink(&_ledger);
        _ledgerAttached = true;
    }
    if (device->hasCapability(core::Device::CAP_VD_DALI_REPLY_SUPPORT)
        && !hasCapability(core::ITF_CAP_DALI_REPLY_SUPPORT))
        addCapability(core::ITF_CAP_DALI_REPLY_SUPPORT);
    if (device->hasCapability(core::Device::CAP_VD_CONFIG_DALI_SETTLING_TIME)
        && !hasCapability(core::ITF_CAP_CONFIG_DALI_SETTLING_TIME))
        addCapability(core::ITF_CAP_CONFIG_DALI_SETTLING_TIME);
}

int UsbVandrelDaliInterface::sendRequest(const proto::UsbVandrelPacket& request, bool* refused,
    const LibUsbInterface::SendingHook& sending, const LibUsbInterface::RepliedHook& notTaken)
{
    // Whether the box did not take the request (and so puts nothing on the
    // bus): it said so, or the last write never reached it (the transport
    // tells only of a request that did). A transfer that failed once its
    // request reached the box leaves that open, even after busy replies: that
    // resend may have been taken.
    bool ignored = false;
    if (!refused)
        refused = &ignored;
    *refused = false;
    proto::UsbVandrelPacket reply;
    QDeadlineTimer deadline(_limits.busyDeadlineMs);
    for (;;) {
        bool onItsWay = false;
        // A busy reply is known before the monitor's next poll: until the box
        // takes a resend, no record it reports is this request's.
        const int status = _transport->transferPacket(
            _vandrel->getDeviceHandle(), &request, &reply, LibUsbInterface::FailureLog::Logged,
            [&onItsWay, &sending](quint64 transfer) {
                onItsWay = true;
                if (sending)
                    sending(transfer);
            },
            [&reply, &notTaken] {
                if (reply.isNotReady() && notTaken)
                    notTaken();
            });
        if (status != core::ITF_OK) {
            // Refused when nothing reached the box after its last busy reply.
            *refused = !onItsWay;
            return status;
        }
        if (!reply.isNotReady()) {
            *refused = reply.isUnsupported();
            return reply.isUnsupported() ? core::ITF_ERR_UNSUPPORTED_FEATURE : core::ITF_OK;
        }
        *refused = true;
        if (reply.getUint8(1) == vandrel::DaliNoSupply) {
            // Kept on the box, so that a search can tell a bus without supply
            // from a failed transfer.
            if (core::Device* device = getParentDevice())
                device->setStatus(core::Device::STATUS_DALI_CONNECTED, 0);
            return core::ITF_ERR_TRANSFER;
        }
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

DaliInterface::FrameSizes UsbVandrelDaliInterface::frameSizes(bool fullBitbang) const
{
    const proto::VandrelDaliFrameSizes sizes
        = proto::vandrelDaliFrameSizes(hasCapability(core::ITF_CAP_CONFIG_DALI_SETTLING_TIME), fullBitbang);
    return {sizes.min, sizes.max};
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

    const proto::VandrelDaliRequest form = proto::VandrelDaliRequest::fromOptions(
        packet->getRawDataString(), hasCapability(core::ITF_CAP_CONFIG_DALI_SETTLING_TIME), *options);
    const std::optional<proto::VandrelReport> bytes = proto::buildVandrelDaliRequest(form);
    if (!bytes)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    const std::unique_ptr<proto::UsbVandrelPacket> request = report(*bytes);
    const bool expectAnswer = options->isOptionTrue(proto::option::ExpectAnswer);

    std::unique_lock<core::NetworkInterface> exchange(*_transport);
    if (device->hasCapability(core::Device::CAP_VD_LARGE_PACKETS)) {
        // Only a request that told the box an answer is awaited (the extended
        // form) makes a box with time-out events report the empty window.
        const bool boxTimesAnswer = device->hasCapability(core::Device::CAP_VD_TIMEOUT_EVENT) && form.timedBus
            && !form.fullBitbang && form.expectAnswer;
        // A bit-bang pattern is no frame the box will record as these bytes.
        const int copies = form.fullBitbang ? 0 : form.sendTwice ? 2 : 1;
        return sendMonitored(
            *request, *packet, copies, boxTimesAnswer, expectAnswer ? answer : nullptr, exchange);
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

// The box records every frame it puts on the DALI bus, awaited or not, and the
// ledger hands this exchange exactly the records of its own frame: its echo
// (one per copy), then its backward frame, a frame error or a time-out event.
// The frame counts as sent from the moment its request goes out (noted under
// the transfer mutex), so that no record the monitor fetched before that is
// taken for it, while a record the monitor completes at once is accounted for.
int UsbVandrelDaliInterface::sendMonitored(const proto::UsbVandrelPacket& request,
    const proto::DaliPacket& packet, int copies, bool boxTimesAnswer, proto::DaliPacket** answer,
    std::unique_lock<core::NetworkInterface>& exchange)
{
    const QByteArray frame(reinterpret_cast<const char*>(packet.getData()), packet.getDataSize());
    // With all the frames the ledger can hold still unreported, this one waits
    // for room (the interface lock held, so later senders queue behind it).
    VandrelDaliLedger::RoomWait room;
    room.guard = std::chrono::milliseconds(qMax(0, _limits.answerWindowMs) + qMax(0, _limits.answerGuardMs));
    room.backstop = std::chrono::milliseconds(qMax(0, _limits.backstopMs));
    for (int asking = 1;; ++asking) {
        if (!exchange.owns_lock())
            exchange.lock();
        proto::PacketMutex mutex(0, false);
        mutex.setInterfaceType(proto::PACKET_TYPE_DALI);
        const VandrelDaliLedger::Ticket ticket
            = _ledger.sending(frame, copies, answer ? &mutex : nullptr, room, boxTimesAnswer);
        if (ticket == 0) {
            // A box pulled out while an identical frame was owed is gone, not busy.
            const int ended = _ledger.endStatus();
            return ended != 0 ? ended : core::ITF_ERR_BUSY;
        }
        bool wentOut = false;
        bool refused = false;
        int status = sendRequest(
            request, &refused,
            [this, ticket, &wentOut](quint64 transfer) {
                wentOut = true;
                _ledger.goesOut(ticket, transfer);
            },
            [this, ticket] { _ledger.goesOut(ticket, VandrelDaliLedger::NotTaken); });
        if (refused || !wentOut)
            _ledger.refused(ticket);
        if (!answer)
            return status;
        mutex.armQuietWindow();
        exchange.unlock(); // other senders may use the interface while this one waits
        proto::DaliPacket* got = nullptr;
        if (status == core::ITF_OK)
            status = waitForBackwardFrame(mutex, boxTimesAnswer, &got);
        const bool doubt = _ledger.inDoubt(ticket);
        const bool disturbed = _ledger.disturbed(ticket);
        // What is still to come of this frame is taken on its behalf from now on.
        _ledger.release(ticket);
        if (disturbed) {
            // Another master's frame came between ours and what it depends on:
            // whatever came back is not the answer asked for. The caller starts
            // again from those frames (the location, the latch, ENABLE DEVICE TYPE).
            delete got;
            qCWarning(service::loggerGlog()).noquote()
                << QStringLiteral(GLOG_PREFIX "DALI: another master's frame came between %1 and %2")
                       .arg(dependsOn(frame), QString::fromLatin1(frame.toHex(' ')));
            return core::ITF_ERR_PACKET_NOT_ANSWER;
        }
        if (!doubt) {
            if (got)
                *answer = got;
            return status;
        }
        // Another master's identical frame came beside ours and the answer may
        // be its: never hand it on, ask again.
        delete got;
        qCWarning(service::loggerGlog()).noquote()
            << QStringLiteral(GLOG_PREFIX "DALI: the answer to %1 may be another master's (asked %2 times)")
                   .arg(QString::fromLatin1(frame.toHex(' ')))
                   .arg(asking);
        if (!askableAgain(frame))
            return core::ITF_ERR_PACKET_NOT_ANSWER;
        if (asking >= MaxAskings)
            return core::ITF_ERR_TOO_MANY_RETRIES;
    }
}

int UsbVandrelDaliInterface::waitForBackwardFrame(
    proto::PacketMutex& mutex, bool boxTimesAnswer, proto::DaliPacket** answer)
{
    VandrelAnswerWait wait(mutex, boxTimesAnswer, _limits.answerWindowMs, MonitorIntervalMs, "DALI query",
        _limits.answerGuardMs, _limits.backstopMs);
    for (;;) {
        switch (wait.next()) {
        case VandrelAnswerWait::RECORD:
            break;
        case VandrelAnswerWait::NO_ANSWER:
            *answer = timeoutAnswer();
            return core::ITF_OK;
        case VandrelAnswerWait::FAILED:
            return wait.status();
        }
        const proto::RawPacket& record = *wait.record();
        if (record.isTimeoutEvent()) {
            *answer = timeoutAnswer();
            return core::ITF_OK;
        }
        if (record.isFrameError() || record.getDataSize() == 0) {
            proto::DaliPacket* garbled = copyOf(record);
            garbled->setFlags(proto::PACKET_FLAG_FRAME_ERROR);
            *answer = garbled;
            return core::ITF_OK;
        }
        if (record.getDataSize() == 1) {
            *answer = copyOf(record);
            return core::ITF_OK;
        }
        // The echo of the frame (of each copy of a frame sent twice): wait on.
    }
}

int UsbVandrelDaliInterface::pollForAnswer(proto::DaliPacket** answer)
{
    const std::unique_ptr<proto::UsbVandrelPacket> statusRequest
        = report(proto::vandrelCommandRequest(vandrel::VD_CMD_DALI_STATUS));
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
            if (reply.getUint8(0) != (vandrel::ReplyBit | vandrel::VD_CMD_DALI_STATUS))
                qCWarning(service::loggerGlog()).noquote()
                    << QStringLiteral(GLOG_PREFIX "DALI get status error %1").arg(reply.getUint8(0));
            bits = reply.getUint8(1);
            const quint8 progress = reply.getUint8(2);
            if ((bits & (vandrel::DaliStatusDone | vandrel::DaliStatusDataReady))
                || progress >= vandrel::DaliProgressAnswerWindowOver || progress == vandrel::DaliProgressDone)
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
    if (!(bits & vandrel::DaliStatusDataReady))
        return core::ITF_OK; // nobody answered

    const std::unique_ptr<proto::UsbVandrelPacket> dataRequest
        = report(proto::vandrelCommandRequest(vandrel::VD_CMD_DALI_GET_DATA));
    const int status = _transport->transferPacket(_vandrel->getDeviceHandle(), dataRequest.get(), &reply);
    if (status != core::ITF_OK || !answer)
        return status; // a failed fetch hands back no answer
    const quint8 byte = reply.getUint8(3);
    *answer = new proto::DaliPacket(&byte, 1);
    (*answer)->setTimeSinceLast(reply.getUint8(4) * vandrel::TimeUnitMs);
    return core::ITF_OK;
}

} // namespace tarvesk::itf
