#include "scripted_dali_interface.h"

#include "interfaces/dali_exception.h"
#include "interfaces/dali_memory_bank.h"
#include "interfaces/dali_memory_bank_utility.h"

#include <gtest/gtest.h>

#include <memory>

using tarvesk::itf::DaliException;
using tarvesk::itf::DaliMemoryBank;
using tarvesk::itf::DaliMemoryBankUtility;
using tarvesk::test::ScriptedDaliInterface;
using Outcome = ScriptedDaliInterface::Outcome;
using Bytes = std::vector<std::uint8_t>;
namespace core = tarvesk::core;

namespace {

// The whole stack over a scripted bus: interface -> bridge -> utility -> bank.
struct MemoryBankFixture : ::testing::Test
{
    ScriptedDaliInterface dali;
    std::shared_ptr<DaliMemoryBankUtility> utility
        = std::make_shared<DaliMemoryBankUtility>(dali.getDaliBridge());
    DaliMemoryBank bank {utility};
};

TEST_F(MemoryBankFixture, BridgeTurnsFailuresIntoExceptions)
{
    auto bridge = dali.getDaliBridge();
    dali.responder = [](const auto&) { return Outcome::failure(core::ITF_ERR_TRANSFER); };
    try {
        bridge->sendCommandTwice(0x03, 0x81);
        FAIL() << "no exception";
    } catch (const DaliException& e) {
        EXPECT_EQ(e.code(), core::ITF_ERR_TRANSFER);
        EXPECT_STREQ(e.what(), "sendCommandTwice");
    }
    EXPECT_EQ(dali.journal().last(), "03 81 x2");

    // Nobody answering is an ordinary result; a collision is not.
    dali.responder = [](const auto&) { return Outcome::silence(); };
    EXPECT_FALSE(bridge->sendCommandExpectingAnswer(0x03, 0xC5).has_value());
    EXPECT_FALSE(bridge->sendSpecialCommandExpectingAnswer(0xC7, 0x01).has_value());
    dali.responder = [](const auto&) { return Outcome::collision(); };
    try {
        bridge->sendSpecialCommandExpectingAnswer(0xC7, 0x01);
        FAIL() << "no exception";
    } catch (const DaliException& e) {
        EXPECT_EQ(e.code(), core::ITF_ERR_PACKET_FRAME);
        EXPECT_STREQ(e.what(), "sendSpecialCommandExpectingAnswer");
    }
    dali.responder = [](const auto&) { return Outcome::answer(0x07); };
    EXPECT_EQ(bridge->sendCommandExpectingAnswer(0x03, 0xC5), std::optional<std::uint8_t>(0x07));
}

TEST_F(MemoryBankFixture, ReadsABlockWithOneSelection)
{
    dali.answerQueries({Outcome::answer(1), Outcome::answer(2), Outcome::answer(3), Outcome::answer(4)});
    const auto result = bank.readMemoryBlock(0xFF, 201, 3, 4, false);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.bytes, (Bytes {1, 2, 3, 4}));
    EXPECT_EQ(dali.journal(), (QStringList {"C3 C9", "A3 03", "FF C5 ?", "FF C5 ?", "FF C5 ?", "FF C5 ?"}));
}

TEST_F(MemoryBankFixture, TextReadStopsAfterItsTerminator)
{
    dali.answerQueries(
        {Outcome::answer('A'), Outcome::answer('B'), Outcome::answer(0), Outcome::answer('C')});
    const auto result = bank.readMemoryBlock(0xFF, 1, 3, 10, true);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.bytes, (Bytes {0x41, 0x42, 0x00}));
    EXPECT_EQ(dali.sent.size(), 2u + 3u);
}

