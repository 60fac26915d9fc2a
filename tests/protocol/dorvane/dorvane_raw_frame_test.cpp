#include "protocol/dorvane/dorvane_raw_frame.h"

#include <gtest/gtest.h>

using namespace tarvesk::proto;

TEST(DorvaneRawFrame, RemapsThreeAndFourByteRequests)
{
    const struct
    {
        QByteArray request;
        QByteArray frame; // empty: refused
    } cases[] = {
        {QByteArray::fromHex("01020304"), QByteArray::fromHex("020b0403")},
        {QByteArray::fromHex("010203"), QByteArray::fromHex("010b0302")},
        {QByteArray::fromHex("593fe6"), QByteArray::fromHex("590be63f")},
        {QByteArray::fromHex("0102"), QByteArray()},
        {QByteArray::fromHex("0102030405"), QByteArray()},
        {QByteArray(), QByteArray()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dorvane_raw::frame(c.request).value_or(QByteArray()).toHex(), c.frame.toHex())
            << c.request.toHex().constData();
}

TEST(DorvaneRawFrame, ShortAnswerTakesBytesZeroThreeAndTwo)
{
    EXPECT_EQ(dorvane_raw::shortAnswer(QByteArray::fromHex("590b2000")).toHex(), QByteArray("590020"));
    EXPECT_EQ(dorvane_raw::shortAnswer(QByteArray::fromHex("59")).toHex(), QByteArray("590000"));
}
