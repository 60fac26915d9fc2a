#include "protocol/options.h"

#include <QMetaType>

#include <utility>

#include <gtest/gtest.h>

using tarvesk::proto::Options;
namespace option = tarvesk::proto::option;

namespace {

TEST(Options, IsOptionTrueOnlyForARealBool)
{
    Options options;
    options.addOption("expect_answer", true);
    options.addOption("send_twice", false);
    options.addOption("retry_count", 5);
    options.addOption("one", 1);
    options.addOption("text", QStringLiteral("true"));
    EXPECT_TRUE(options.isOptionTrue("expect_answer"));
    EXPECT_FALSE(options.isOptionTrue("send_twice"));
    EXPECT_FALSE(options.isOptionTrue("retry_count"));
    EXPECT_FALSE(options.isOptionTrue("one"));
    EXPECT_FALSE(options.isOptionTrue("text"));
    EXPECT_FALSE(options.isOptionTrue("absent"));
}

TEST(Options, AddReplacesAndAbsentIsInvalid)
{
    Options options;
    options.addOption("answer_timeout", 3000);
    options.addOption("answer_timeout", 13.4);
    EXPECT_TRUE(options.hasOption("answer_timeout"));
    EXPECT_EQ(options.getOption("answer_timeout").toDouble(), 13.4);
    EXPECT_FALSE(options.hasOption("break_time"));
    EXPECT_FALSE(options.getOption("break_time").isValid());
    options.debugPrint();

    Options::initMeta();
    EXPECT_NE(QMetaType::type("tarvesk::proto::Options *"), QMetaType::UnknownType);
}

// Scripts and callers of the send methods spell these texts themselves.
TEST(Options, KeysKeepTheirTexts)
{
    const std::pair<QLatin1String, const char*> keys[] = {
        {option::ExpectAnswer, "expect_answer"},
        {option::SendTwice, "send_twice"},
        {option::ModuleCheck, "module_check"},
        {option::FullBitbang, "full_bitbang"},
        {option::SendToPhysicalDali, "send_to_physical_dali"},
        {option::InternalAddressing, "internal_addressing"},
        {option::RetryInvalid, "retry_invalid"},
        {option::Internal, "internal"},
        {option::BananaMode, "banana_mode"},
        {option::WaitForIdle, "wait_for_idle"},
        {option::Encryption, "encryption"},
        {option::DorvaneMaster, "dorvane_master"},
        {option::Dorvane2, "dorvane2"},
        {option::IsDorvane, "is_dorvane"},
        {option::DorvaneCorvalt, "dorvane_corvalt"},
        {option::AnswerTimeout, "answer_timeout"},
        {option::SettlingTime, "settling_time"},
        {option::StopbitTime, "stopbit_time"},
        {option::RetryCount, "retry_count"},
        {option::BreakTime, "break_time"},
    };
    Options options;
    for (const auto& [key, text] : keys) {
        EXPECT_EQ(QString(key), QString::fromLatin1(text));
        options.addOption(key, true);
        EXPECT_TRUE(options.isOptionTrue(QString::fromLatin1(text))) << text;
    }
}

} // namespace