TEST_F(MemoryBankFixture, ReadFailuresGiveNoBytes)
{
    dali.answerQueries({Outcome::answer(1), Outcome::answer(2), Outcome::silence()});
    auto result = bank.readMemoryBlock(0xFF, 1, 3, 4, false);
    EXPECT_EQ(result.status, DaliException::NoAnswer);
    EXPECT_TRUE(result.bytes.empty());
    EXPECT_EQ(dali.sent.size(), 2u + 3u);

    dali.answerQueries({Outcome::answer(1), Outcome::collision()});
    result = bank.readMemoryBlock(0xFF, 1, 3, 4, false);
    EXPECT_EQ(result.status, core::ITF_ERR_PACKET_FRAME);
    EXPECT_TRUE(result.bytes.empty());

    dali.sent.clear();
    dali.responder = [](const auto&) { return Outcome::failure(core::ITF_ERR_TRANSFER); };
    result = bank.readMemoryBlock(0xFF, 1, 3, 4, false);
    EXPECT_EQ(result.status, core::ITF_ERR_TRANSFER);
    EXPECT_EQ(dali.journal(), QStringList {"C3 01"});

    dali.sent.clear();
    dali.responder = nullptr;
    result = bank.readMemoryBlock(0xFF, 1, 3, 0, false);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(dali.journal(), (QStringList {"C3 01", "A3 03"}));
}

TEST_F(MemoryBankFixture, EnergyValuesAreReadUnderTheBanksLatch)
{
    auto bytes = [](std::vector<int> values) {
        std::vector<Outcome> outcomes;
        for (int v : values)
            outcomes.push_back(v < 0 ? Outcome::silence() : Outcome::answer(std::uint8_t(v)));
        return outcomes;
    };
    // Latch (0xAA in the lock byte), read, release (0xFF).
    dali.answerQueries(bytes({0xAA, 0, 0, 0, 1, 2, 3, 0xFF}));
    auto result = bank.readMemoryBlock(0x07, 202, 5, 6, false);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.bytes, (Bytes {0, 0, 0, 1, 2, 3}));
    EXPECT_EQ(dali.journal(),
        (QStringList {"C3 CA", "A3 02", "07 81 x2", "C7 AA ?", "C3 CA", "A3 05", "07 C5 ?", "07 C5 ?",
            "07 C5 ?", "07 C5 ?", "07 C5 ?", "07 C5 ?", "C3 CA", "A3 02", "07 81 x2", "C7 FF ?"}));

    // A gear that keeps the bank latched would show frozen values from then on: an error.
    dali.answerQueries(bytes({0xAA, 0, 0, 0, 1, -1}));
    result = bank.readMemoryBlock(0x07, 204, 12, 4, false);
    EXPECT_EQ(result.status, DaliException::NoAnswer);
    EXPECT_TRUE(result.bytes.empty());
    // No latch, no read; a failed read is still released.
    dali.sent.clear();
    dali.answerQueries(bytes({-1}));
    EXPECT_EQ(bank.readMemoryBlock(0x07, 203, 5, 6, false).status, DaliException::NoAnswer);
    EXPECT_EQ(dali.sent.size(), 4u);
    dali.sent.clear();
    dali.answerQueries(bytes({0xAA, 0, -1, 0xFF}));
    EXPECT_EQ(bank.readMemoryBlock(0x07, 203, 5, 6, false).status, DaliException::NoAnswer);
    EXPECT_EQ(dali.journal().last(), "C7 FF ?");
    // Single bytes, and other banks, are read as they are.
    dali.sent.clear();
    dali.answerQueries(bytes({0xFD}));
    EXPECT_EQ(bank.readMemoryBlock(0x07, 202, 4, 1, false).bytes, Bytes {0xFD});
    EXPECT_EQ(dali.journal(), (QStringList {"C3 CA", "A3 04", "07 C5 ?"}));
}

TEST_F(MemoryBankFixture, WritesABlockAfterUnlocking)
{
    dali.responder = [](const ScriptedDaliInterface::Sent& s) {
        return s.expectAnswer ? Outcome::answer(s.second) : Outcome::silence();
    };
    const auto result = bank.writeMemoryBlock(0x05, 1, 9, {0xAB, 0xCD});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(dali.journal(),
        (QStringList {"C3 01", "A3 02", "05 81 x2", "C7 55 ?", "A3 09", "C7 AB ?", "C7 CD ?"}));

    dali.sent.clear();
    EXPECT_EQ(bank.writeMemoryBlock(0x05, 1, 9, {}).status, 0);
    EXPECT_EQ(dali.journal().size(), 5);
}

