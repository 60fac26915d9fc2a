#include "monitor_thread.h"

#include "core/thread_manager.h"

namespace tarvesk::test {

std::shared_ptr<core::Thread> startMonitorOnThread(itf::UsbVandrelDataMonitor* monitor, proto::PacketLog& log)
{
    auto thread = core::ThreadManager::instance()->newThread(QStringLiteral("USB monitor"));
    monitor->moveToThread(thread->getThreadPtr());
    thread->start();
    QObject::connect(
        monitor, &itf::UsbVandrelDataMonitor::newPacketDetected, monitor,
        [&log](proto::RawPacket* packet) { log.addPacket(packet); }, Qt::DirectConnection);
    monitor->init(itf::UsbVandrelDataMonitor::PollIntervalMs);
    // As the device does: nothing is sent before the box's earlier records are drained.
    monitor->waitUntilPrimed();
    return thread;
}

void endMonitorOnThread(itf::UsbVandrelDataMonitor*& monitor, std::shared_ptr<core::Thread>& thread)
{
    if (monitor) {
        monitor->deleteLater();
        monitor = nullptr;
    }
    if (thread) {
        thread->quit();
        thread.reset();
    }
}

} // namespace tarvesk::test
