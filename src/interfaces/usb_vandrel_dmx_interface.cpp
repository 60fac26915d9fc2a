#include "interfaces/usb_vandrel_dmx_interface.h"

#include "core/device.h"
#include "core/itf_error.h"
#include "interfaces/bootloader/ibootloader.h"
#include "interfaces/bootloader/vandrel_bootloader_setup.h"
#include "interfaces/iusb_vandrel_device.h"
#include "interfaces/ivandrel_record_sink.h"
#include "interfaces/lib_usb_interface.h"
#include "interfaces/usb_vandrel_data_monitor.h"
#include "interfaces/vandrel_answer_wait.h"
#include "log/logging_categories.h"
#include "protocol/dmx/dmx_packet.h"
#include "protocol/options.h"
#include "protocol/packet_mutex.h"
#include "protocol/usb/usb_vandrel_packet.h"
#include "protocol/usb/vandrel_dmx_request.h"
#include "protocol/usb/vandrel_timing.h"
#include "protocol/wystrel/wystrel_packet.h"

#include <chrono>
#include <memory>
#include <mutex>

namespace tarvesk::itf {

namespace {

// The answer as a DMX packet of its own, whatever class the record became.
proto::DmxPacket* dmxCopyOf(const proto::RawPacket& record)
{
    auto* copy = new proto::DmxPacket(record.getData(), record.getDataSize());
    copy->copyFrom(&record);
    copy->setPacketType(proto::PACKET_TYPE_DMX);
    return copy;
}

} // namespace

UsbVandrelDmxInterface::UsbVandrelDmxInterface(core::Device* device)
    : DmxInterface(device)
{ }

UsbVandrelDmxInterface::~UsbVandrelDmxInterface()
{
    if (_vandrel && _recordIndexAttached)
        _vandrel->detachRecordSink(&_recordIndex);
}

void UsbVandrelDmxInterface::init()
{
    core::Device* device = getParentDevice();
    _transport = device ? qobject_cast<LibUsbInterface*>(device->getInterface()) : nullptr;
    _vandrel = dynamic_cast<IUsbVandrelDevice*>(device);
    if (_vandrel && !_recordIndexAttached) {
        _vandrel->attachRecordSink(&_recordIndex);
        _recordIndexAttached = true;
    }
    if (!device || !device->hasCapability(core::Device::CAP_VD_FACTORY))
        return;
    if (!hasCapability(core::ITF_CAP_FACTORY))
        addCapability(core::ITF_CAP_FACTORY);
    _bootloader = createVandrelBootloader(*device, _transport, _vandrel, this, false, false);
    installBootloaderProxy(this, this, device, _bootloader, {});
}

int UsbVandrelDmxInterface::sendChain(
    const proto::DmxPacket& packet, const proto::VandrelDmxOptions& options, VandrelRecordIndex::Count& index)
{
    const std::vector<proto::VandrelReport> reports
        = proto::buildVandrelDmxReports(packet.getRawDataString(), options);
    // How long the frame may keep the line: the box records it only after
    // that, and the records it makes meanwhile are numbered after the frame.
    const unsigned firmware = getParentDevice()->getVersion();
    auto busyUs = std::chrono::microseconds(
        proto::vandrelDmxLineTimeUs(options.breakValue, packet.getDataSize(), firmware));
    if (options.expectAnswer) {
        busyUs += std::chrono::milliseconds(proto::vandrelDmxAnswerWaitMs(options.answerTimeout, firmware,
            getParentDevice()->hasCapability(core::Device::CAP_VD_TIMEOUT_EVENT)));
    }
    // One chain at a time: another sender's reports between ours would tear the frame.
    std::lock_guard<core::NetworkInterface> exchange(*_transport);
    // Taken before the frame goes out: records reported from now on may be its own.
    const VandrelRecordIndex::Count floor = _recordIndex.floor();
    _vandrel->tellRecordSinks([busyUs](IVandrelRecordSink& sink) { sink.dmxFrameGoesOut(busyUs); });
    quint8 given = 0;
    const auto tellGiven = [this, &given](bool whole) {
        _vandrel->tellRecordSinks(
            [given, whole](IVandrelRecordSink& sink) { sink.dmxFrameGiven(given, whole); });
    };
    proto::UsbVandrelPacket reply;
    for (size_t k = 0; k < reports.size(); ++k) {
        const proto::UsbVandrelPacket request(reports[k].data(), int(reports[k].size()));
        const int status = _transport->transferPacket(_vandrel->getDeviceHandle(), &request, &reply);
        if (status != core::ITF_OK) {
            if (k == 0) {
                // The box may have taken it all the same, under an index nobody knows.
                _vandrel->tellRecordSinks([](IVandrelRecordSink& sink) { sink.dmxFrameUntold(); });
                qCWarning(service::loggerGlog()).noquote()
                    << QStringLiteral(GLOG_PREFIX "USB errcode %1").arg(status);
                qCWarning(service::loggerGlog()).noquote()
                    << QStringLiteral(GLOG_PREFIX "Error sending DMX packet: %1").arg(status);
            } else {
                tellGiven(false); // the box may drop a chain that broke off
            }
            return status;
        }
        if (k == 0) {
            given = reply.getUint8(1);
            index = _recordIndex.given(given, floor);
        }
    }
    tellGiven(true);
    return core::ITF_OK;
}

int UsbVandrelDmxInterface::waitForAnswer(
    proto::PacketMutex& mutex, int waitMs, int older, std::unique_ptr<proto::DmxPacket>& answer)
{
    const core::Device* device = getParentDevice();
    VandrelAnswerWait wait(mutex, device->hasCapability(core::Device::CAP_VD_TIMEOUT_EVENT), waitMs,
        UsbVandrelDataMonitor::PollIntervalMs, "DMX frame");
    for (;;) {
        switch (wait.next()) {
        case VandrelAnswerWait::RECORD:
            // Older frames' records with the same index byte came first.
            if (older-- > 0)
                continue;
            answer.reset(dmxCopyOf(*wait.record()));
            return core::ITF_OK;
        case VandrelAnswerWait::NO_ANSWER:
            return core::ITF_OK;
        case VandrelAnswerWait::FAILED:
            return wait.status();
        }
    }
}

bool UsbVandrelDmxInterface::accepts(
    proto::DmxPacket& request, proto::DmxPacket* answer, const proto::VandrelDmxOptions& options) const
{
    if (!options.expectAnswerGiven || !answer || answer->isTimeoutEvent())
        return false;
    if (!options.retryInvalid)
        return true;
    const core::Device* device = getParentDevice();
    const bool skipChecksum
        = options.isDorvane && !device->hasCapability(core::Device::CAP_VD_CORRECT_CHECKSUM);
    const int check = proto::WystrelPacket(answer).answer_isValid(
        skipChecksum ? proto::CHECK_IGNORE_CHECKSUM : proto::CHECK_IGNORE_NONE);
    if (check == core::ITF_OK)
        return true;
    qCWarning(service::loggerGlog()).noquote()
        << QStringLiteral(GLOG_PREFIX "@e[%1] Invalid wystrel answer: %2")
               .arg(check)
               .arg(core::itfErrorToString(check));
    request.debugPrint();
    answer->debugPrint();
    return false;
}

int UsbVandrelDmxInterface::sendDmx(
    proto::DmxPacket* packet, proto::DmxPacket** answer, proto::Options* options)
{
    core::Device* device = getParentDevice();
    if (!device || !device->isConnected() || !_transport || !_vandrel)
        return core::ITF_ERR_NO_DEVICE;
    if (answer)
        *answer = nullptr;
    if (!packet || packet->getDataSize() == 0)
        return core::ITF_ERR_INVALID_PARAM;
    proto::Options noOptions;
    proto::VandrelDmxOptions settings;
    const unsigned firmware = device->getVersion();
    const int read = proto::VandrelDmxOptions::read(options ? *options : noOptions, firmware, 1, settings);
    if (read != core::ITF_OK)
        return read;
    if (proto::buildVandrelDmxReports(packet->getRawDataString(), settings).empty())
        return core::ITF_ERR_INVALID_PARAM;
    if (settings.bananaMode)
        packet->setByte(0, packet->getUint8(0) | 0x01);
    const bool wait = settings.expectAnswer && answer && _vandrel->hasDataMonitor();
    const int waitMs = proto::vandrelDmxAnswerWaitMs(
        settings.answerTimeout, firmware, device->hasCapability(core::Device::CAP_VD_TIMEOUT_EVENT));

    std::unique_ptr<proto::DmxPacket> received;
    int status = core::ITF_OK;
    for (int attempt = 0; attempt < settings.attempts; ++attempt) {
        received.reset();
        VandrelRecordIndex::Count index = 0;
        if (wait) {
            // Installed before the frame goes out, so that a quick answer cannot
            // slip past; the answer is picked out by its index afterwards.
            proto::PacketMutex mutex(0, false);
            mutex.setInterfaceType(proto::PACKET_TYPE_DMX);
            _recordIndex.beginAwait(&mutex);      // its DMX records
            _vandrel->installPacketMutex(&mutex); // how the monitor's passes go
            status = sendChain(*packet, settings, index);
            // The answer carries the index the box gave the frame, plus one:
            // records of other frames (the frame itself, traffic nobody waits
            // for, the late answer of an attempt given up, an answer 256
            // indices older) neither end this wait nor restart its quiet
            // window, and reach only the packet log.
            const bool sent = status == core::ITF_OK;
            const int older = sent ? _recordIndex.awaitAnswer(index + 1) : 0;
            mutex.expectIndex(int((index + 1) & 0xFF));
            mutex.armQuietWindow();
            if (sent)
                status = waitForAnswer(mutex, waitMs, older, received);
            _vandrel->installPacketMutex(nullptr);
            _recordIndex.endAwait();
            // A box that stopped reporting, whose polls fail or that is gone
            // will not answer a repeat either.
            if ((sent && status != core::ITF_OK) || status == core::ITF_ERR_NO_DEVICE
                || status == core::ITF_ERR_NOT_FOUND)
                break;
        } else {
            status = sendChain(*packet, settings, index);
        }
        if (status == core::ITF_OK && accepts(*packet, received.get(), settings))
            break;
        packet->setRetryAttempt(packet->getRetryAttempt() + 1);
    }
    if (answer)
        *answer = received.release();
    return status;
}

} // namespace tarvesk::itf