TEST_F(MemoryBankFixture, UnlockFailures)
{
    auto utilityOnly = std::make_shared<DaliMemoryBankUtility>(dali.getDaliBridge());
    try {
        utilityOnly->unlockMemoryBank(0x05, 7);
        FAIL() << "no exception";
    } catch (const DaliException& e) {
        EXPECT_EQ(e.code(), -42);
        EXPECT_STREQ(e.what(), "Failed to unlock memory bank: 7: no answer from WRITE MEMORY LOCATION");
    }
    dali.answerQueries({Outcome::answer(0x54)});
    try {
        utilityOnly->unlockMemoryBank(0x05, 7);
        FAIL() << "no exception";
    } catch (const DaliException& e) {
        EXPECT_EQ(e.code(), -43);
        EXPECT_STREQ(e.what(), "Failed to unlock memory bank: 7: writing 85 and got answer 84)");
    }

    // Through the bank: the status, and no data byte written.
    dali.sent.clear();
    dali.responder = nullptr;
    EXPECT_EQ(bank.writeMemoryBlock(0x05, 1, 9, {0xAB}).status, -42);
    EXPECT_EQ(dali.journal().last(), "C7 55 ?");
    dali.sent.clear();
    dali.answerQueries({Outcome::answer(0x54)});
    EXPECT_EQ(bank.writeMemoryBlock(0x05, 1, 9, {0xAB}).status, -43);
    EXPECT_EQ(dali.journal().last(), "C7 55 ?");
}

TEST_F(MemoryBankFixture, AWrongEchoStopsTheWrite)
{
    dali.answerQueries({Outcome::answer(0x55), Outcome::answer(0x01), Outcome::answer(0x00)});
    const auto result = bank.writeMemoryBlock(0x05, 1, 9, {0x01, 0x02, 0x03});
    EXPECT_EQ(result.status, -43);
    EXPECT_EQ(dali.journal().mid(5), (QStringList {"C7 01 ?", "C7 02 ?"}));

    dali.answerQueries({Outcome::answer(0x55)});
    EXPECT_EQ(bank.writeMemoryBlock(0x05, 1, 9, {0x01}).status, -42);
}

// A memory-location frame in doubt (another master's frame beside ours, or one
// that moved the gear's pointer after we selected the location): the gear's
// pointer is no longer where the block expects it. A read starts again from
// selecting the location, three starts at most; a lock-byte write is done
// again (it selects its own location); a data write fails, naming the location.
TEST_F(MemoryBankFixture, AFrameInDoubtStartsTheReadAgainFromTheLocation)
{
    const Outcome doubt = Outcome::failure(core::ITF_ERR_PACKET_NOT_ANSWER);
    dali.answerQueries({Outcome::answer(1), doubt, Outcome::answer(1), Outcome::answer(2)});
    auto result = bank.readMemoryBlock(0x01, 1, 3, 2, false);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.bytes, (Bytes {1, 2}));
    EXPECT_EQ(dali.journal(),
        (QStringList {"C3 01", "A3 03", "01 C5 ?", "01 C5 ?", "C3 01", "A3 03", "01 C5 ?", "01 C5 ?"}));

    dali.sent.clear();
    dali.answerQueries({Outcome::answer(1), doubt, Outcome::answer(1), doubt, Outcome::answer(1), doubt});
    result = bank.readMemoryBlock(0x01, 1, 3, 2, false);
    EXPECT_EQ(result.status, core::ITF_ERR_TOO_MANY_RETRIES);
    EXPECT_TRUE(result.bytes.empty());
    EXPECT_EQ(result.doubt,
        "reading bank 1, location 4 was in doubt 3 times: its answer may be another location's");
    EXPECT_EQ(dali.journal().count("A3 03"), 3);

    // The latch of an energy bank is written again; other failures are not retried.
    dali.sent.clear();
    dali.answerQueries(
        {doubt, Outcome::answer(0xAA), Outcome::answer(7), Outcome::answer(8), Outcome::answer(0xFF)});
    result = bank.readMemoryBlock(0x07, 202, 5, 2, false);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.bytes, (Bytes {7, 8}));
    EXPECT_EQ(dali.journal().count("C7 AA ?"), 2);
    dali.sent.clear();
    dali.answerQueries({Outcome::answer(1), Outcome::failure(core::ITF_ERR_TOO_MANY_RETRIES)});
    EXPECT_EQ(bank.readMemoryBlock(0x01, 1, 3, 2, false).status, core::ITF_ERR_TOO_MANY_RETRIES);
    EXPECT_EQ(dali.journal().count("A3 03"), 1);
}

