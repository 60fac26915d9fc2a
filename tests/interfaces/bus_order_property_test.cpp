#include "bus_order_model.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QtGlobal>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

using namespace tarvesk::test;

namespace {

// Scenarios from fixed seeds: the same bus orders on every run and machine
// (std::mt19937's output is fixed by the standard; only its raw words are used).
std::vector<uint8_t> scenarioBytes(uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(64 + random() % 700);
    for (uint8_t& byte : bytes)
        byte = uint8_t(random() >> 24);
    return bytes;
}

struct SeededRun
{
    busorder::Stats total;
    int failed = 0;
};

// Runs the seeds, reports the first few orders that break the oracle (traced).
SeededRun runSeeds(const busorder::Features& features, uint32_t seeds)
{
    // The model's classes log warnings and debug lines by the hundred.
    const QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    SeededRun run;
    busorder::Stats& total = run.total;
    for (uint32_t seed = 1; seed <= seeds; ++seed) {
        const std::vector<uint8_t> bytes = scenarioBytes(seed);
        const busorder::Outcome outcome = busorder::runScenario(bytes.data(), bytes.size(), features);
        total.exchanges += outcome.stats.exchanges;
        total.values += outcome.stats.values;
        total.noAnswers += outcome.stats.noAnswers;
        total.errors += outcome.stats.errors;
        total.missed += outcome.stats.missed;
        total.memoryBytes += outcome.stats.memoryBytes;
        total.judged += outcome.stats.judged;
        total.undisturbed += outcome.stats.undisturbed;
        if (!outcome.violations.empty() && ++run.failed <= 3) {
            const busorder::Outcome traced = busorder::runScenario(bytes.data(), bytes.size(), features, true);
            ADD_FAILURE() << "seed " << seed << ": (" << outcome.violations.front().clause << ") "
                          << outcome.violations.front().what << "\n"
                          << traced.trace;
        }
    }
    qInstallMessageHandler(previous);
    return run;
}

// Every exchange the model drives through the DALI ledger and the record index,
// in thousands of bus orders, passes the oracle: no record of another frame,
// memory bytes from our own selection, no false "no answer", no value where
// ownership cannot be shown, also where the box lost records beside our
// frames; nothing in doubt where nothing disturbed the bus; once a
// disturbance ended, the next exchanges answered right. Off (see
// busorder::Features): the orders that what the box reports cannot settle.
// The sums show the run reached every kind of verdict.
TEST(BusOrderProperty, SeededScenariosPassTheOracle)
{
    const SeededRun run = runSeeds(busorder::Features(), 500);
    const busorder::Stats& total = run.total;
    EXPECT_EQ(run.failed, 0);
    SCOPED_TRACE(testing::Message() << total.exchanges << " exchanges: " << total.values << " values, "
                                    << total.noAnswers << " without answer, " << total.errors << " errors, "
                                    << total.memoryBytes << " memory bytes, " << total.missed << " missed, "
                                    << total.undisturbed << " undisturbed");
    testing::Test::RecordProperty("exchanges", total.exchanges);
    testing::Test::RecordProperty("undisturbed", total.undisturbed);
    EXPECT_GT(total.values, 500);
    EXPECT_GT(total.noAnswers, 200);
    EXPECT_GT(total.errors, 200);
    EXPECT_GT(total.memoryBytes, 20);
    EXPECT_GT(total.undisturbed, 100);
    EXPECT_GT(total.judged, 100);
}

// The bus orders kept in the fuzz target's corpus (among them every
// counterexample it found) pass the oracle.
TEST(BusOrderProperty, TheFuzzCorpusPassesTheOracle)
{
    const QString source = qEnvironmentVariable("QM_SOURCE_DIR");
    if (source.isEmpty())
        GTEST_SKIP() << "QM_SOURCE_DIR is not set";
    const QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    const QDir corpus(source + QStringLiteral("/fuzz/corpus/bus_order_fuzzer"));
    const QStringList names = corpus.entryList(QDir::Files);
    for (const QString& name : names) {
        QFile file(corpus.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        const QByteArray bytes = file.readAll();
        const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
        const busorder::Outcome outcome = busorder::runScenario(data, size_t(bytes.size()), busorder::Features());
        if (!outcome.violations.empty()) {
            ADD_FAILURE() << name.toStdString() << ": (" << outcome.violations.front().clause << ") "
                          << outcome.violations.front().what << "\n"
                          << busorder::runScenario(data, size_t(bytes.size()), busorder::Features(), true).trace;
        }
    }
    qInstallMessageHandler(previous);
    EXPECT_GE(names.size(), 10);
}

} // namespace
