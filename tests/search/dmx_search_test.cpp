#include "core/itf_error.h"
#include "dmx/sim_rdm_responder.h"
#include "dmx/sim_wystrel_driver.h"
#include "search/dmx_search.h"
#include "search/rdm_search_result.h"
#include "search/search_options.h"
#include "search/search_results.h"
#include "search/wystrel_search_result.h"
#include "sim_bus_dmx_interface.h"
#include "universes/dmx_universe.h"

#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <sstream>

using namespace tarvesk;
using search::SearchOptions;
using sim::SimRdmResponder;
using sim::SimWystrelDriver;

namespace {

// A DMX universe whose line reaches simulated responders and drivers directly.
struct DmxBench
{
    DmxBench()
        : line(new test::SimBusDmxInterface())
        , universe(std::make_unique<universes::DmxUniverse>(QStringLiteral("DMX"), line))
    { }

    std::shared_ptr<SimWystrelDriver> driver(quint32 uid, int skipPosition)
    {
        SimWystrelDriver::Config config;
        config.identity.uid = uid;
        config.skipPosition = skipPosition;
        auto made = std::make_shared<SimWystrelDriver>(config);
        line->add(made);
        return made;
    }

    std::shared_ptr<SimRdmResponder> responder(quint64 uid)
    {
        SimRdmResponder::Config config;
        config.uid = uid;
        auto made = std::make_shared<SimRdmResponder>(config);
        line->add(made);
        return made;
    }

    struct Found
    {
        int status = 0;
        QStringList results; // "rdm <uid text>" or "wystrel <uid> @<skip count>"
        QList<unsigned> uids;
    };

    Found search(QList<SearchOptions::SearchProtocol> protocols, bool subdevices)
    {
        SearchOptions options(SearchOptions::ALL, protocols, subdevices);
        search::SearchResults results;
        Found found;
        // The search engine writes each range to standard output.
        std::stringstream quiet;
        std::streambuf* out = std::cout.rdbuf(quiet.rdbuf());
        found.status = universe->getSearcher()->search(&options, &results);
        std::cout.rdbuf(out);
        for (search::SearchResult* result : results) {
            found.uids << result->getUID();
            if (auto* rdm = dynamic_cast<search::RdmSearchResult*>(result))
                found.results << QStringLiteral("rdm ") + rdm->getUidText();
            else if (auto* wy = dynamic_cast<search::WystrelSearchResult*>(result))
                found.results << QStringLiteral("wystrel %1 @%2")
                                     .arg(wy->getUID(), 8, 16, QLatin1Char('0'))
                                     .arg(wy->getSkipCount());
        }
        EXPECT_EQ(protocols, options.getSearchProtocols()); // the caller's options stay as given
        return found;
    }

