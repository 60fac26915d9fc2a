#pragma once

#include "interfaces/idali.h"
#include "interfaces/setpoint_interface.h"

#include <QtGlobal>

#include <atomic>
#include <memory>

namespace tarvesk::proto {
class DaliPacket;
class Options;
struct DaliCommand;
} // namespace tarvesk::proto

namespace tarvesk::itf {

// The port to one DALI bus. Turns commands, queries, verified configuration
// writes and memory-bank accesses into DALI forward frames sent through the one
// operation that each concrete bus path implements (sendDali), and the backward
// frames into bus status codes. Never throws; the IDali bridge made here is the
// exception-throwing view used by the memory-bank machinery.
class DaliInterface : public SetpointInterface
{
    Q_OBJECT

public:
    // Timing of every frame, in milliseconds.
    static constexpr double DefaultSettlingTimeMs = 15.0;
    static constexpr double DefaultAnswerTimeoutMs = 13.4;
    static constexpr double DefaultStopbitTimeMs = 1.664;
    // Attempts of a verified configuration write.
    static constexpr int VerifyAttempts = 6;
    // Askings of a query whose answer was in doubt (ITF_ERR_PACKET_NOT_ANSWER:
    // another master's frame beside ours), each from the frames it depends on.
    static constexpr int InDoubtAttempts = 3;
    // A memory-bank value is 1 to 8 bytes.
    static constexpr int MaxMemBankByteCount = 8;

    explicit DaliInterface(core::Device* device);
    ~DaliInterface() override;

    // DALI has no set-point channel: always ITF_ERR_UNSUPPORTED_FEATURE.
    int sendSetpoint(const QList<int>& values, core::NetworkResolution resolution, int offset) override;

    // Sends one forward frame and, when the options ask for one, brings back the
    // backward frame: a new packet owned by the caller (1 byte: an answer; 0
    // bytes: nobody answered; frame-error flag: a garbled answer).
    Q_INVOKABLE virtual int sendDali(
        tarvesk::proto::DaliPacket* cmd, tarvesk::proto::DaliPacket** reply, tarvesk::proto::Options* options)
        = 0;

    // The smallest and largest frame, in bytes, that this bus path can put on
    // the wire (with fullBitbang: a bit-bang pattern with its count byte), so
    // that a sender of a client's frame can refuse one that does not fit
    // before sending. Here: whatever a packet holds.
    struct FrameSizes
    {
        int min = 1;
        int max = 0;
    };
    virtual FrameSizes frameSizes(bool fullBitbang) const;

    // A frame without an awaited answer; `answer` is never written.
    Q_INVOKABLE int sendCommand(uchar cmd, uchar value, uchar* answer = nullptr);
    // A configuration command, sent twice; ENABLE DEVICE TYPE first when a device type is given.
    Q_INVOKABLE int sendCommandTwice(uchar cmd, uchar value, uchar enableDeviceType = 0);
    // A query of the gear at `address` (the address byte of the forward frame); the answer byte goes to
    // `answer`.
    Q_INVOKABLE int queryCommand(
        uchar address, uchar command, uchar* answer = nullptr, bool moduleCheck = false);
    Q_INVOKABLE int querySpecialCommand(uchar cmd, uchar value, uchar* answer = nullptr);
    // A special command without an awaited answer.
    Q_INVOKABLE int specialCommand(uchar cmd, uchar value, uchar* answer = nullptr);
    // The data byte of the latest valid backward frame.
    Q_INVOKABLE uchar getLastAnswer() const { return _lastAnswer.load(); }
    // DTR0 = value, the command twice, then read back with verifyCommand; up to six attempts.
    Q_INVOKABLE int setParameterWithVerify(
        uchar address, uchar cmd, uchar value, uchar verifyCommand, uchar enableDeviceType);
    // Writes the byteCount (1..8) low-order bytes of value, most significant first.
    Q_INVOKABLE int setMemBankParam(
        uchar daliDeviceAddress, uchar memoryBank, uchar memAddress, uchar byteCount, quint64 value);
    // Reads one byte, or two (the second through DTR2) as a big-endian value.
    Q_INVOKABLE int getMemBankParam(
        uchar shortaddr, uchar memBank, uchar memAddr, bool res8bit, quint16& value);

    // A query of a device-type-specific (IEC 62386-2xx) command, after ENABLE DEVICE TYPE.
    int queryExtendedCommand(uchar deviceType, uchar address, uchar command, uchar* answer);

    // Writes the timing defaults into an option set, replacing earlier values.
    static void setDefaultOptions(proto::Options& options);
    // The exception-throwing view of this interface; lives no longer than it.
    std::shared_ptr<IDali> getDaliBridge() const { return _bridge; }

    // Registers "unsigned char *" for the invokable operations with an answer pointer.
    static void initMeta();

protected:
    // The two senders that every operation rests on. A null option set stands
    // for an empty one; the timing defaults are applied before the send.
    int _sendCommand(uchar cmd, uchar value, proto::Options* options, uchar* answer);
    int _specialCommand(uchar cmd, uchar value, proto::Options* options, uchar* answer);

private:
    int sendFrame(uchar first, uchar second, proto::Options* options, uchar* answer);
    // One command of the command table, exchanged as its row says: twice, with
    // an awaited answer, after ENABLE DEVICE TYPE. `target` is the address byte
    // of a standard command and the data byte of a special one.
    int exchange(const proto::DaliCommand& command, uchar target, uchar* answer = nullptr);
    int readMemBankValue(uchar shortaddr, uchar memBank, uchar memAddr, bool res8bit, quint16& value);

    // Written by whichever request thread completed the latest exchange.
    std::atomic<uchar> _lastAnswer {0};
    std::shared_ptr<IDali> _bridge;
};

} // namespace tarvesk::itf
