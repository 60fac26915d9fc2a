#pragma once

#include "core/thread.h"
#include "interfaces/usb_vandrel_data_monitor.h"
#include "protocol/packet_log.h"

#include <memory>

namespace tarvesk::test {

// Runs a data monitor the way a Vandrel device does: on its own "USB monitor"
// thread, polling at the normal interval, its packets going to a packet log;
// returns once its first pass drained the box (or a poll failed, or 6 s passed).
std::shared_ptr<core::Thread> startMonitorOnThread(
    itf::UsbVandrelDataMonitor* monitor, proto::PacketLog& log);

// Ends it again: the monitor is deleted on its own thread, then the thread
// ends, so every tick its timer still had has run. Clears both.
void endMonitorOnThread(itf::UsbVandrelDataMonitor*& monitor, std::shared_ptr<core::Thread>& thread);

} // namespace tarvesk::test
