#include "scripted_dali_interface.h"

#include "log_capture.h"

#include <gtest/gtest.h>

using tarvesk::test::LogCapture;
using tarvesk::test::ScriptedDaliInterface;
using Outcome = ScriptedDaliInterface::Outcome;
namespace core = tarvesk::core;
namespace proto = tarvesk::proto;

namespace {

TEST(DaliInterface, SetpointIsUnsupportedAndSendsNothing)
{
    ScriptedDaliInterface dali;
    EXPECT_EQ(dali.sendSetpoint({1, 2, 3}, core::ITF_RES_BYTE, 0), core::ITF_ERR_UNSUPPORTED_FEATURE);
    EXPECT_TRUE(dali.sent.empty());
    EXPECT_EQ(dali.getInterfaceType(), core::ITF_TYPE_DALI);
}

TEST(DaliInterface, CommandAwaitsNoAnswerAndLeavesTheAnswerByte)
{
    ScriptedDaliInterface dali;
    dali.responder = [](const auto&) { return Outcome::answer(0x42); };
    unsigned char answer = 0x77;
    EXPECT_EQ(dali.sendCommand(0x03, 0x05, &answer), 0);
    EXPECT_EQ(answer, 0x77);
    EXPECT_EQ(dali.getLastAnswer(), 0);
    EXPECT_EQ(dali.journal(), QStringList {"03 05"});
}

TEST(DaliInterface, EveryFrameGoesOutWithTheTimingDefaults)
{
    ScriptedDaliInterface dali;
    proto::Options options;
    options.addOption("answer_timeout", 99.0);
    options.addOption("settling_time", 1.0);
    options.addOption("stopbit_time", 7.0);
    dali._sendCommand(0x01, 0x90, &options, nullptr);
    dali._specialCommand(0xA3, 0x10, &options, nullptr);
    dali._sendCommand(0x01, 0x90, nullptr, nullptr); // no option set at all
    ASSERT_EQ(dali.sent.size(), 3u);
    for (const auto& s : dali.sent) {
        EXPECT_DOUBLE_EQ(s.settling, 15.0);
        EXPECT_DOUBLE_EQ(s.answerTimeout, 13.4);
        EXPECT_DOUBLE_EQ(s.stopbit, 1.664);
    }
    EXPECT_DOUBLE_EQ(options.getOption("answer_timeout").toDouble(), 13.4);
}

// What a query makes of each kind of reply; both query senders agree.
struct ReplyCase
{
    const char* name;
    Outcome outcome;
    int status;
    bool stored; // the byte became the answer and the last answer
};

class DaliQueryReply : public ::testing::TestWithParam<ReplyCase>
{
};

TEST_P(DaliQueryReply, StatusAndAnswer)
{
    const ReplyCase& c = GetParam();
    for (bool special : {false, true}) {
        SCOPED_TRACE(special ? "querySpecialCommand" : "queryCommand");
        ScriptedDaliInterface dali;
        dali.answerQueries({Outcome::answer(0x11), c.outcome});
        unsigned char answer = 0;
        ASSERT_EQ(dali.queryCommand(0x01, 0xA0, &answer), 0);
        answer = 0xEE;
        const int status = special ? dali.querySpecialCommand(0xBB, 0x00, &answer)
                                   : dali.queryCommand(0x01, 0xA0, &answer);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(answer, c.stored ? 0x5A : 0xEE);
        EXPECT_EQ(dali.getLastAnswer(), c.stored ? 0x5A : 0x11);
    }
}

INSTANTIATE_TEST_SUITE_P(Replies, DaliQueryReply,
    ::testing::Values(ReplyCase {"answer", Outcome::answer(0x5A), 0, true},
        ReplyCase {"nobody_answered", Outcome::silence(), core::ITF_ERR_NO_REPLY, false},
        ReplyCase {"no_reply_packet", Outcome {}, core::ITF_ERR_NO_REPLY, false},
        // Several gear at once: a collision, never a data byte.
        ReplyCase {"collision_empty", Outcome::collision(), core::ITF_ERR_PACKET_FRAME, false},
        ReplyCase {"collision_decoded", Outcome::collision(0x5A), core::ITF_ERR_PACKET_FRAME, false},
        // Not exactly one byte: no answer, never whatever the buffer held.
        ReplyCase {"two_bytes", Outcome::frame({0x5A, 0x01}), core::ITF_ERR_NO_REPLY, false},
        ReplyCase {"send_failed", Outcome::failure(core::ITF_ERR_TRANSFER), core::ITF_ERR_TRANSFER, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DaliInterface, QueriesSetTheirOptions)
{
    ScriptedDaliInterface dali;
    dali.queryCommand(0x01, 0x91, nullptr, true);
    dali.querySpecialCommand(0xA9, 0x00);
    dali.specialCommand(0xA3, 0x01);
    ASSERT_EQ(dali.sent.size(), 3u);
    EXPECT_TRUE(dali.sent[0].expectAnswer && dali.sent[0].moduleCheck);
    EXPECT_TRUE(dali.sent[1].expectAnswer && !dali.sent[1].moduleCheck);
    EXPECT_FALSE(dali.sent[2].expectAnswer);
}

TEST(DaliInterface, CommandTwiceEnablesTheDeviceTypeFirst)
{
    ScriptedDaliInterface dali;
    EXPECT_EQ(dali.sendCommandTwice(0x05, 0x2A), 0);
    EXPECT_EQ(dali.sendCommandTwice(0x05, 0xE3, 6), 0);
    EXPECT_EQ(dali.journal(), (QStringList {"05 2A x2", "C1 06", "05 E3 x2"}));

    // A failing ENABLE DEVICE TYPE stops the command.
    ScriptedDaliInterface failing;
    failing.responder = [](const auto&) { return Outcome::failure(core::ITF_ERR_NO_DEVICE); };
    EXPECT_EQ(failing.sendCommandTwice(0x05, 0xE3, 6), core::ITF_ERR_NO_DEVICE);
    EXPECT_EQ(failing.journal(), QStringList {"C1 06"});
}

TEST(DaliInterface, ExtendedQueryEnablesTheDeviceType)
{
    ScriptedDaliInterface dali;
    dali.answerQueries({Outcome::answer(0x01)});
    unsigned char answer = 0;
    EXPECT_EQ(dali.queryExtendedCommand(6, 0x0B, 0xEE, &answer), 0);
    EXPECT_EQ(answer, 0x01);
    EXPECT_EQ(dali.journal(), (QStringList {"C1 06", "0B EE ?"}));

    // An answer in doubt is asked again from ENABLE DEVICE TYPE on.
    dali.sent.clear();
    dali.answerQueries({Outcome::failure(core::ITF_ERR_PACKET_NOT_ANSWER), Outcome::answer(0x02)});
    EXPECT_EQ(dali.queryExtendedCommand(6, 0x0B, 0xEE, &answer), 0);
    EXPECT_EQ(answer, 0x02);
    EXPECT_EQ(dali.journal(), (QStringList {"C1 06", "0B EE ?", "C1 06", "0B EE ?"}));
}

TEST(DaliInterface, VerifiedWriteWithDeviceType6)
{
    ScriptedDaliInterface dali;
    dali.answerQueries({Outcome::answer(0x01)});
    EXPECT_EQ(dali.setParameterWithVerify(0x0B, 0xE3, 0x01, 0xEE, 6), 0);
    EXPECT_EQ(dali.journal(), (QStringList {"A3 01", "C1 06", "0B E3 x2", "C1 06", "0B EE ?"}));
}

TEST(DaliInterface, VerifiedWriteGivesUpAfterSixAttempts)
{
    LogCapture log;
    ScriptedDaliInterface dali;
    dali.responder = [](const ScriptedDaliInterface::Sent& s) {
        return s.expectAnswer ? Outcome::answer(0x10) : Outcome::silence();
    };
    EXPECT_EQ(dali.setParameterWithVerify(0x03, 0x2A, 0xFE, 0xA1, 0), core::ITF_ERR_TOO_MANY_RETRIES);
    EXPECT_EQ(dali.sent.size(), 6u * 3u);
    EXPECT_EQ(log.count("setting DALI parameter"), 5);
    EXPECT_EQ(log.count("Retrying (5) setting DALI parameter               42"), 1);
    EXPECT_EQ(log.count(" *GLOG* Too many retries trying to set a DALI parameter"), 1);
}

TEST(DaliInterface, VerifiedWriteSucceedsInTheLastAttempt)
{
    ScriptedDaliInterface dali;
    dali.answerQueries({Outcome::answer(1), Outcome::answer(2), Outcome::answer(3), Outcome::answer(4),
        Outcome::answer(5), Outcome::answer(0xFE)});
    EXPECT_EQ(dali.setParameterWithVerify(0x03, 0x2A, 0xFE, 0xA1, 0), 0);
    EXPECT_EQ(dali.sent.size(), 18u);
}

TEST(DaliInterface, VerifiedWriteStopsOnAFailingQuery)
{
    ScriptedDaliInterface dali; // nobody answers the read-back
    EXPECT_EQ(dali.setParameterWithVerify(0x03, 0x2A, 0xFE, 0xA1, 0), core::ITF_ERR_NO_REPLY);
    EXPECT_EQ(dali.sent.size(), 3u);
}

TEST(DaliInterface, MemoryBankReadOfOneAndTwoBytes)
{
    ScriptedDaliInterface dali;
    dali.answerQueries({Outcome::answer(0x12)});
    quint16 value = 0;
    EXPECT_EQ(dali.getMemBankParam(0x03, 1, 9, true, value), 0);
    EXPECT_EQ(value, 0x12);
    EXPECT_EQ(dali.journal(), (QStringList {"C3 01", "A3 09", "03 C5 ?"}));

    dali.sent.clear();
    dali.answerQueries({Outcome::answer(0x12), Outcome::answer(0x34)});
    EXPECT_EQ(dali.getMemBankParam(0x03, 1, 9, false, value), 0);
    EXPECT_EQ(value, 0x1234);
    EXPECT_EQ(dali.journal(), (QStringList {"C3 01", "A3 09", "03 C5 ?", "03 9D ?"}));

    // A missing second byte fails and leaves the value alone.
    dali.answerQueries({Outcome::answer(0x56)});
    EXPECT_EQ(dali.getMemBankParam(0x03, 1, 9, false, value), core::ITF_ERR_NO_REPLY);
    EXPECT_EQ(value, 0x1234);

    // A location read in doubt starts again from selecting it, three times at most.
    const Outcome doubt = Outcome::failure(core::ITF_ERR_PACKET_NOT_ANSWER);
    dali.sent.clear();
    dali.answerQueries({doubt, Outcome::answer(0x78)});
    EXPECT_EQ(dali.getMemBankParam(0x03, 1, 9, true, value), 0);
    EXPECT_EQ(value, 0x78);
    EXPECT_EQ(dali.journal(), (QStringList {"C3 01", "A3 09", "03 C5 ?", "C3 01", "A3 09", "03 C5 ?"}));
    dali.answerQueries({doubt, doubt, doubt, Outcome::answer(0x9A)});
    EXPECT_EQ(dali.getMemBankParam(0x03, 1, 9, true, value), core::ITF_ERR_TOO_MANY_RETRIES);
    EXPECT_EQ(value, 0x78);
}

TEST(DaliInterface, MemoryBankWriteUnlocksThenWritesMostSignificantFirst)
{
    ScriptedDaliInterface dali;
    dali.answerQueries({Outcome::answer(0x12), Outcome::answer(0x34)});
    EXPECT_EQ(dali.setMemBankParam(0x03, 189, 5, 2, 0x1234), 0);
    EXPECT_EQ(
        dali.journal(), (QStringList {"C3 BD", "A3 02", "03 81 x2", "C7 55", "A3 05", "C7 12 ?", "C7 34 ?"}));
}

TEST(DaliInterface, MemoryBankWriteFailures)
{
    // A location that keeps another value is a failed write, and nothing more is written.
    ScriptedDaliInterface wrong;
    wrong.answerQueries({Outcome::answer(0x12), Outcome::answer(0x00)});
    EXPECT_EQ(wrong.setMemBankParam(0x03, 1, 5, 3, 0x123456), -43);
    EXPECT_EQ(wrong.journal().mid(5), (QStringList {"C7 12 ?", "C7 34 ?"}));

    ScriptedDaliInterface silent;
    EXPECT_EQ(silent.setMemBankParam(0x03, 1, 5, 1, 0x12), core::ITF_ERR_NO_REPLY);

    // 1 to 8 bytes; any other count is refused before anything goes out.
    for (int count : {0, 9, 255}) {
        ScriptedDaliInterface dali;
        EXPECT_EQ(dali.setMemBankParam(0x03, 1, 5, uchar(count), 1), core::ITF_ERR_INVALID_PARAM) << count;
        EXPECT_TRUE(dali.sent.empty());
    }
    ScriptedDaliInterface eight;
    eight.responder = [](const ScriptedDaliInterface::Sent& s) {
        return s.expectAnswer ? Outcome::answer(s.second) : Outcome::silence();
    };
    EXPECT_EQ(eight.setMemBankParam(0x03, 1, 5, 8, 0x0102030405060708ull), 0);
    EXPECT_EQ(eight.journal().mid(5).first(), "C7 01 ?");
    EXPECT_EQ(eight.journal().last(), "C7 08 ?");
}

TEST(DaliInterface, InvokableThroughTheMetaObjectSystem)
{
    tarvesk::itf::DaliInterface::initMeta();
    ScriptedDaliInterface dali;
    dali.answerQueries({Outcome::answer(0x99)});
    int status = -100;
    unsigned char answer = 0;
    ASSERT_TRUE(QMetaObject::invokeMethod(&dali, "queryCommand", Q_RETURN_ARG(int, status),
        Q_ARG(uchar, 0x01), Q_ARG(uchar, 0xA0), Q_ARG(uchar*, &answer)));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(answer, 0x99);
}

} // namespace