    test::SimBusDmxInterface* line; // owned by the universe
    std::unique_ptr<universes::DmxUniverse> universe;
};

TEST(DmxSearch, ProtocolsDecideWhichSearchesRunAndADriverOnBothIsListedOnce)
{
    const struct
    {
        const char* name;
        QList<SearchOptions::SearchProtocol> protocols;
        bool subdevices;
        int status;
        QStringList results;
    } rows[] = {
        {"none: both", {}, false, 0, {"rdm 7e2b:80a1b2c3"}},
        {"none, sub-devices", {}, true, 0, {"rdm 7e2b:80a1b2c3", "wystrel 00000777 @1"}},
        {"rdm", {SearchOptions::RDM}, true, 0, {"rdm 7e2b:80a1b2c3"}},
        {"wystrel", {SearchOptions::WYSTREL}, true, 0, {"wystrel 80a1b2c3 @0", "wystrel 00000777 @1"}},
        {"wystrel then rdm", {SearchOptions::WYSTREL, SearchOptions::RDM}, false, 0, {"rdm 7e2b:80a1b2c3"}},
        {"dali only", {SearchOptions::DALI}, true, core::ITF_ERR_UNSUPPORTED_FEATURE, {}},
    };
    for (const auto& row : rows) {
        DmxBench bench;
        bench.responder(0x7E2B80A1B2C3ull); // the same driver's RDM side
        bench.driver(0x80A1B2C3, 0);
        bench.driver(0x777, 1);
        const DmxBench::Found found = bench.search(row.protocols, row.subdevices);
        EXPECT_EQ(found.status, row.status) << row.name;
        EXPECT_EQ(found.results, row.results) << row.name;
    }
}

TEST(DmxSearch, RdmIdentityIsTheFullDeviceId)
{
    DmxBench bench;
    bench.responder(0x12348000ABCDull);
    const DmxBench::Found found = bench.search({SearchOptions::RDM}, false);
    EXPECT_EQ(found.results, QStringList {"rdm 1234:8000abcd"});
    EXPECT_EQ(found.uids, QList<unsigned> {0x8000ABCDu});

    for (const auto& [text, uid] : {std::pair<const char*, unsigned> {"7e2b:ffffffff", 0xFFFFFFFFu},
             {"00000042", 0x42u}, {"7e2b:xyz", 0u}}) {
        EXPECT_EQ(search::RdmSearchResult(nullptr, QLatin1String(text)).getUID(), uid) << text;
    }
    EXPECT_TRUE(search::RdmSearchResult(nullptr, QStringLiteral("7e2b:00000001")).isTarveskDevice());
    EXPECT_FALSE(search::RdmSearchResult(nullptr, QStringLiteral("1234:00000001")).isTarveskDevice());
}

TEST(DmxSearch, TwoRespondersCollideAndTheWystrelSearchStillRuns)
{
    DmxBench bench;
    bench.responder(0x7E2B00000001ull);
    bench.responder(0x7E2B00000002ull);
    bench.driver(0x55, 0);
    const DmxBench::Found found = bench.search({}, false);
    EXPECT_EQ(found.status, 0);
    EXPECT_EQ(found.results, QStringList {"wystrel 00000055 @0"});
    // Three runs of five attempts, each an un-mute and a branch; then the GUID request.
    EXPECT_EQ(bench.line->frames, 3 * 5 * 2 + 1);
}

TEST(DmxSearch, WystrelChainsEndAtTheFirstSilentOrGarbledSkipCount)
{
    for (int k : {1, 3, 8}) {
        DmxBench bench;
        for (int i = 0; i < k; ++i)
            bench.driver(quint32(0x100 + i), i);
        const DmxBench::Found found = bench.search({SearchOptions::WYSTREL}, true);
        ASSERT_EQ(found.results.size(), k) << k;
        EXPECT_EQ(found.results.last(),
            QStringLiteral("wystrel %1 @%2").arg(0x100 + k - 1, 8, 16, QLatin1Char('0')).arg(k - 1));
        EXPECT_EQ(bench.search({SearchOptions::WYSTREL}, false).results.size(), 1) << k;
    }

    DmxBench garbled;
    garbled.driver(0x1, 0);
    garbled.driver(0x2, 1)->faults().badChecksum = sim::SimDriverFaults::Forever;
    garbled.driver(0x3, 2);
    EXPECT_EQ(garbled.search({SearchOptions::WYSTREL}, true).results, QStringList {"wystrel 00000001 @0"});

    DmxBench silent;
    silent.driver(0x1, 0)->faults().silent = sim::SimDriverFaults::Forever;
    silent.driver(0x2, 1);
    EXPECT_TRUE(silent.search({SearchOptions::WYSTREL}, true).results.isEmpty());
}

TEST(DmxSearch, AFullChainStopsAfterSkipCount254)
{
    DmxBench bench;
    for (int i = 0; i <= 255; ++i)
        bench.driver(quint32(0x1000 + i), i);
    const DmxBench::Found found = bench.search({SearchOptions::WYSTREL}, true);
    EXPECT_EQ(found.results.size(), 255);
    EXPECT_EQ(bench.line->frames, 255);
}

} // namespace
