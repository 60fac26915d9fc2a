// The DMX search as "universe.search" runs it with sub-devices on, over a line
// carrying a chain of 1, 8 and 32 Wystrel drivers (skip counts 0 to K-1) and
// no RDM responder: the RDM discovery first (with its retries), then the
// Wystrel search, and the Wystrel search alone. Prints the frames put on the
// line and the simulated bus time: frames at 250 kbit/s and, for each frame
// that goes unanswered, the answer time-out the box waits.

#include "dmx/sim_wystrel_driver.h"
#include "search/search_options.h"
#include "search/search_results.h"
#include "search/universe_searcher.h"
#include "sim_bus_dmx_interface.h"
#include "universes/dmx_universe.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdio>
#include <iostream>
#include <sstream>

using namespace tarvesk;

namespace {

struct Figures
{
    int found = 0;
    int frames = 0;
    double busUs = 0;
};

Figures run(int drivers, const QList<search::SearchOptions::SearchProtocol>& protocols)
{
    auto* line = new test::SimBusDmxInterface();
    universes::DmxUniverse universe(QStringLiteral("DMX"), line);
    for (int i = 0; i < drivers; ++i) {
        sim::SimWystrelDriver::Config config;
        config.identity.uid = quint32(0x00A10000 + i);
        config.skipPosition = i;
        line->add(std::make_shared<sim::SimWystrelDriver>(config));
    }
    search::SearchOptions options(search::SearchOptions::ALL, protocols, true);
    search::SearchResults results;
    universe.getSearcher()->search(&options, &results);
    return {results.size(), line->frames, line->busUs};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false\n*.warning=false"));
    std::printf("drivers  search         found  frames  bus s   bus s/driver\n");
    for (int drivers : {1, 8, 32}) {
        for (const auto& [name, protocols] :
            {std::pair<const char*, QList<search::SearchOptions::SearchProtocol>> {"rdm+wystrel", {}},
                {"wystrel", {search::SearchOptions::WYSTREL}}}) {
            // The search engine writes each range to standard output.
            std::stringstream quiet;
            std::streambuf* out = std::cout.rdbuf(quiet.rdbuf());
            const Figures f = run(drivers, protocols);
            std::cout.rdbuf(out);
            std::printf("%7d  %-12s  %6d  %6d  %6.2f  %12.3f\n", drivers, name, f.found, f.frames,
                f.busUs / 1e6, f.busUs / 1e6 / drivers);
        }
    }
    return 0;
}
