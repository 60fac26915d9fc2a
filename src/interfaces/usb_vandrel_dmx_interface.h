#pragma once

#include <memory>

#include "interfaces/dmx/dmx_interface.h"
#include "interfaces/vandrel_record_index.h"

namespace tarvesk::proto {
class PacketMutex;
class RawPacket;
struct VandrelDmxOptions;
} // namespace tarvesk::proto

namespace tarvesk::itf {

class IBootloader;
class IUsbVandrelDevice;
class LibUsbInterface;

// The DMX line of a Vandrel box with firmware 13 or later: a frame of any
// length goes out in a chain of data reports with the line timing and the
// answer options, and its answer comes back through the data monitor's record
// stream, matched by its index (the frame's index plus one) and its type.
//
// Options are checked before anything is sent ("retry_count" below 1 counts as
// one attempt; a negative or non-finite time or an "answer_timeout" beyond 16
// bits is refused with ITF_ERR_INVALID_PARAM). The wait for an answer is never
// shorter than the box's default; a long "answer_timeout" only lengthens it.
class UsbVandrelDmxInterface : public DmxInterface
{
    Q_OBJECT

public:
    explicit UsbVandrelDmxInterface(core::Device* device);
    ~UsbVandrelDmxInterface() override;

    // Finds the transport and the Vandrel device on the parent device; a
    // factory box makes the interface a factory one and gives it its
    // bootloader stack (the proxy, which the interface keeps).
    void init() override;
    // The bootloader of a factory box (owned by the proxy), else null.
    IBootloader* getBootloader() const { return _bootloader; }
    int sendDmx(proto::DmxPacket* packet, proto::DmxPacket** answer, proto::Options* options) override;

private:
    // Sends the chain of one attempt; the count of the index the box gave the
    // frame goes to index (its byte is what the box reported).
    int sendChain(const proto::DmxPacket& packet, const proto::VandrelDmxOptions& options,
        VandrelRecordIndex::Count& index);
    // The answer record of the frame (the mutex expects its index), after
    // skipping `older` records of older frames that carry the same index byte:
    // status 0 with the answer or none (nobody answered, by the box's verdict),
    // or the failure (ITF_ERR_TIMEOUT when the box stopped reporting, a failed poll's status).
    int waitForAnswer(
        proto::PacketMutex& mutex, int waitMs, int older, std::unique_ptr<proto::DmxPacket>& answer);
    // Whether the answer ends the attempts.
    bool accepts(
        proto::DmxPacket& request, proto::DmxPacket* answer, const proto::VandrelDmxOptions& options) const;

    LibUsbInterface* _transport = nullptr; // the parent device's own interface
    IUsbVandrelDevice* _vandrel = nullptr; // the parent device, as a Vandrel device
    IBootloader* _bootloader = nullptr;    // owned by the bootloader proxy
    // The box's record index past its wrap; attached to the device's monitor
    // from init on (before the DALI interface's ledger, so it sees every record).
    VandrelRecordIndex _recordIndex;
    bool _recordIndexAttached = false;
};

} // namespace tarvesk::itf
