#include "interfaces/dali_interface.h"

#include "core/itf_error.h"
#include "interfaces/dali_exception.h"
#include "interfaces/idali_to_dali_interface_bridge.h"
#include "log/logging_categories.h"
#include "protocol/dali/dali_command_table.h"
#include "protocol/dali/dali_packet.h"
#include "protocol/options.h"

#include <QMetaType>

namespace tarvesk::itf {

namespace {

using Dali = proto::DaliCommandTable;

// The frames this interface builds on its own.
constexpr const proto::DaliCommand& Dtr0 = Dali::named("DTR0");
constexpr const proto::DaliCommand& Dtr1 = Dali::named("DTR1");
constexpr const proto::DaliCommand& EnableDeviceType = Dali::named("ENABLE DEVICE TYPE");
constexpr const proto::DaliCommand& EnableWriteMemory = Dali::named("ENABLE WRITE MEMORY");
constexpr const proto::DaliCommand& WriteMemoryLocation = Dali::named("WRITE MEMORY LOCATION");
constexpr const proto::DaliCommand& ReadMemoryLocation = Dali::named("READ MEMORY LOCATION");
constexpr const proto::DaliCommand& QueryContentDtr2 = Dali::named("QUERY CONTENT DTR2");

} // namespace

DaliInterface::DaliInterface(core::Device* device)
    : SetpointInterface(device, core::ITF_TYPE_DALI)
    , _bridge(std::make_shared<IDaliToDaliInterfaceBridge>(this))
{ }

DaliInterface::~DaliInterface() = default;

DaliInterface::FrameSizes DaliInterface::frameSizes(bool) const
{
    return {1, proto::RawPacket::MaxDataSize};
}

int DaliInterface::sendSetpoint(const QList<int>& values, core::NetworkResolution resolution, int offset)
{
    Q_UNUSED(values)
    Q_UNUSED(resolution)
    Q_UNUSED(offset)
    return core::ITF_ERR_UNSUPPORTED_FEATURE;
}

void DaliInterface::setDefaultOptions(proto::Options& options)
{
    options.addOption(proto::option::SettlingTime, DefaultSettlingTimeMs);
    options.addOption(proto::option::AnswerTimeout, DefaultAnswerTimeoutMs);
    options.addOption(proto::option::StopbitTime, DefaultStopbitTimeMs);
}

void DaliInterface::initMeta()
{
    qRegisterMetaType<unsigned char*>("unsigned char *");
}

int DaliInterface::sendFrame(uchar first, uchar second, proto::Options* options, uchar* answer)
{
    proto::Options localOptions;
    if (!options)
        options = &localOptions;
    proto::DaliPacket packet;
    packet.setCommand(first, second);
    setDefaultOptions(*options);

    proto::DaliPacket* rawReply = nullptr;
    const int status = sendDali(&packet, &rawReply, options);
    const std::unique_ptr<proto::DaliPacket> reply(rawReply);
    if (status != core::ITF_OK)
        return status;
    if (!options->isOptionTrue(proto::option::ExpectAnswer))
        return core::ITF_OK;

    if (!reply)
        return core::ITF_ERR_NO_REPLY;
    // Several gear answering at once garble the backward frame: whatever byte
    // was decoded from it is not an answer, and the caller must learn of the
    // collision rather than read a made-up value.
    if (reply->isFrameError())
        return core::ITF_ERR_PACKET_FRAME;
    // Only a frame of exactly one byte is an answer; anything else leaves the
    // caller's byte and the last answer alone.
    if (!reply->isAnswer())
        return core::ITF_ERR_NO_REPLY;
    const uchar byte = reply->getByte0();
    _lastAnswer.store(byte);
    if (answer)
        *answer = byte;
    return core::ITF_OK;
}

int DaliInterface::_sendCommand(uchar cmd, uchar value, proto::Options* options, uchar* answer)
{
    return sendFrame(cmd, value, options, answer);
}

int DaliInterface::_specialCommand(uchar cmd, uchar value, proto::Options* options, uchar* answer)
{
    return sendFrame(cmd, value, options, answer);
}

int DaliInterface::sendCommand(uchar cmd, uchar value, uchar* answer)
{
    Q_UNUSED(answer) // no answer is awaited
    proto::Options options;
    return _sendCommand(cmd, value, &options, nullptr);
}

int DaliInterface::sendCommandTwice(uchar cmd, uchar value, uchar enableDeviceType)
{
    if (enableDeviceType != 0) {
        const int status = exchange(EnableDeviceType, enableDeviceType);
        if (status != core::ITF_OK)
            return status;
    }
    proto::Options options;
    options.addOption(proto::option::SendTwice, true);
    return _sendCommand(cmd, value, &options, nullptr);
}

int DaliInterface::queryCommand(uchar address, uchar command, uchar* answer, bool moduleCheck)
{
    proto::Options options;
    options.addOption(proto::option::ExpectAnswer, true);
    options.addOption(proto::option::ModuleCheck, moduleCheck);
    return _sendCommand(address, command, &options, answer);
}

int DaliInterface::querySpecialCommand(uchar cmd, uchar value, uchar* answer)
{
    proto::Options options;
    options.addOption(proto::option::ExpectAnswer, true);
    return _specialCommand(cmd, value, &options, answer);
}

int DaliInterface::specialCommand(uchar cmd, uchar value, uchar* answer)
{
    Q_UNUSED(answer) // no answer is awaited
    proto::Options options;
    return _specialCommand(cmd, value, &options, nullptr);
}

int DaliInterface::queryExtendedCommand(uchar deviceType, uchar address, uchar command, uchar* answer)
{
    // A device type's command acts only right after ENABLE DEVICE TYPE, so an
    // answer in doubt, or a query whose enabling another master's frame used
    // up (the gear ignored it), is asked again from there on.
    for (int asking = 1;; ++asking) {
        int status = exchange(EnableDeviceType, deviceType);
        if (status == core::ITF_OK)
            status = queryCommand(address, command, answer, false);
        if (status != core::ITF_ERR_PACKET_NOT_ANSWER)
            return status;
        if (asking >= InDoubtAttempts)
            return core::ITF_ERR_TOO_MANY_RETRIES;
    }
}

int DaliInterface::exchange(const proto::DaliCommand& command, uchar target, uchar* answer)
{
    if (command.isSpecial())
        return command.expectsAnswer() ? querySpecialCommand(command.code, target, answer)
                                       : specialCommand(command.code, target);
    if (command.sendTwice())
        return sendCommandTwice(target, command.code, command.deviceType);
    if (command.expectsAnswer())
        return command.deviceType != Dali::AnyDeviceType
            ? queryExtendedCommand(command.deviceType, target, command.code, answer)
            : queryCommand(target, command.code, answer, false);
    if (command.deviceType != Dali::AnyDeviceType) {
        const int status = exchange(EnableDeviceType, command.deviceType);
        if (status != core::ITF_OK)
            return status;
    }
    return sendCommand(target, command.code);
}

int DaliInterface::setParameterWithVerify(
    uchar address, uchar cmd, uchar value, uchar verifyCommand, uchar enableDeviceType)
{
    for (int attempt = 0; attempt < VerifyAttempts; ++attempt) {
        if (attempt > 0)
            qCDebug(service::loggerGlog()).noquote()
                << QStringLiteral("Retrying (%1) setting DALI parameter %2").arg(attempt).arg(int(cmd), 16);
        exchange(Dtr0, value); // a lost DTR0 shows in the read-back
        int status = sendCommandTwice(address, cmd, enableDeviceType);
        if (status != core::ITF_OK)
            return status;
        // The enabled device type holds for one command only; the query needs
        // it again (and asks again from there when another master's frame
        // came between them).
        uchar answer = 0;
        status = enableDeviceType != 0
            ? queryExtendedCommand(enableDeviceType, address, verifyCommand, &answer)
            : queryCommand(address, verifyCommand, &answer, false);
        if (status != core::ITF_OK)
            return status;
        if (answer == value)
            return core::ITF_OK;
    }
    qCCritical(service::loggerGlog()).noquote()
        << QStringLiteral(GLOG_PREFIX "Too many retries trying to set a DALI parameter");
    return core::ITF_ERR_TOO_MANY_RETRIES;
}

int DaliInterface::setMemBankParam(
    uchar daliDeviceAddress, uchar memoryBank, uchar memAddress, uchar byteCount, quint64 value)
{
    // A value holds 1 to 8 bytes; any other count would shift past 64 bits or
    // write nothing while reporting success.
    if (byteCount < 1 || byteCount > MaxMemBankByteCount)
        return core::ITF_ERR_INVALID_PARAM;

    int status = exchange(Dtr1, memoryBank);
    if (status == core::ITF_OK)
        status = exchange(Dtr0, Dali::LockByteLocation);
    if (status == core::ITF_OK)
        status = exchange(EnableWriteMemory, daliDeviceAddress);
    // The lock byte's echo is not awaited: a bank that stayed locked shows in
    // the echo of the first data byte below.
    if (status == core::ITF_OK)
        status = specialCommand(WriteMemoryLocation.code, Dali::UnlockValue);
    if (status == core::ITF_OK)
        status = exchange(Dtr0, memAddress);
    // Each location echoes what it stored: a location that kept another value
    // (locked, read-only, missing) must not pass for a successful write.
    for (int i = 0; status == core::ITF_OK && i < byteCount; ++i) {
        const uchar byte = static_cast<uchar>(value >> (8 * (byteCount - 1 - i)));
        uchar echo = 0;
        status = exchange(WriteMemoryLocation, byte, &echo);
        if (status == core::ITF_OK && echo != byte)
            status = DaliException::WrongAnswer;
    }
    return status;
}

int DaliInterface::getMemBankParam(
    uchar shortaddr, uchar memBank, uchar memAddr, bool res8bit, quint16& value)
{
    // A location read in doubt moved the gear's pointer on: the read starts
    // again from selecting the location.
    for (int attempt = 1;; ++attempt) {
        const int status = readMemBankValue(shortaddr, memBank, memAddr, res8bit, value);
        if (status != core::ITF_ERR_PACKET_NOT_ANSWER)
            return status;
        if (attempt >= InDoubtAttempts)
            return core::ITF_ERR_TOO_MANY_RETRIES;
    }
}

int DaliInterface::readMemBankValue(
    uchar shortaddr, uchar memBank, uchar memAddr, bool res8bit, quint16& value)
{
    int status = exchange(Dtr1, memBank);
    if (status == core::ITF_OK)
        status = exchange(Dtr0, memAddr);
    uchar first = 0;
    if (status == core::ITF_OK)
        status = exchange(ReadMemoryLocation, shortaddr, &first);
    if (status != core::ITF_OK)
        return status;
    quint16 result = first;
    if (!res8bit) {
        uchar second = 0;
        status = exchange(QueryContentDtr2, shortaddr, &second);
        if (status != core::ITF_OK)
            return status;
        result = static_cast<quint16>(first * 256 + second);
    }
    value = result;
    return core::ITF_OK;
}

} // namespace tarvesk::itf
