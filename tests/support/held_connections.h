#pragma once

#include <string>
#include <vector>

#include <sys/resource.h>

namespace qmtest {

// Many idle connections to a loopback port, held as one process that opens
// them and sends nothing holds them.
class HeldConnections
{
public:
    HeldConnections() = default;
    ~HeldConnections();
    HeldConnections(const HeldConnections&) = delete;
    HeldConnections& operator=(const HeldConnections&) = delete;

    // Opens count more; false when one could not be made (those made stay).
    bool open(int port, int count);
    int size() const { return int(fds.size()); }
    // How many of them the server has closed or reset by now; does not wait.
    int closedByPeer() const;
    void closeAll();

private:
    std::vector<int> fds;
};

// While it lives, this process's soft descriptor limit is its hard limit, so
// that a test can hold more sockets than the usual soft limit of 1024 allows.
class RaisedDescriptorLimit
{
public:
    RaisedDescriptorLimit();
    ~RaisedDescriptorLimit();
    RaisedDescriptorLimit(const RaisedDescriptorLimit&) = delete;
    RaisedDescriptorLimit& operator=(const RaisedDescriptorLimit&) = delete;

    // True when the limit now in force allows that many descriptors; when
    // not, why says so (for a skipped test's message).
    bool allows(rlim_t descriptors, std::string* why) const;

private:
    rlimit old {};
};

} // namespace qmtest
