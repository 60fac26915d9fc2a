#include "interfaces/dali_interface.h"

#include "core/itf_error.h"
#include "interfaces/dali_commands.h"
#include "interfaces/dali_exception.h"
#include "interfaces/idali_to_dali_interface_bridge.h"
#include "log/logging_categories.h"
#include "protocol/dali/dali_packet.h"
#include "protocol/options.h"

#include <QMetaType>

namespace tarvesk::itf {

using namespace dali;

DaliInterface::DaliInterface(core::Device* device)
    : SetpointInterface(device, core::ITF_TYPE_DALI)
    , _bridge(std::make_shared<IDaliToDaliInterfaceBridge>(this))
{ }

DaliInterface::~DaliInterface() = default;

int DaliInterface::sendSetpoint(const QList<int>& values, core::NetworkResolution resolution, int offset)
{
    Q_UNUSED(values)
    Q_UNUSED(resolution)
    Q_UNUSED(offset)
    return core::ITF_ERR_UNSUPPORTED_FEATURE;
}

void DaliInterface::setDefaultOptions(proto::Options& options)
{
    options.addOption(QStringLiteral("settling_time"), DefaultSettlingTimeMs);
    options.addOption(QStringLiteral("answer_timeout"), DefaultAnswerTimeoutMs);
    options.addOption(QStringLiteral("stopbit_time"), DefaultStopbitTimeMs);
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
    if (!options->isOptionTrue(QStringLiteral("expect_answer")))
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
        const int status = specialCommand(SPECIAL_ENABLE_DEVICE_TYPE, enableDeviceType);
        if (status != core::ITF_OK)
            return status;
    }
    proto::Options options;
    options.addOption(QStringLiteral("send_twice"), true);
    return _sendCommand(cmd, value, &options, nullptr);
}

int DaliInterface::queryCommand(uchar cmd, uchar value, uchar* answer, bool moduleCheck)
{
    proto::Options options;
    options.addOption(QStringLiteral("expect_answer"), true);
    options.addOption(QStringLiteral("module_check"), moduleCheck);
    return _sendCommand(cmd, value, &options, answer);
}

int DaliInterface::querySpecialCommand(uchar cmd, uchar value, uchar* answer)
{
    proto::Options options;
    options.addOption(QStringLiteral("expect_answer"), true);
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
    const int status = specialCommand(SPECIAL_ENABLE_DEVICE_TYPE, deviceType);
    if (status != core::ITF_OK)
        return status;
    return queryCommand(address, command, answer, false);
}

int DaliInterface::setParameterWithVerify(
    uchar address, uchar cmd, uchar value, uchar verifyCommand, uchar enableDeviceType)
{
    for (int attempt = 0; attempt < VerifyAttempts; ++attempt) {
        if (attempt > 0)
            qCDebug(service::loggerGlog()).noquote()
                << QStringLiteral("Retrying (%1) setting DALI parameter %2").arg(attempt).arg(int(cmd), 16);
        specialCommand(SPECIAL_DTR0, value); // a lost DTR0 shows in the read-back
        int status = sendCommandTwice(address, cmd, enableDeviceType);
        if (status != core::ITF_OK)
            return status;
        // The enabled device type holds for one command only; the query needs it again.
        if (enableDeviceType != 0)
            specialCommand(SPECIAL_ENABLE_DEVICE_TYPE, enableDeviceType);
        uchar answer = 0;
        status = queryCommand(address, verifyCommand, &answer, false);
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

    int status = specialCommand(SPECIAL_DTR1, memoryBank);
    if (status == core::ITF_OK)
        status = specialCommand(SPECIAL_DTR0, LockByteLocation);
    if (status == core::ITF_OK)
        status = sendCommandTwice(daliDeviceAddress, OPCODE_ENABLE_WRITE_MEMORY, 0);
    if (status == core::ITF_OK)
        status = specialCommand(SPECIAL_WRITE_MEMORY_LOCATION, UnlockValue);
    if (status == core::ITF_OK)
        status = specialCommand(SPECIAL_DTR0, memAddress);
    // Each location echoes what it stored: a location that kept another value
    // (locked, read-only, missing) must not pass for a successful write.
    for (int i = 0; status == core::ITF_OK && i < byteCount; ++i) {
        const uchar byte = static_cast<uchar>(value >> (8 * (byteCount - 1 - i)));
        uchar echo = 0;
        status = querySpecialCommand(SPECIAL_WRITE_MEMORY_LOCATION, byte, &echo);
        if (status == core::ITF_OK && echo != byte)
            status = DaliException::WrongAnswer;
    }
    return status;
}

int DaliInterface::getMemBankParam(
    uchar shortaddr, uchar memBank, uchar memAddr, bool res8bit, quint16& value)
{
    int status = specialCommand(SPECIAL_DTR1, memBank);
    if (status == core::ITF_OK)
        status = specialCommand(SPECIAL_DTR0, memAddr);
    uchar first = 0;
    if (status == core::ITF_OK)
        status = queryCommand(shortaddr, OPCODE_READ_MEMORY_LOCATION, &first, false);
    if (status != core::ITF_OK)
        return status;
    quint16 result = first;
    if (!res8bit) {
        uchar second = 0;
        status = queryCommand(shortaddr, OPCODE_QUERY_CONTENT_DTR2, &second, false);
        if (status != core::ITF_OK)
            return status;
        result = static_cast<quint16>(first * 256 + second);
    }
    value = result;
    return core::ITF_OK;
}

} // namespace tarvesk::itf
