#pragma once

#include "interfaces/lib_usb_interface.h"
#include "protocol/packet_mutex.h"
#include "protocol/raw_packet.h"
#include "protocol/usb_vandrel_packet.h"
#include "protocol/usb_vandrel_packet_factory.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

namespace tarvesk::test {

// Polls a simulated box's monitor stream on its own thread the way the data
// monitor does: poll reports (0x14), reassembly into packets, each packet
// handed to the sender's installed packet mutex.
class SimMonitorPoller
{
public:
    SimMonitorPoller(itf::LibUsbInterface* transport, libusb_device_handle* handle)
        : _transport(transport)
        , _handle(handle)
    {
        _thread = std::thread([this] { run(); });
    }
    ~SimMonitorPoller()
    {
        _stop = true;
        _thread.join();
    }

    void install(proto::PacketMutex* mutex)
    {
        std::lock_guard<std::mutex> lock(_installMutex);
        _installed = mutex;
    }
    int packetCount() const { return _packets.load(); }

private:
    void run()
    {
        proto::UsbVandrelPacketFactory factory;
        QObject::connect(
            &factory, &proto::UsbVandrelPacketFactory::newPacket, [this](proto::RawPacket* packet) {
                std::unique_ptr<proto::RawPacket> owned(packet);
                ++_packets;
                std::lock_guard<std::mutex> lock(_installMutex);
                if (_installed)
                    _installed->checkPacket(owned.get());
            });
        proto::UsbVandrelPacket request;
        request.resize(64);
        request.setByte(0, proto::UsbVandrelPacket::VD_CMD_POLL_MONITOR);
        proto::UsbVandrelPacket reply;
        while (!_stop) {
            const int status = _transport->transferPacket(_handle, &request, &reply);
            if (status == 0)
                factory.handlePacket(&reply);
            if (status != 0 || reply.getUint8(1) != 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1)); // the next timer tick
        }
    }

    itf::LibUsbInterface* _transport;
    libusb_device_handle* _handle;
    std::atomic<bool> _stop {false};
    std::atomic<int> _packets {0};
    std::mutex _installMutex;
    proto::PacketMutex* _installed = nullptr; // guarded by _installMutex
    std::thread _thread;
};

} // namespace tarvesk::test