// A latched read of an energy bank that goes in doubt: another master's
// traffic may have released the latch as well as moved the pointer, so the
// read starts again from writing the latch; and whatever ends a read that may
// have latched the bank, the bank is released (a latch left standing freezes
// the values for every master). Only a latch the gear plainly did not take
// (no answer) is not released.
struct LatchedDoubtCase
{
    const char* name;
    std::vector<int> answers; // of the awaited frames in turn: a byte, -1 nothing, -2 in doubt
    int status;
    Bytes bytes;
    QStringList journalEnd; // the frames at the end of the journal
    int latches;            // "C7 AA ?" frames
};

class LatchedDoubt : public MemoryBankFixture, public ::testing::WithParamInterface<LatchedDoubtCase>
{
};

TEST_P(LatchedDoubt, StartsAgainFromTheLatchAndAlwaysReleasesIt)
{
    const LatchedDoubtCase& c = GetParam();
    std::vector<Outcome> outcomes;
    for (int a : c.answers)
        outcomes.push_back(a == -2 ? Outcome::failure(core::ITF_ERR_PACKET_NOT_ANSWER)
                : a == -1          ? Outcome::silence()
                                   : Outcome::answer(std::uint8_t(a)));
    dali.answerQueries(outcomes);
    const auto result = bank.readMemoryBlock(0x07, 202, 5, 2, false);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.bytes, c.bytes);
    const QStringList journal = dali.journal();
    EXPECT_EQ(journal.mid(journal.size() - c.journalEnd.size()), c.journalEnd);
    EXPECT_EQ(journal.count("C7 AA ?"), c.latches);
}

const QStringList kLatchThenRead {"C3 CA", "A3 02", "07 81 x2", "C7 AA ?", "C3 CA", "A3 05", "07 C5 ?"};
const QStringList kRelease {"C3 CA", "A3 02", "07 81 x2", "C7 FF ?"};

INSTANTIATE_TEST_SUITE_P(EnergyBank, LatchedDoubt,
    ::testing::Values(
        // The second byte in doubt: latch, location and both bytes again.
        LatchedDoubtCase {"read_in_doubt_starts_from_the_latch", {0xAA, 7, -2, 0xAA, 7, 8, 0xFF}, 0, {7, 8},
            QStringList {"07 C5 ?", "07 C5 ?"} + kLatchThenRead + QStringList {"07 C5 ?"} + kRelease, 2},
        LatchedDoubtCase {"read_in_doubt_three_times", {0xAA, -2, 0xAA, -2, 0xAA, -2, 0xFF},
            core::ITF_ERR_TOO_MANY_RETRIES, {}, QStringList {"07 C5 ?"} + kRelease, 3},
        LatchedDoubtCase {"latch_in_doubt_three_times", {-2, -2, -2, 0xFF}, core::ITF_ERR_TOO_MANY_RETRIES,
            {}, QStringList {"C7 AA ?"} + kRelease, 3},
        LatchedDoubtCase {"latch_answered_wrong", {0x55, 0xFF}, DaliException::WrongAnswer, {},
            QStringList {"C7 AA ?"} + kRelease, 1},
        LatchedDoubtCase {
            "latch_unanswered", {-1}, DaliException::NoAnswer, {}, QStringList {"07 81 x2", "C7 AA ?"}, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MemoryBankFixture, AWriteInDoubtFailsNamingTheLocation)
{
    const Outcome doubt = Outcome::failure(core::ITF_ERR_PACKET_NOT_ANSWER);
    // The unlock is done again; the second data byte went in doubt.
    dali.answerQueries({doubt, Outcome::answer(0x55), Outcome::answer(0x01), doubt});
    const auto result = bank.writeMemoryBlock(0x05, 1, 9, {0x01, 0x02, 0x03});
    EXPECT_EQ(result.status, core::ITF_ERR_PACKET_NOT_ANSWER);
    EXPECT_EQ(
        result.doubt, "writing bank 1, location 10 was in doubt: the byte may have gone to another location");
    EXPECT_EQ(dali.journal(),
        (QStringList {"C3 01", "A3 02", "05 81 x2", "C7 55 ?", "C3 01", "A3 02", "05 81 x2", "C7 55 ?",
            "A3 09", "C7 01 ?", "C7 02 ?"}));
}

} // namespace
