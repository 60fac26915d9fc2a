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
// Frame bytes a report of the chain carries: the first report from byte 8, a
// continuation (byte 1 its number, byte 3 its count) from byte 4.
constexpr int DmxFirstReportMaxFrame = 56;
constexpr int DmxContinuationMaxFrame = 60;
constexpr int DmxMaxContinuations = 0x7F;
// Legacy DMX report (VD_CMD_LEGACY_DMX): byte 1 the frame size, the frame from
// byte 2; the reply's byte 2 the answer size, the answer from byte 3.
constexpr int LegacyDmxMaxFrame = 60;

// The host's wait for a DMX answer before the box reported time-outs itself
// (firmware before 16) and after.
constexpr int DmxAnswerWaitMs = 36;
constexpr int DmxAnswerWaitTimeoutEventsMs = 131;
// Firmware from which the DMX timing registers count in the newer units.
constexpr int NewDmxTimingFirmware = 16;

// Box parameter report (VD_CMD_BOX_PARAMETER): byte 1 the sub-command, bytes
// 7-8 the parameter number, 9-10 the value; the reply's byte 6 the result and
// bytes 7-8 the value (big-endian).
constexpr quint8 BoxParameterGet = 0x0D;
constexpr quint8 BoxParameterSet = 0x0E;
enum BoxParameterResult : quint8 {
    BoxParameterOk = 0,
    BoxParameterTimeout = 1,
    BoxParameterFrameError = 2,
    BoxParameterTransferFailed = 3,
    BoxParameterTooManyRetries = 4
};

// Bootloader report (VD_CMD_BOOTLOADER): byte 1 the function, bytes 2-3 its
// time (big-endian, in the function's unit), bytes 4-5 a fixed tail. Spam and
// status come with firmware 18; start and stop with firmware 20, which also
// counts the spam time in the finer unit.
enum BootloaderFunction : quint8 {
    BootloaderSpam = 0x01,
    BootloaderStatus = 0x02,
    BootloaderStart = 0x03,
    BootloaderStop = 0x04
};
constexpr int BootloaderSpamFirmware = 18;
constexpr int BootloaderFunctionsFirmware = 20;
constexpr int LegacySpamUnitMs = 12;
constexpr int BootloaderFunctionUnitMs = 3;
constexpr quint16 BootloaderReportTail = 0x01F4;
// Status reply: byte 2 the state of the box's wait for the bootloader, bytes
// 5-6 a count (big-endian), byte 11 1 when the driver really entered its
// bootloader, byte 12 the bootloader's remaining time-out in function units.
enum BootloaderWaitState : quint8 {
    BootloaderWaitIdle = 0,
    BootloaderWaitRunning = 1,
    BootloaderWaitAnswered = 2,
    BootloaderWaitTimedOut = 3
};

// Error codes of the box's Dorvane controller, in byte 6 of an error answer.
enum DorvaneControllerError : quint8 {
    VDERR_APPLPARAM_RANGE = 0,
    VDERR_STARTCODE = 1,
    VDERR_CHECKSUM = 2,
    VDERR_UNSUPP_CMD = 3,
    VDERR_MSTR_CL_IDX = 4,
    VDERR_MSTR_SPICMD = 5,
    VDERR_PNRANGE = 6,
    VDERR_WYSTRELOVERRUN = 7,
    VDERR_SLAVE_NOTCONNECTED = 8,
    VDERR_SLAVE_CMD_NOTRETRIEVED = 9,
    VDERR_SLAVE_NO_REPLY_RECEIVED = 10,
    VDERR_SLAVE_DATA_NOTRETRIEVED = 11,
    VDERR_DV1_HOST = 12,
    VDERR_DV2_ERROR = 13,
    VDERR_DV2_COMMAND_NOT_PLACED = 14,
    VDERR_DV2_HOST_TIMEOUT_ERROR = 15,
    VDERR_DV2_HOST_EXTRA_BYTE_RX = 16,
    VDERR_INVALID_MODE = 17
};

} // namespace tarvesk::proto::vandrel
