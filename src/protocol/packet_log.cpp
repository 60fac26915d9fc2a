#include "protocol/packet_log.h"

#include "log/logging_categories.h"

#include <QDebug>
#include <QLoggingCategory>

namespace tarvesk::proto {

PacketLog::PacketLog() = default;

PacketLog::~PacketLog()
{
    clear();
}

void PacketLog::append(std::unique_ptr<RawPacket> packet)
{
    std::lock_guard<std::mutex> locker(_mutex);
    _packets.push_back(std::move(packet));
    if (_maximumLength > 0 && static_cast<int>(_packets.size()) >= _maximumLength)
        _packets.pop_front();
}

void PacketLog::addPacket(RawPacket* packet)
{
    if (!packet) {
        qWarning() << "PacketLog: null packet not logged";
        return;
    }
    append(std::unique_ptr<RawPacket>(packet));
}

void PacketLog::addLogMessage(const QString& message)
{
    append(std::make_unique<RawPacket>(message));
}

void PacketLog::info(const QString& message)
{
    qDebug() << message;
    addLogMessage(message);
}

void PacketLog::warning(const QString& message)
{
    qCWarning(service::loggerGlog()) << GLOG_PREFIX << message;
    addLogMessage(message);
}

void PacketLog::error(const QString& message)
{
    qCCritical(service::loggerGlog()) << GLOG_PREFIX << message;
    addLogMessage(message);
}

int PacketLog::getPackets(std::vector<std::unique_ptr<RawPacket>>& out, int from, int count) const
{
    std::lock_guard<std::mutex> locker(_mutex);
    const int size = static_cast<int>(_packets.size());
    const int first = qMax(0, from);
    if (count < 1)
        return qMax(0, size - first);
    copyRange(out, first, size);
    return 0;
}

int PacketLog::getPage(std::vector<std::unique_ptr<RawPacket>>& out, int from, int count) const
{
    std::lock_guard<std::mutex> locker(_mutex);
    const int size = static_cast<int>(_packets.size());
    const int first = qBound(0, from, size);
    const int end = count < 1 ? first : first + qMin(count, size - first);
    copyRange(out, first, end);
    return size - end;
}

void PacketLog::copyRange(std::vector<std::unique_ptr<RawPacket>>& out, int first, int end) const
{
    for (int i = first; i < end; ++i) {
        // clone() keeps the packet's own class (and so its description); the
        // attributes are carried over as well.
        const RawPacket& entry = *_packets[static_cast<size_t>(i)];
        std::unique_ptr<RawPacket> copy(entry.clone());
        for (auto it = entry.attributeBegin(); it != entry.attributeEnd(); ++it)
            copy->addAttribute(it.key(), it.value());
        out.push_back(std::move(copy));
    }
}

void PacketLog::setMaximumLogLength(int maximum)
{
    std::lock_guard<std::mutex> locker(_mutex);
    _maximumLength = qMax(0, maximum);
}

int PacketLog::getMaximumLogLength() const
{
    std::lock_guard<std::mutex> locker(_mutex);
    return _maximumLength;
}

int PacketLog::size() const
{
    std::lock_guard<std::mutex> locker(_mutex);
    return static_cast<int>(_packets.size());
}

void PacketLog::clear()
{
    std::lock_guard<std::mutex> locker(_mutex);
    _packets.clear();
}

} // namespace tarvesk::proto
