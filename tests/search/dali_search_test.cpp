#include "core/interface_type.h"
#include "dali/sim_dali_bus.h"
#include "search/dali_search.h"
#include "search/dali_search_result.h"
#include "search/search_options.h"
#include "search/search_results.h"
#include "sim_bus_dali_interface.h"
#include "universes/dali_universe.h"

#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <sstream>

using namespace tarvesk;
using search::SearchOptions;
using sim::SimDaliGear;
using sim::SimDaliGearConfig;

namespace {

// A DALI universe whose interface is wired straight to a simulated bus.
struct DaliBench
{
    DaliBench()
    {
        auto* itf = new test::SimBusDaliInterface(bus);
        itf->addCapability(core::ITF_CAP_DALI_REPLY_SUPPORT);
        universe = std::make_unique<universes::DaliUniverse>(QStringLiteral("DALI"), itf);
    }

    SimDaliGear& add(SimDaliGearConfig config)
    {
        bus.addGear(std::make_shared<SimDaliGear>(config));
        return bus.gear(bus.gearCount() - 1);
    }

    struct Step
    {
        int status = 0;
        std::vector<int> addresses;
        QStringList warnings;
        qint64 frames = 0;
    };

    Step step(const QString& name)
    {
        SearchOptions options(SearchOptions::STEP, {}, false);
        options.setSearchStepName(name);
        search::SearchResults results;
        const qint64 before = bus.forwardFrames();
        // The engine writes each found range to standard output.
        std::stringstream quiet;
        std::streambuf* out = std::cout.rdbuf(quiet.rdbuf());
        Step step;
        step.status = universe->getSearcher()->search(&options, &results);
        std::cout.rdbuf(out);
        for (search::SearchResult* result : results)
            step.addresses.push_back(static_cast<search::DaliSearchResult*>(result)->getAddress());
        step.warnings = results.warnings();
        step.frames = bus.forwardFrames() - before;
        return step;
    }

    // Searched as a client does: "initialise_all", "search_single" until one
    // finds nothing, "end_search".
    Step searchAll(int maxSteps = 100)
    {
        Step all = step(QStringLiteral("initialise_all"));
        for (int i = 0; i < maxSteps; ++i) {
            const Step single = step(QStringLiteral("search_single"));
            EXPECT_LE(single.frames, search::DaliSearch::MaxFramesPerStep + 64);
            EXPECT_EQ(single.status, 0);
            all.addresses.insert(all.addresses.end(), single.addresses.begin(), single.addresses.end());
            all.warnings << single.warnings;
            if (single.addresses.empty())
                break;
        }
        all.status = step(QStringLiteral("end_search")).status;
        return all;
    }

