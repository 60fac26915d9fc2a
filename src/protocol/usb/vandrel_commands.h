#pragma once

#include <QtGlobal>

// The numbers of the Vandrel report protocol, each written here only: the
// command numbers, the reply bits, the flag bits of the requests and replies,
// and the box's time unit. The service's codecs and interfaces and the
// simulated box all read them from here, so the two ends cannot drift apart.
namespace tarvesk::proto::vandrel {

// Byte 0 of a request report.
enum Command : quint8 {
    VD_CMD_DONGLE_VERSION = 1, // legacy
    VD_CMD_LEGACY_DMX = 2,     // a whole DMX (or Wystrel) frame in one report, firmware before 13
    VD_CMD_DMX_3 = 3,          // two early DMX commands, known to the service by name only
    VD_CMD_DMX_4 = 4,
    VD_CMD_DMX_RECV_BUFFER = 5, // legacy
    VD_CMD_SET_USER_FLAGS = 6,
    VD_CMD_GET_USER_FLAGS = 7,
    VD_CMD_RESET = 8,
    VD_CMD_GET_DMX = 9,
    VD_CMD_DALI = 10,
    VD_CMD_DALI_GET_DATA = 11, // older firmware: the backward frame of the last query
    VD_CMD_DALI_STATUS = 12,   // older firmware: how far the last DALI request got
    VD_CMD_GET_PARAMETER = 13, // a firmware register
    VD_CMD_SET_PARAMETER = 14,
    VD_CMD_STATUS_UPDATE = 15,
    VD_CMD_DATA = 19,         // a DMX frame in a chain of reports, firmware 13 and later
    VD_CMD_POLL_MONITOR = 20, // the next bytes of the monitor record stream
    VD_CMD_BOOTLOADER = 23,
    VD_CMD_BOX_PARAMETER = 25, // the box's own parameters (sub-command get or set parameter)
    VD_CMD_STATUS_BLOCK = 32   // past the 5-bit command field of a reply
};

// Byte 0 of a reply: the command number and three bits.
constexpr quint8 CommandMask = 0x1F;
constexpr quint8 NotReadyBit = 0x20;
constexpr quint8 UnsupportedBit = 0x40;
constexpr quint8 ReplyBit = 0x80;

// The box's clock tick: the timing fields of a DALI request, the answer time of
// a fetched DALI backward frame and the time field of a monitor record.
constexpr double TimeUnitMs = 0.104;

// DALI request, byte 1.
constexpr quint8 DaliFullBitbang = 0x02;
constexpr quint8 DaliExtended = 0x40;
constexpr quint8 DaliSendTwice = 0x80;
// Extended DALI request, byte 3: the frame length (at most DaliExtendedMaxFrame)
// + DaliLengthMarker, + DaliExpectAnswer when the sender waits for an answer.
constexpr int DaliExtendedMaxFrame = 4;
constexpr quint8 DaliLengthMarker = 0x10;
constexpr quint8 DaliExpectAnswer = 0x20;
// Byte 1 of a not-ready reply to a DALI request.
constexpr quint8 DaliNoSupply = 1;
constexpr quint8 DaliBusy = 2;
// DALI status reply: byte 1 status bits, byte 2 progress.
constexpr quint8 DaliStatusDataReady = 0x04;
constexpr quint8 DaliStatusDone = 0x08;
constexpr quint8 DaliProgressAnswerWindowOver = 0xBD;
constexpr quint8 DaliProgressDone = 0xFF;

// Monitor poll reply, byte 1: poll again at once, or a reply without stream
// bytes; any value but PollMoreData ends a polling pass.
constexpr quint8 PollMoreData = 0;
constexpr quint8 PollNoStreamData = 3;

// DMX chain (VD_CMD_DATA): byte 1 of the first report is DmxFirstReport + the
// number of continuation reports; byte 5 holds the flags.
constexpr quint8 DmxFirstReport = 0x80;
constexpr quint8 DmxExpectAnswer = 0x04;
constexpr quint8 DmxInternal = 0x08;
constexpr quint8 DmxEncryption = 0x10;
constexpr quint8 DmxWaitForIdle = 0x20;

} // namespace tarvesk::proto::vandrel
