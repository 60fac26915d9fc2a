#include "log_capture.h"
#include "packet_bytes.h"

#include "core/itf_error.h"
#include "protocol/dmx/rdm_packet.h"
#include "protocol/dmx/rdm_status_message.h"

#include <gtest/gtest.h>

#include <vector>

using tarvesk::proto::RdmPacket;
using tarvesk::proto::RdmStatusMessage;
namespace proto = tarvesk::proto;
namespace core = tarvesk::core;

namespace {

using tarvesk::test::Bytes;
using tarvesk::test::bytesOf;

RdmPacket packetOf(const Bytes& bytes)
{
    std::vector<unsigned char> raw(bytes.cbegin(), bytes.cend());
    return RdmPacket(raw.data(), int(raw.size()));
}

// ANSI E1.20: the checksum is the 16-bit sum of every byte from the start code
// through the last parameter data byte, sent high byte first.
Bytes withE120Checksum(Bytes message)
{
    unsigned sum = 0;
    for (int b : message)
        sum += unsigned(b);
    message.push_back(int((sum >> 8) & 0xFF));
    message.push_back(int(sum & 0xFF));
    return message;
}

// An E1.20 message laid out field by field, independently of the packet class.
Bytes e120Message(int commandClass, int pid, int responseType, const Bytes& data,
    const Bytes& destination = {0x7E, 0x2B, 0x00, 0x00, 0x00, 0x01},
    const Bytes& source = {0x7E, 0x2B, 0x00, 0x00, 0x00, 0x42})
{
    Bytes m = {0xCC, 0x01, int(24 + data.size())};
    m.insert(m.end(), destination.begin(), destination.end());
    m.insert(m.end(), source.begin(), source.end());
    m.push_back(0x05);         // transaction number
    m.push_back(responseType); // port id / response type
    m.push_back(0x00);         // message count
    m.push_back(0x00);
    m.push_back(0x00); // sub-device
    m.push_back(commandClass);
    m.push_back(pid >> 8);
    m.push_back(pid & 0xFF);
    m.push_back(int(data.size()));
    m.insert(m.end(), data.begin(), data.end());
    return withE120Checksum(m);
}

// ANSI E1.20 discovery response: preamble, separator, each EUID byte as
// (b | 0xAA, b | 0x55), then the checksum of the 12 encoded bytes, encoded alike.
Bytes e120DiscoveryResponse(const Bytes& uid, int preamble)
{
    Bytes r(size_t(preamble), 0xFE);
    r.push_back(0xAA);
    unsigned sum = 0;
    for (int b : uid) {
        r.push_back(b | 0xAA);
        r.push_back(b | 0x55);
        sum += unsigned(b | 0xAA) + unsigned(b | 0x55);
    }
    for (int b : {int((sum >> 8) & 0xFF), int(sum & 0xFF)}) {
        r.push_back(b | 0xAA);
        r.push_back(b | 0x55);
    }
    return r;
}

const Bytes kBroadcast = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
const Bytes kNoUid = {0, 0, 0, 0, 0, 0};

struct PidCase
{
    int pid;
    int commandClass;
    Bytes data;
};

class RdmFromPid : public ::testing::TestWithParam<PidCase>
{
};

TEST_P(RdmFromPid, BuildsTheWholeBroadcastRequest)
{
    const PidCase& c = GetParam();
    RdmPacket p;
    ASSERT_TRUE(p.fromPid(quint16(c.pid)));
    Bytes header = {0xCC, 0x01, int(24 + c.data.size())};
    header.insert(header.end(), kBroadcast.begin(), kBroadcast.end());
    header.insert(header.end(), kNoUid.begin(), kNoUid.end());
    for (int b : {0, 0, 0, 0, 0, c.commandClass, c.pid >> 8, c.pid & 0xFF, int(c.data.size())})
        header.push_back(b);
    header.insert(header.end(), c.data.begin(), c.data.end());
    EXPECT_EQ(bytesOf(p), withE120Checksum(header));
    EXPECT_TRUE(p.checksum_isValid());
    EXPECT_EQ(p.getPid(), c.pid);
}

INSTANTIATE_TEST_SUITE_P(RdmPacket, RdmFromPid,
    ::testing::Values(PidCase {0x0001, 0x10, {0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        PidCase {0x0002, 0x10, {}}, PidCase {0x0003, 0x10, {}}, PidCase {0x0060, 0x20, {}},
        PidCase {0x0080, 0x20, {}}, PidCase {0x0081, 0x20, {}}, PidCase {0x0082, 0x20, {}},
        PidCase {0x0200, 0x20, {0}}, PidCase {0x0201, 0x20, {0}}, PidCase {0x80D0, 0x20, {0, 0}}));

TEST(RdmPacket, DeviceInfoRequestBytes)
{
    RdmPacket p;
    ASSERT_TRUE(p.fromPid(0x0060));
    EXPECT_EQ(p.getHexString(),
        "CC0118FFFFFFFFFFFF0000000000000000000000200060"
        "00075F");
    EXPECT_EQ(p.getDataSize(), 26);
}

TEST(RdmPacket, FromPidRefusesAnUnknownPidAndLeavesNoStaleRequest)
{
    RdmPacket p;
    ASSERT_TRUE(p.fromPid(0x0060));
    EXPECT_FALSE(p.fromPid(0x1000));
    EXPECT_EQ(p.getDataSize(), 0);
}

TEST(RdmPacket, SetUidTakesBothTextFormsAndRecalculatesTheChecksum)
{
    for (const QString& text : {QStringLiteral("7e2b00000042"), QStringLiteral("7E2B:00000042")}) {
        RdmPacket p;
        ASSERT_TRUE(p.fromPid(0x0060));
        ASSERT_TRUE(p.setTargetUid(text)) << text.toStdString();
        Bytes expected = {0xCC, 0x01, 0x18, 0x7E, 0x2B, 0x00, 0x00, 0x00, 0x42};
        expected.insert(expected.end(), kNoUid.begin(), kNoUid.end());
        for (int b : {0, 0, 0, 0, 0, 0x20, 0x00, 0x60, 0x00})
            expected.push_back(b);
        EXPECT_EQ(bytesOf(p), withE120Checksum(expected));
        EXPECT_EQ(p.getUidString(RdmPacket::DestinationUidOffset), "7e2b:00000042");
    }
}

TEST(RdmPacket, GetUidStringIsAcceptedBackBySetUid)
{
    RdmPacket p;
    ASSERT_TRUE(p.fromPid(0x0082));
    ASSERT_TRUE(p.setSourceUid("abcd:0123fedc"));
    const QString text = p.getUidString(RdmPacket::SourceUidOffset);
    EXPECT_EQ(text, "abcd:0123fedc");
    EXPECT_TRUE(p.setTargetUid(text));
    EXPECT_EQ(p.getUidString(RdmPacket::DestinationUidOffset), text);
}

TEST(RdmPacket, AnInvalidUidFailsTheRequestInsteadOfLeavingItBroadcast)
{
    for (const QString& text :
        {QStringLiteral("7e2b"), QStringLiteral("7e2b000000420"), QStringLiteral("7e2b0000004g"),
            QStringLiteral("7e2b0:0000042"), QStringLiteral("7e2b::00000042"), QString()}) {
        RdmPacket p;
        ASSERT_TRUE(p.fromPid(0x0060));
        tarvesk::test::LogCapture capture;
        EXPECT_FALSE(p.setTargetUid(text)) << text.toStdString();
        EXPECT_EQ(p.getDataSize(), 0) << text.toStdString();
        EXPECT_TRUE(capture.hasWarningContaining("Invalid uid length"));
    }
}

struct DiscoveryCase
{
    const char* name;
    Bytes bytes;
    int status;
    QString uid;
};

class RdmDecodeUid : public ::testing::TestWithParam<DiscoveryCase>
{
};

TEST_P(RdmDecodeUid, DecodesOrNamesTheFault)
{
    const DiscoveryCase& c = GetParam();
    RdmPacket p = packetOf(c.bytes);
    QString uid = QStringLiteral("stale");
    EXPECT_EQ(p.decodeUid(uid), c.status);
    EXPECT_EQ(uid, c.uid);
}

Bytes corrupted(Bytes b, size_t at, int value)
{
    b[at] = value;
    return b;
}

Bytes orOf(const Bytes& a, const Bytes& b)
{
    Bytes r = a;
    for (size_t i = 0; i < r.size(); ++i)
        r[i] |= b[i];
    return r;
}

const Bytes kUid = {0x7E, 0x2B, 0x00, 0x00, 0x00, 0x42};
const Bytes kOtherUid = {0x7E, 0x2B, 0x12, 0x34, 0x56, 0x78};

INSTANTIATE_TEST_SUITE_P(RdmPacket, RdmDecodeUid,
    ::testing::Values(DiscoveryCase {"seven_preamble", e120DiscoveryResponse(kUid, 7), 0, "7e2b:00000042"},
        DiscoveryCase {"no_preamble", e120DiscoveryResponse(kOtherUid, 0), 0, "7e2b:12345678"},
        DiscoveryCase {"three_preamble", e120DiscoveryResponse({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}, 3), 0,
            "ffff:fffffffe"},
        DiscoveryCase {"trailing_bytes",
            [] {
                Bytes b = e120DiscoveryResponse(kUid, 7);
                b.push_back(0x00);
                return b;
            }(),
            0, "7e2b:00000042"},
        DiscoveryCase {
            "eight_preamble", e120DiscoveryResponse(kUid, 8), RdmPacket::ErrMalformedDiscoveryResponse, ""},
        DiscoveryCase {"no_separator", corrupted(e120DiscoveryResponse(kUid, 7), 7, 0xFE),
            RdmPacket::ErrMalformedDiscoveryResponse, ""},
        DiscoveryCase {"truncated",
            [] {
                Bytes b = e120DiscoveryResponse(kUid, 7);
                b.pop_back();
                return b;
            }(),
            RdmPacket::ErrMalformedDiscoveryResponse, ""},
        DiscoveryCase {"empty", {}, RdmPacket::ErrMalformedDiscoveryResponse, ""},
        DiscoveryCase {"bad_checksum", corrupted(e120DiscoveryResponse(kUid, 7), 23, 0x55),
            core::ITF_ERR_PACKET_CHECKSUM, ""},
        DiscoveryCase {"encoding_violated", corrupted(e120DiscoveryResponse(kUid, 7), 8, 0x00),
            RdmPacket::ErrMalformedDiscoveryResponse, ""},
        DiscoveryCase {"collision", orOf(e120DiscoveryResponse(kUid, 7), e120DiscoveryResponse(kOtherUid, 7)),
            core::ITF_ERR_PACKET_CHECKSUM, ""}),
    [](const auto& info) { return std::string(info.param.name); });

const Bytes kDeviceInfoData = {0x01, 0x00, 0x12, 0x34, 0x05, 0x09, 0x00, 0x01, 0x02, 0x03, 0x00, 0x04, 0x02,
    0x05, 0x00, 0x21, 0x00, 0x03, 0x07};

struct AnswerCase
{
    const char* name;
    Bytes bytes;
    int ignore;
    int status;
};

class RdmAnswer : public ::testing::TestWithParam<AnswerCase>
{
};

TEST_P(RdmAnswer, IsValidatedField)
{
    const AnswerCase& c = GetParam();
    RdmPacket p = packetOf(c.bytes);
    EXPECT_EQ(p.answer_isValid(proto::PacketCheckIgnore(c.ignore)), c.status);
}

Bytes ack(const Bytes& data = kDeviceInfoData)
{
    return e120Message(0x21, 0x0060, 0x00, data);
}

// The acknowledgement without its checksum, to be corrupted and summed again.
Bytes ackBody()
{
    Bytes b = ack();
    b.resize(b.size() - 2);
    return b;
}

INSTANTIATE_TEST_SUITE_P(RdmPacket, RdmAnswer,
    ::testing::Values(AnswerCase {"ack", ack(), 0, 0},
        AnswerCase {"nack_is_a_valid_answer", e120Message(0x21, 0x0060, 0x02, {0x00, 0x05}), 0, 0},
        AnswerCase {"bad_checksum", corrupted(ack(), 44, 0x00), 0, core::ITF_ERR_PACKET_CHECKSUM},
        AnswerCase {"bad_checksum_ignored", corrupted(ack(), 44, 0x00), proto::CHECK_IGNORE_CHECKSUM, 0},
        AnswerCase {"bad_sub_start_code", withE120Checksum(corrupted(ackBody(), 1, 0x02)), 0,
            core::ITF_ERR_PACKET_STARTCODE},
        AnswerCase {"bad_start_code", withE120Checksum(corrupted(ackBody(), 0, 0xCD)), 0,
            core::ITF_ERR_PACKET_STARTCODE},
        AnswerCase {"message_length_too_long", withE120Checksum(corrupted(ackBody(), 2, 24 + 20)), 0,
            core::ITF_ERR_PACKET_LENGTH},
        AnswerCase {"data_length_beyond_message", withE120Checksum(corrupted(ackBody(), 23, 40)), 0,
            core::ITF_ERR_PACKET_LENGTH},
        AnswerCase {"too_short", {0xCC, 0x01, 0x18}, 0, core::ITF_ERR_PACKET_LENGTH},
        AnswerCase {
            "request_not_answer", e120Message(0x20, 0x0060, 0x00, {}), 0, core::ITF_ERR_PACKET_NOT_ANSWER},
        AnswerCase {"request_direction_ignored", e120Message(0x20, 0x0060, 0x00, {}),
            proto::CHECK_IGNORE_DIRECTION, 0},
        AnswerCase {"unknown_response_type", e120Message(0x21, 0x0060, 0x07, kDeviceInfoData), 0,
            core::ITF_ERR_PACKET_FRAME}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RdmPacket, DecodesDeviceInfoOfAnAck)
{
    const RdmPacket p = packetOf(ack());
    const std::optional<RdmPacket::DeviceInfo> info = p.getDeviceInfo();
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->protocolVersion, 0x0100);
    EXPECT_EQ(info->deviceModelId, 0x1234);
    EXPECT_EQ(info->productCategory, 0x0509);
    EXPECT_EQ(info->softwareVersion, 0x00010203u);
    EXPECT_EQ(info->dmxFootprint, 4);
    EXPECT_EQ(info->dmxPersonality, 0x0205);
    EXPECT_EQ(info->dmxStartAddress, 33);
    EXPECT_EQ(info->subDeviceCount, 3);
    EXPECT_EQ(info->sensorCount, 7);
}

TEST(RdmPacket, ANackOrABrokenAnswerIsNeverDecodedAsData)
{
    // A NACK carries its reason code, which must not be read as device info.
    EXPECT_FALSE(packetOf(e120Message(0x21, 0x0060, 0x02, kDeviceInfoData)).getDeviceInfo());
    EXPECT_FALSE(packetOf(e120Message(0x21, 0x0060, 0x01, kDeviceInfoData)).getDeviceInfo());
    EXPECT_FALSE(packetOf(corrupted(ack(), 44, 0)).getDeviceInfo());
    EXPECT_FALSE(packetOf(e120Message(0x21, 0x0060, 0x00, {0x01, 0x00})).getDeviceInfo());
    EXPECT_FALSE(packetOf(e120Message(0x21, 0x0082, 0x00, kDeviceInfoData)).getDeviceInfo());
    EXPECT_FALSE(packetOf(e120Message(0x21, 0x0201, 0x02, {0x00, 0x05})).getSensorValue());
}

TEST(RdmPacket, DecodesSensorDefinitionAndValue)
{
    Bytes definition = {0x00, 0x01, 0x02, 0x03, 0xFF, 0x9C, 0x03, 0xE8, 0x00, 0x00, 0x00, 0x64, 0x01};
    for (char c : std::string("Temp"))
        definition.push_back(c);
    const RdmPacket d = packetOf(e120Message(0x21, 0x0200, 0x00, definition));
    const std::optional<RdmPacket::SensorDefinition> def = d.getSensorDefinition();
    ASSERT_TRUE(def.has_value());
    EXPECT_EQ(def->type, 1);
    EXPECT_EQ(def->unit, 2);
    EXPECT_EQ(def->prefix, 3);
    EXPECT_EQ(def->rangeMinimum, -100);
    EXPECT_EQ(def->rangeMaximum, 1000);
    EXPECT_EQ(def->normalMinimum, 0);
    EXPECT_EQ(def->normalMaximum, 100);
    EXPECT_EQ(def->recordedValueSupport, 1);
    EXPECT_EQ(def->description, "Temp");

    const RdmPacket v
        = packetOf(e120Message(0x21, 0x0201, 0x00, {0x00, 0x00, 0x2A, 0xFF, 0xF6, 0x00, 0x64, 0x00, 0x30}));
    ASSERT_TRUE(v.getSensorValue().has_value());
    EXPECT_EQ(*v.getSensorValue(), 0x0030'0064'FFF6'002Aull);
}

TEST(RdmPacket, ChecksumIsReallyChecked)
{
    RdmPacket p = packetOf(ack());
    EXPECT_TRUE(p.checksum_isValid());
    p.setByte(30, 0x99);
    EXPECT_FALSE(p.checksum_isValid());
    p.checksum_recalculate();
    EXPECT_TRUE(p.checksum_isValid());
    p.checksum_setValue(0x1234);
    EXPECT_EQ(p.checksum_getValue(), 0x1234);
}

TEST(RdmPacket, CloneKeepsFlagsAttributesAndBytes)
{
    RdmPacket p = packetOf(ack());
    p.setFlags(proto::PACKET_FLAG_TIMEOUT_EVENT);
    p.setIndex(9);
    p.calcVariables(nullptr);
    std::unique_ptr<proto::RawPacket> copy(p.clone());
    ASSERT_NE(dynamic_cast<RdmPacket*>(copy.get()), nullptr);
    EXPECT_TRUE(copy->isTimeoutEvent());
    EXPECT_EQ(copy->getIndex(), 9);
    EXPECT_EQ(bytesOf(*copy), bytesOf(p));
    EXPECT_EQ(copy->getAttribute("pid").toInt(), 0x0060);
}

TEST(RdmPacket, CommandClassesAndTypeTags)
{
    struct Row
    {
        int commandClass;
        int type;
        const char* text;
        const char* tag;
    };
    for (const Row& r : {Row {0x10, 1, "E120_DISCOVERY_COMMAND", "RDM_CMD_DISC"},
             Row {0x11, 1, "E120_DISCOVERY_COMMAND_RESPONSE", "RDM_ANS_DISC"},
             Row {0x20, 2, "E120_GET_COMMAND", "RDM_CMD_GET"},
             Row {0x21, 2, "E120_GET_COMMAND_RESPONSE", "RDM_ANS_GET"},
             Row {0x30, 3, "E120_SET_COMMAND", "RDM_CMD_SET"},
             Row {0x31, 3, "E120_SET_COMMAND_RESPONSE", "RDM_ANS_SET"},
             Row {0xFF, 4, "RDM_CMD_TYPE_UNKNOWN", "RDM_CMD_UNKN"},
             Row {0x00, 5, "RDM_CMD_TYPE_INVALID", "RDM_CMD_INV"}}) {
        const RdmPacket p = packetOf(e120Message(r.commandClass, 0x0060, 0, {}));
        EXPECT_EQ(p.getCommandType(), r.type) << r.commandClass;
        EXPECT_EQ(p.getCommandTypeString(), r.text);
        EXPECT_EQ(p.getPacketTypeIdentString(), r.tag);
    }
}

TEST(RdmPacket, PidNames)
{
    const auto nameOf = [](int pid) { return packetOf(e120Message(0x20, pid, 0, {})).getPidName(); };
    EXPECT_EQ(nameOf(0x0060), "E120_DEVICE_INFO");
    EXPECT_EQ(nameOf(0x0002), "E120_DISC_MUTE");
    EXPECT_EQ(nameOf(0x1031), "E120_PRESET_PLAYBACK");
    EXPECT_EQ(nameOf(0x0343), "E137_1_CURVE");
    EXPECT_EQ(nameOf(0x0641), "E137_1_LOCK_STATE");
    EXPECT_EQ(nameOf(0x80D0), "");
}

TEST(RdmPacket, AttributesAndDescription)
{
    RdmPacket p = packetOf(ack());
    p.calcVariables(nullptr);
    EXPECT_EQ(p.getAttribute("rdm_startcode").toInt(), 0xCC);
    EXPECT_EQ(p.getAttribute("command_class").toInt(), 0x21);
    EXPECT_TRUE(p.getAttribute("packet_checksum_valid").toBool());
    EXPECT_EQ(p.getAttribute("target_uid").toString(), "7e2b:00000001");
    EXPECT_EQ(p.getAttribute("source_uid").toString(), "7e2b:00000042");
    EXPECT_EQ(p.getAttribute("message_length").toInt(), 43);
    EXPECT_EQ(p.getAttribute("transaction_number").toInt(), 5);
    EXPECT_EQ(p.getAttribute("parameter_data_length").toInt(), 19);
    EXPECT_EQ(p.getAttribute("pid").toInt(), 0x0060);
    EXPECT_TRUE(p.hasAttribute("timestamp"));
    EXPECT_EQ(p.getPacketInformation(nullptr), "7e2b:00000001  E120_DEVICE_INFO");

    // Status messages: the first one is described.
    RdmPacket s
        = packetOf(e120Message(0x21, 0x0030, 0, {0x00, 0x00, 0x03, 0x80, 0x06, 0x00, 0xF0, 0x00, 0x03}));
    EXPECT_EQ(s.getPacketInformation(nullptr),
        "7e2b:00000001  E120_STATUS_MESSAGES  WARNING\t0\tPing 3 Min volt: 240");
}

struct StatusCase
{
    int type;
    int id;
    int value1;
    int value2;
    QString text;
};

TEST(RdmStatusMessage, Texts)
{
    for (const StatusCase& c : {StatusCase {0x02, 0x8000, 1, 2, "ADVISORY\t7\tLED open 1 short 2"},
             StatusCase {0x03, 0x8001, 850, 0, "WARNING\t7\tOver temp: act 850 dC"},
             StatusCase {0x04, 0x8003, 11, 0, "ERROR\t7\tVsup fail: act 11 V"},
             StatusCase {0x12, 0x8004, 3, 4, "ADVISORY CLEARED\t7\tExt I/F: 3 4"},
             StatusCase {0x13, 0x8005, 5, 6, "WARNING CLEARED\t7\tComm fail: 5 6"},
             StatusCase {0x14, 0x8006, 66, 1, "ERROR CLEARED\t7\tPing 1 UIDLSB: 66"},
             StatusCase {0x00, 0x8006, 70, 2, "NONE\t7\tPing 2 Max temp: 70"},
             StatusCase {0x01, 0x8006, 240, 3, "GET LAST MESSAGE\t7\tPing 3 Min volt: 240"},
             StatusCase {0x02, 0x8006, 9, 4, "ADVISORY\t7\tPing 4 Undefined: 9"},
             StatusCase {0x02, 0x8007, 12, 0, "ADVISORY\t7\tChain interrupted, required 12"},
             StatusCase {0x09, 0x0001, 65535, 2, "UNKNOWN\t7\tStatus ID: 1 Val1: 65535 Val2:2"}}) {
        const unsigned char raw[] = {0x00, 0x07, quint8(c.type), quint8(c.id >> 8), quint8(c.id),
            quint8(c.value1 >> 8), quint8(c.value1), quint8(c.value2 >> 8), quint8(c.value2)};
        std::unique_ptr<RdmStatusMessage> m(RdmStatusMessage::fromData(raw, sizeof raw));
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->getPacketInformation(nullptr), c.text);
    }
    const unsigned char shortMessage[] = {0, 0, 0};
    EXPECT_EQ(RdmStatusMessage::fromData(shortMessage, 3), nullptr);
}

} // namespace