    sim::SimDaliBus bus;
    std::unique_ptr<universes::DaliUniverse> universe;
};

SimDaliGearConfig gear(quint32 seed)
{
    SimDaliGearConfig config;
    config.randomSeed = seed;
    return config;
}

SimDaliGearConfig fixed(quint32 seed, quint32 address)
{
    SimDaliGearConfig config = gear(seed);
    config.fixedRandomAddress = address;
    return config;
}

TEST(DaliSearch, BinarySearchPopulations)
{
    const struct
    {
        const char* name;
        int plain;                             // gear with seeds 1..plain
        std::vector<SimDaliGearConfig> others; // besides
        int found;
        const char* warning; // contained in one warning, or none
        int handedBack = 0;  // addresses given back unconfirmed: never handed out again
    } cases[] = {
        {"one gear", 1, {}, 1, nullptr},
        {"16 gear", 16, {}, 16, nullptr},
        {"64 gear", 64, {}, 64, nullptr},
        {"two share a random address", 3, {fixed(101, 0x123456), fixed(102, 0x123456)}, 3,
            "share the random address 0x123456"},
        {"two stuck at 0x000000", 3, {fixed(101, 0), fixed(102, 0)}, 3, "share the random address 0x000000"},
        {"two at 0xFFFFFF", 3, {fixed(101, 0xFFFFFF), fixed(102, 0xFFFFFF)}, 3,
            "share the random address 0xffffff"},
        {"one at 0xFFFFFF", 3, {fixed(101, 0xFFFFFF)}, 4, nullptr},
        {"one ignores WITHDRAW", 5, {[] {
             SimDaliGearConfig c = gear(101);
             c.ignoreWithdraw = true;
             return c;
         }()},
            6, "does not withdraw"},
        // The step that finds it first gets no confirmation and goes on: it may
        // not answer "nothing found" while gear are left.
        {"one takes its short address only at the second try", 3, {[] {
             SimDaliGearConfig c = gear(101);
             c.ignoreProgramShortAddress = 1;
             return c;
         }()},
            4, nullptr, 1},
        {"a late answerer", 3, {[] {
             SimDaliGearConfig c = gear(101);
             c.answerLate = true;
             return c;
         }()},
            3, nullptr},
        {"65 gear", 65, {}, 64, "More than 64 gear answer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DaliBench bench;
        for (int i = 1; i <= c.plain; ++i)
            bench.add(gear(quint32(i)));
        for (const SimDaliGearConfig& other : c.others)
            bench.add(other);
        const DaliBench::Step result = bench.searchAll();
        EXPECT_EQ(result.status, 0);

        // Each result is a short address held by exactly one gear; nothing else holds one.
        std::map<int, int> holders;
        for (int i = 0; i < bench.bus.gearCount(); ++i) {
            if (bench.bus.gear(i).shortAddress() >= 0)
                ++holders[bench.bus.gear(i).shortAddress()];
        }
        std::set<int> reported;
        for (int address : result.addresses) {
            EXPECT_TRUE(reported.insert(address).second) << address;
            EXPECT_EQ(holders[(address - 1) / 2], 1) << address;
        }
        EXPECT_EQ(int(result.addresses.size()), c.found);
        EXPECT_EQ(int(holders.size()), c.found);
        for (const auto& [shortAddress, count] : holders)
            EXPECT_TRUE(reported.count(shortAddress * 2 + 1)) << shortAddress;
        // Addresses are handed out from 0 on.
        if (c.found > 0) {
            EXPECT_EQ(*reported.rbegin(), (c.found + c.handedBack - 1) * 2 + 1);
        }
        const std::string warnings = result.warnings.join('\n').toStdString();
        if (c.warning) {
            EXPECT_NE(warnings.find(c.warning), std::string::npos) << warnings;
        } else {
            EXPECT_TRUE(warnings.empty()) << warnings;
        }
        // The search is closed: nobody is left in initialisation.
        for (int i = 0; i < bench.bus.gearCount(); ++i)
            EXPECT_EQ(bench.bus.gear(i).initialisation(), SimDaliGear::Initialisation::Disabled);
    }
}

TEST(DaliSearch, StepsOutsideASearchSendNothingAndUnknownStepsAreRefused)
{
    DaliBench bench;
    bench.add(gear(1));
    EXPECT_EQ(bench.step("search_single").frames, 0);
    const DaliBench::Step unknown = bench.step("search_everything");
    EXPECT_EQ(unknown.status, -8);
    EXPECT_EQ(unknown.frames, 0);
    EXPECT_TRUE(unknown.warnings.join(' ').contains("search_everything"));
    for (const char* name : {"query_64", "query_-1", "query_01", "Initialise_all", "query_"})
        EXPECT_EQ(bench.step(name).status, -8) << name;

    EXPECT_EQ(bench.searchAll().addresses.size(), 1u);
    EXPECT_EQ(bench.step("search_single").frames, 0); // after the end
    // A numbered query finds the programmed gear at short address 0.
    const DaliBench::Step query = bench.step("query_0");
    EXPECT_EQ(query.addresses, std::vector<int>({1}));
    EXPECT_EQ(bench.step("query_1").addresses, std::vector<int>());
}

TEST(DaliSearch, PresenceQueries)
{
    DaliBench bench;
    for (int a : {0, 5, 5}) {
        SimDaliGearConfig config = gear(quint32(a + 1));
        config.shortAddress = a;
        bench.add(config);
    }
    search::SearchResults results;
    SearchOptions existing(SearchOptions::EXISTING, {}, false);
    ASSERT_EQ(bench.universe->getSearcher()->search(&existing, &results), 0);
    std::vector<int> addresses;
    for (search::SearchResult* result : results)
        addresses.push_back(static_cast<search::DaliSearchResult*>(result)->getAddress());
    // Two gear at 5 collide: present, and reported.
    EXPECT_EQ(addresses, std::vector<int>({1, 11}));
    EXPECT_EQ(results.warnings(), QStringList("Several gear answer at short address 5"));

    search::SearchResults broadcast;
    SearchOptions all(SearchOptions::ALL, {}, false);
    ASSERT_EQ(bench.universe->getSearcher()->search(&all, &broadcast), 0);
    ASSERT_EQ(broadcast.size(), 1);
    EXPECT_EQ(static_cast<search::DaliSearchResult*>(*broadcast.begin())->getAddress() & 0xFF, 0xFF);

    // Without bus supply every query fails as a transfer: the search reports it.
    bench.bus.setSupply(false);
    search::SearchResults none;
    EXPECT_NE(bench.universe->getSearcher()->search(&existing, &none), 0);
    EXPECT_EQ(none.size(), 0);
}

} // namespace
