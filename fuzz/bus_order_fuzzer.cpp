// Bytes -> a bus order (tests/support/bus_order_model.h): our DALI and DMX
// frames, another master's, lost records, monitor passes that drain, are cut
// short, fail or come late, a box opened anew. The real DALI ledger and record
// index account for every record; any exchange that breaks the oracle stops
// the run with the bus order printed.
//
// QM_BUS_ORDER=all also makes the bus orders that the test suite's seeded
// run keeps away from: those the box's reports cannot settle.
#include "bus_order_model.h"
#include "quiet_log.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

tarvesk::test::busorder::Features features()
{
    tarvesk::test::busorder::Features f;
    const char* which = std::getenv("QM_BUS_ORDER");
    if (which && std::strcmp(which, "all") == 0) {
        f.foreignBetweenEnableAndQuery = true;
        f.lostAnswerIsNoAnswer = true;
        f.longLostRuns = true;
        f.pastHoldCap = true;
        f.answeredCopyAhead = true;
        f.foreignOneByteAfterOurFrame = true;
        f.daliRecordsLost = true;
        f.owedAcrossReopen = true;
        f.frameAfterCopyOnClosingBox = true;
    }
    return f;
}

} // namespace

// The model primes a box opened anew with the real data monitor, whose poll
// timer needs the application object.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    silenceLogOnce();
    static const tarvesk::test::busorder::Features chosen = features();
    // QM_BUS_ORDER_CLAUSES=acd (say) stops only on those clauses: to look
    // for one kind of fault while another is known.
    static const char* clauses = std::getenv("QM_BUS_ORDER_CLAUSES");
    const auto outcome = tarvesk::test::busorder::runScenario(data, size, chosen);
    const auto judged = std::find_if(outcome.violations.begin(), outcome.violations.end(),
        [](const auto& v) { return !clauses || std::strchr(clauses, v.clause); });
    if (judged == outcome.violations.end())
        return 0;
    const auto traced = tarvesk::test::busorder::runScenario(data, size, chosen, true);
    std::fprintf(stderr, "bus order oracle, clause (%c): %s\n%s", judged->clause, judged->what.c_str(),
        traced.trace.c_str());
    std::abort();
}
