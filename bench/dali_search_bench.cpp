// The DALI binary search as a client drives it ("initialise_all", then
// "search_single" until one finds nothing, then "end_search") on one simulated
// DALI bus with bus timing, for 1, 16 and 64 control gear with fixed seeds.
// Prints the frames the search puts on the bus per gear found, the frames
// that setting up the devices costs (apart), and the bus time against the
// IEC 62386-101 bound for the frames sent.

#include "core/interface_type.h"
#include "dali/sim_dali_bus.h"
#include "dali/sim_dali_timing.h"
#include "devices/dali_device.h"
#include "search/dali_search_result.h"
#include "search/search_options.h"
#include "search/search_results.h"
#include "search/universe_searcher.h"
#include "sim_bus_dali_interface.h"
#include "universes/dali_universe.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <vector>

using namespace tarvesk;

namespace {

struct Figures
{
    int gear = 0;
    int found = 0;
    qint64 forward = 0;
    qint64 backward = 0;
    qint64 setupForward = 0;
    double busUs = 0;
};

// The least time the frames can take (IEC 62386-101): each forward frame after
// its settling time (13.5 ms after a forward frame, 2.4 ms after a backward
// one), each backward frame 5.5 ms after its forward frame.
double boundUs(qint64 forward, qint64 backward)
{
    using T = sim::SimDaliTiming;
    const double afterBackward = T::SettlingAfterForwardUs - T::SettlingAfterBackwardUs;
    return double(forward) * (T::SettlingAfterForwardUs + T::forwardFrameUs(2))
        + double(backward) * (T::BackwardDelayUs + T::backwardFrameUs() - afterBackward);
}

int step(core::Universe& universe, const QString& name, std::vector<int>* addresses)
{
    search::SearchOptions options(search::SearchOptions::STEP, {}, false);
    options.setSearchStepName(name);
    search::SearchResults results;
    const int status = universe.getSearcher()->search(&options, &results);
    for (search::SearchResult* result : results)
        addresses->push_back(static_cast<search::DaliSearchResult*>(result)->getAddress());
    return status;
}

Figures run(int gearCount)
{
    sim::SimDaliBus bus;
    bus.setTiming(sim::SimDaliBus::Timing::BusTime);
    for (int i = 0; i < gearCount; ++i) {
        sim::SimDaliGearConfig config;
        config.randomSeed = quint32(1000 * gearCount + i);
        config.identity.firmwareMajor = 1;
        bus.addGear(std::make_shared<sim::SimDaliGear>(config));
    }
    auto* itf = new test::SimBusDaliInterface(bus);
    itf->addCapability(core::ITF_CAP_DALI_REPLY_SUPPORT);
    universes::DaliUniverse universe(QStringLiteral("DALI"), itf);

    std::vector<int> addresses;
    step(universe, QStringLiteral("initialise_all"), &addresses);
    for (;;) {
        const size_t before = addresses.size();
        if (step(universe, QStringLiteral("search_single"), &addresses) != 0 || addresses.size() == before)
            break;
    }
    step(universe, QStringLiteral("end_search"), &addresses);

    Figures f;
    f.gear = gearCount;
    f.found = int(addresses.size());
    f.forward = bus.forwardFrames();
    f.backward = bus.backwardFrames();
    f.busUs = bus.nowUs();
    for (int address : addresses) {
        devices::DaliDevice device(&universe, uchar(address), false);
        device.initializeDeviceInfo(nullptr);
    }
    // Set-up is counted apart; the bus time above is the search's alone.
    f.setupForward = bus.forwardFrames() - f.forward;
    return f;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false\n*.warning=false"));
    std::vector<Figures> rows;
    {
        // The engine writes each found range to standard output.
        std::stringstream quiet;
        std::streambuf* out = std::cout.rdbuf(quiet.rdbuf());
        for (int gear : {1, 16, 64})
            rows.push_back(run(gear));
        std::cout.rdbuf(out);
    }
    std::printf("gear found  fwd/gear  fwd  bwd  setup fwd/gear  bus s  bus s/gear  bound s  bus/bound\n");
    for (const Figures& f : rows) {
        const double bound = boundUs(f.forward, f.backward);
        const int per = f.found > 0 ? f.found : 1;
        std::printf("%4d %5d  %8.1f %4lld %4lld  %14.1f  %5.2f  %10.3f  %7.2f  %9.4f\n", f.gear, f.found,
            double(f.forward) / per, static_cast<long long>(f.forward), static_cast<long long>(f.backward),
            double(f.setupForward) / per, f.busUs / 1e6, f.busUs / 1e6 / per, bound / 1e6, f.busUs / bound);
    }
    return 0;
}
