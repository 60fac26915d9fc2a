#pragma once

#include "core/thread.h"
#include "interfaces/usb_vandrel_data_monitor.h"
#include "monitor_thread.h"
#include "protocol/packet_log.h"
#include "sim_vandrel_dali_fixture.h"
#include "wait_until.h"

#include <atomic>

namespace tarvesk::test {

// The stand-in device with a real data monitor polling the simulated box on
// its own "USB monitor" thread, as a Vandrel device of firmware 13 and later has it.
class SimVandrelMonitoredFixture : public SimVandrelDaliFixture
{
protected:
    void openMonitored(const sim::SimBoxConfig& config, std::vector<core::Device::Capability> capabilities)
    {
        capabilities.push_back(core::Device::CAP_VD_LARGE_PACKETS);
        open(config, capabilities);
        handle = device->handle;
        monitor = new itf::UsbVandrelDataMonitor([this] { return handle.load(); }, transport);
        thread = startMonitorOnThread(monitor, packetLog);
        ASSERT_TRUE(waitUntil([this] { return box->pollCount() > 0; }));
        device->connectMonitor(monitor);
    }

    void TearDown() override
    {
        // The monitor stops before the device's handle closes.
        if (monitor) {
            EXPECT_TRUE(monitor->stopAndWait());
            device->disconnectMonitor(monitor);
            endMonitorOnThread(monitor, thread);
        }
        SimVandrelDaliFixture::TearDown();
    }

    std::atomic<libusb_device_handle*> handle {nullptr};
    itf::UsbVandrelDataMonitor* monitor = nullptr;
    std::shared_ptr<core::Thread> thread;
    proto::PacketLog packetLog;
};

} // namespace tarvesk::test
