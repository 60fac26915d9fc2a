#pragma once

#include "search/binary_search.h"
#include "search/universe_searcher.h"

#include <array>

namespace tarvesk::itf {
class DmxInterface;
}

namespace tarvesk::proto {
class RdmPacket;
}

namespace tarvesk::search {

// RDM discovery (ANSI E1.20) for a single responder: DISC_UN_MUTE to every
// responder, then one DISC_UNIQUE_BRANCH over the whole UID range; a clean
// answer is the one driver on the line. Two responders collide and give no
// result (the range is not split).
class RdmSearch : public UniverseSearcher, public BinarySearch
{
    Q_OBJECT

public:
    static constexpr unsigned long long MaxUid = 0xFFFFFFFFFFFFull;
    static constexpr int Attempts = 5;

    explicit RdmSearch(core::Universe* universe);
    ~RdmSearch() override;

    // 0, or -11 when an attempt timed out (also when a later one found the driver).
    int search(SearchOptions* options, SearchResults* results) override;

    int sendRdm(proto::RdmPacket* request, proto::RdmPacket** reply, bool expectAnswer);
    bool rdmUnmute(const QString& uid);
    // A packet for the PID to the UID, not sent; the caller owns it.
    proto::RdmPacket* createRdmPacket(int pid, const QString& uid);
    void updateUIDArrays(BinarySearchNode* node);

protected:
    int unmuteAll(SearchType type) override;
    void finalise() override { }
    void mute(BinarySearchNode* node) override;
    BinarySearchCondition checkCondition(BinarySearchNode*) override { return NO_REPLY; }
    bool finalCheck(BinarySearchNode*) override { return true; }
    bool finalVerify(BinarySearchNode*) override { return true; }

private:
    itf::DmxInterface* _dmx; // the universe's
    std::array<quint8, 6> _lower {};
    std::array<quint8, 6> _upper {};
};

} // namespace tarvesk::search
