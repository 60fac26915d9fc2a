#pragma once

#include "search/binary_search.h"
#include "search/universe_searcher.h"

#include <QDeadlineTimer>
#include <QStringList>

#include <array>
#include <bitset>

namespace tarvesk::itf {
class DaliInterface;
}

namespace tarvesk::search {

// Finds the control gear of a DALI bus (IEC 62386-102): by asking the whole bus
// ("all"), by asking each short address ("existing", "query_N"), or by the
// random-address binary search, which gives every gear it finds the next free
// short address. The binary search runs one step per request ("step" with
// "initialise_all" or "initialise_new", "search_single", "end_search"); its
// tree lives here between requests.
//
// A gear counts as found only when, after PROGRAM SHORT ADDRESS, QUERY SHORT
// ADDRESS at its search address answers that address without a collision; an
// address is never handed out twice in one search. Gear that share a random
// address are withdrawn unaddressed and get another pass with new random
// addresses; gear that ignore WITHDRAW end the pass (they answer every later
// COMPARE). What stays unsettled is reported as a warning of the results.
// A transport failure (no bus supply, a pulled cable) ends the search with its
// status.
class DaliSearch : public UniverseSearcher, public BinarySearch
{
    Q_OBJECT

public:
    static constexpr int ShortAddressCount = 64;
    static constexpr unsigned long long MaxRandomAddress = 0xFFFFFF;
    // Passes of one binary search (the first and those that follow unsettled gear).
    static constexpr int MaxPasses = 4;
    // What one request may spend; a step that runs out pauses, and the next
    // "search_single" goes on where it stopped.
    static constexpr int MaxFramesPerStep = 4000;
    static constexpr int MaxStepMs = 180000;

    explicit DaliSearch(core::Universe* universe);
    ~DaliSearch() override;

    int search(SearchOptions* options, SearchResults* results) override;
    // QUERY CONTROL GEAR PRESENT to short address a (255: broadcast); appends
    // a result when gear answer. 0, or the status of a failed transfer.
    int searchAddress(int shortAddress, SearchOptions* options, SearchResults* results);

protected:
    int unmuteAll(SearchType type) override;
    void finalise() override;
    void mute(BinarySearchNode* node) override;
    BinarySearchCondition checkCondition(BinarySearchNode* node) override;
    bool finalCheck(BinarySearchNode* node) override;
    bool finalVerify(BinarySearchNode* node) override;
    void queryStep(int number) override;
    bool nextPass() override;
    bool muteRecorded() const override { return _programmed; }

private:
    enum class Reply { None, Answer, Collision, Failed };

    bool isStepName(const QString& name) const;
    // Each sender counts the frame and keeps the first transport failure.
    bool command(uchar first, uchar second);
    bool commandTwice(uchar first, uchar second);
    Reply query(uchar first, uchar second, uchar* answer = nullptr);
    Reply compare();
    bool fail(int status);
    // Sends the bytes of the address that the gear do not hold yet (all three with force).
    bool setSearchAddress(unsigned long long address, bool force);
    BinarySearchCondition compareAt(unsigned long long address);
    // WITHDRAW and a COMPARE at the same address that nobody may answer.
    bool withdrawAndConfirm(unsigned long long address);
    int nextFreeShortAddress() const;
    bool hasDeviceAt(int addressByte) const;
    void notePassIssue(const QString& text);
    static QString hex(unsigned long long address);

    itf::DaliInterface* _dali = nullptr; // the universe's
    SearchOptions* _options = nullptr;   // of the request in progress; not owned
    SearchResults* _results = nullptr;   // of the request in progress; not owned

    // What the gear hold as search address; -1 where unknown.
    std::array<int, 3> _searchAddress = {-1, -1, -1};
    int _foundCount = 0;
    std::bitset<ShortAddressCount> _usedShortAddresses;
    int _pass = 0;
    QStringList _passIssues;      // unsettled gear of the current pass
    bool _repeatPass = false;     // a further pass may settle something
    bool _outOfAddresses = false; // a gear beyond 64 answered
    bool _programmed = false;     // the last mute gave a short address
    int _lastShortAddress = -1;   // the one it gave

    // Per request.
    int _failure = 0;
    int _frames = 0;
    QDeadlineTimer _stepDeadline;
    bool _budgetNoted = false;
};

} // namespace tarvesk::search
