#pragma once

#include "protocol/raw_packet.h"

#include <QString>

#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace tarvesk::proto {

// A device's bounded, ordered record of the packets it sent and received and of
// the text entries it reported. The USB monitor thread appends while request
// threads read, so the log has its own lock and readers get copies: a pointer
// into the log could be freed by the next append that pushes the bound.
class PacketLog
{
public:
    PacketLog();
    ~PacketLog();
    PacketLog(const PacketLog&) = delete;
    PacketLog& operator=(const PacketLog&) = delete;

    // Appends and takes ownership. When a maximum is set and the count has reached
    // it after the append, the oldest entry is deleted, so at most maximum - 1
    // entries remain.
    void addPacket(RawPacket* packet);
    void addLogMessage(const QString& message);

    // Write to the program log (debug, warning, critical; the last two marked for
    // the persistent log) and append a text entry in every case.
    void info(const QString& message);
    void warning(const QString& message);
    void error(const QString& message);

    // count >= 1: appends copies of every entry from index from to the end (none
    // when from is at or past the end) and returns 0. count < 1: copies nothing and
    // returns the number of entries from index from on. A negative from counts as 0.
    int getPackets(std::vector<std::unique_ptr<RawPacket>>& out, int from, int count) const;
    // One page for a reader that follows the log: appends copies of at most
    // count entries from index from (none when count < 1 or from is at or
    // past the end) and returns how many entries follow them. A negative from
    // counts as 0.
    int getPage(std::vector<std::unique_ptr<RawPacket>>& out, int from, int count) const;

    void setMaximumLogLength(int maximum);
    int getMaximumLogLength() const;
    int size() const;
    void clear();

private:
    void append(std::unique_ptr<RawPacket> packet);
    // Copies entries [first, end) into out; the caller holds _mutex.
    void copyRange(std::vector<std::unique_ptr<RawPacket>>& out, int first, int end) const;

    mutable std::mutex _mutex;                       // std, not QMutex: visible to ThreadSanitizer
    int _maximumLength = 0;                          // guarded by _mutex; 0 for no bound
    std::deque<std::unique_ptr<RawPacket>> _packets; // guarded by _mutex; arrival order
};

} // namespace tarvesk::proto
