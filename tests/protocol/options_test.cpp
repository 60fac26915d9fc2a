#include "protocol/options.h"

#include <QMetaType>

#include <gtest/gtest.h>

using tarvesk::proto::Options;

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

} // namespace
