#include "search/binary_search.h"
#include "search/binary_search_node.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

using namespace tarvesk::search;

namespace {

using Range = std::pair<unsigned long long, unsigned long long>;

// Devices at fixed addresses that answer for every range holding one of them
// (a bus where answers to a range come only from inside it); muting takes a
// device out. Writes down every range asked about and every call.
class ScriptedSearch : public BinarySearch
{
public:
    ScriptedSearch(unsigned long long min, unsigned long long max, std::set<unsigned long long> devices)
        : BinarySearch(min, max)
        , devices(std::move(devices))
    { }

    using BinarySearch::setInferRightHalves;

    std::set<unsigned long long> devices;
    std::vector<Range> asked;
    std::vector<unsigned long long> muted;
    QStringList calls;

protected:
    int unmuteAll(SearchType) override
    {
        calls << "unmuteAll";
        return 0;
    }
    void finalise() override { calls << "finalise"; }
    void mute(BinarySearchNode* node) override
    {
        muted.push_back(node->getMinValue());
        devices.erase(node->getMinValue());
    }
    BinarySearchCondition checkCondition(BinarySearchNode* node) override
    {
        asked.emplace_back(node->getMinValue(), node->getMaxValue());
        int count = 0;
        for (unsigned long long d : devices)
            count += d >= node->getMinValue() && d <= node->getMaxValue();
        return count == 0 ? NO_REPLY : count == 1 ? SINGLE_REPLY : MULTIPLE_REPLIES;
    }
    bool finalCheck(BinarySearchNode* node) override { return devices.count(node->getMinValue()) > 0; }
    bool finalVerify(BinarySearchNode*) override { return true; }
};

TEST(BinarySearch, TheRangesAskedOverZeroToSevenWithOneDeviceAtFive)
{
    // Without inference every range is asked, in this order; with it the
    // right halves whose left half stayed silent are not asked.
    const std::vector<Range> full = {{0, 7}, {0, 3}, {4, 7}, {4, 5}, {4, 4}, {5, 5}};
    const std::vector<Range> inferred = {{0, 7}, {0, 3}, {4, 5}, {4, 4}};
    for (bool infer : {false, true}) {
        ScriptedSearch search(0, 7, {5});
        search.setInferRightHalves(infer);
        search.startSearch(BinarySearch::SEARCH_ALL);
        BinarySearchNode* found = search.searchSingle();
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->getMinValue(), 5u);
        EXPECT_EQ(search.asked, infer ? inferred : full) << infer;
        // Then the rest of the tree: [6, 7] is asked once, and the search is over.
        search.asked.clear();
        EXPECT_EQ(search.searchSingle(), nullptr);
        EXPECT_EQ(search.asked, (std::vector<Range> {{6, 7}}));
        EXPECT_FALSE(search.isRunning());
    }
}

TEST(BinarySearch, FindsEveryDeviceOnceInAddressOrderAndEnds)
{
    const std::set<unsigned long long> devices = {0, 1, 2, 7, 8, 100, 254, 255};
    for (bool infer : {false, true}) {
        ScriptedSearch search(0, 255, devices);
        search.setInferRightHalves(infer);
        search.work();
        EXPECT_EQ(search.muted, std::vector<unsigned long long>(devices.begin(), devices.end()));
        EXPECT_EQ(search.calls, QStringList({"unmuteAll", "finalise"}));
        EXPECT_EQ(search.getRoot(), nullptr);
        // Every range is asked at most once.
        EXPECT_EQ(std::set<Range>(search.asked.begin(), search.asked.end()).size(), search.asked.size());
    }
}

TEST(BinarySearch, EmptyBusAndStepsOutsideASearch)
{
    ScriptedSearch search(0, 7, {});
    // Nothing running: searchSingle asks nothing.
    EXPECT_EQ(search.searchSingle(), nullptr);
    EXPECT_TRUE(search.asked.empty());
    EXPECT_TRUE(search.doStep("initialise_all"));
    EXPECT_TRUE(search.doStep("search_single"));
    EXPECT_EQ(search.asked, (std::vector<Range> {{0, 7}})); // a silent root ends it
    EXPECT_TRUE(search.doStep("search_single"));
    EXPECT_EQ(search.asked.size(), 1u);
    EXPECT_TRUE(search.doStep("end_search"));
    EXPECT_EQ(search.calls, QStringList({"unmuteAll", "finalise"}));
    EXPECT_FALSE(search.doStep("search_all"));
    EXPECT_FALSE(search.doStep("query_x"));
}

// A leaf that keeps answering and never passes the final check (two devices
// at one address) is left, not asked again and again.
class ClashingSearch : public ScriptedSearch
{
public:
    using ScriptedSearch::ScriptedSearch;

protected:
    bool finalCheck(BinarySearchNode*) override { return false; }
};

TEST(BinarySearch, ALeafThatFailsItsCheckIsLeft)
{
    ClashingSearch search(0, 0xFFFFFF, {0xFFFFFF});
    search.setInferRightHalves(true);
    search.startSearch(BinarySearch::SEARCH_ALL);
    EXPECT_EQ(search.searchSingle(), nullptr);
    EXPECT_FALSE(search.isRunning());
    EXPECT_LE(search.asked.size(), 2u * 25u);
    EXPECT_TRUE(search.muted.empty());
}

} // namespace
