#pragma once

#include <QString>

#include <memory>

namespace tarvesk::search {

class BinarySearchNode;

// Random-address discovery on a shared bus: asks whether anything answers at
// or below an address and halves the range until one address is left. The
// engine holds the tree of ranges and decides what to ask next; a concrete
// search (DALI, RDM, Dorvane) does the bus work in the virtual operations.
//
// Every step moves on: a one-address range is handled once (checked, muted or
// left) and then left, so a range whose device cannot be muted never holds the
// search in place, and a tree of N levels ends after a bounded number of steps.
class BinarySearch
{
public:
    // SEARCH_FAILED ends the search (the bus failed); STEP_PAUSED leaves the
    // range current for a later step (the searcher's step budget is spent).
    enum BinarySearchCondition {
        NO_REPLY = 0,
        MULTIPLE_REPLIES = 1,
        SINGLE_REPLY = 2,
        SEARCH_FAILED = 3,
        STEP_PAUSED = 4
    };
    enum SearchType { SEARCH_ALL = 0 };

    BinarySearch(unsigned long long min, unsigned long long max);
    virtual ~BinarySearch();

    BinarySearch(const BinarySearch&) = delete;
    BinarySearch& operator=(const BinarySearch&) = delete;

    // A new tree over [min, max], then unmuteAll.
    int startSearch(SearchType type);
    // Asks about the current range once and moves on; the new current node, or
    // null when the pass is over or paused.
    BinarySearchNode* step();
    // Steps until one device has been found and handled (its node) or the
    // search is over (null). Nothing happens when no search is running.
    BinarySearchNode* searchSingle();
    // A whole search: start, every device, end.
    void work();
    // Drops the tree and closes the search on the bus.
    void endSearch();
    BinarySearchNode* getCurrentNode() const { return _current; }
    BinarySearchNode* getRoot() const { return _root.get(); }
    bool isRunning() const { return _current != nullptr; }

    // "initialise_all", "initialise_new", "search_single", "end_search" and
    // "query_" followed by a decimal number; false (and nothing done) for any
    // other name.
    bool doStep(const QString& stepName);

    static void debugPrintMute(const BinarySearchNode* node);

protected:
    virtual BinarySearchNode* createEarlyOutNode() { return nullptr; }
    virtual int unmuteAll(SearchType type) = 0;
    virtual void finalise() = 0;
    virtual void mute(BinarySearchNode* node) = 0;
    virtual BinarySearchCondition checkCondition(BinarySearchNode* node) = 0;
    virtual bool finalCheck(BinarySearchNode* node) = 0;
    virtual bool finalVerify(BinarySearchNode* node) = 0;
    virtual void queryStep(int number) { (void)number; }
    // Called when searchSingle has run out of ranges. A searcher that starts
    // another pass over the devices still unfound (newTree and its bus
    // preparation) returns true.
    virtual bool nextPass() { return false; }
    // Whether the last mute recorded the device found (a confirmation that
    // failed hands the address back); searchSingle goes on when it did not.
    virtual bool muteRecorded() const { return true; }

    // With this on, a right half is not asked when its left half never
    // answered: what made the parent answer can only be in the right half.
    void setInferRightHalves(bool on) { _inferRightHalves = on; }
    // Makes a new root over [min, max] the current node. The tree before stays
    // alive until the next one (a node just returned stays valid).
    void newTree();
    // Ends the pass: no range is current any more.
    void stopPass() { _current = nullptr; }
    // Moves on from a range as if nothing answered in it.
    void leave(BinarySearchNode* node);

private:
    unsigned long long _min;
    unsigned long long _max;
    std::unique_ptr<BinarySearchNode> _root;
    std::unique_ptr<BinarySearchNode> _previousRoot;
    BinarySearchNode* _current = nullptr; // a node of _root's tree, or null
    bool _inferRightHalves = false;
};

} // namespace tarvesk::search
