#include "protocol/dmx/rdm_packet.h"

#include "core/itf_error.h"
#include "log/logging_categories.h"
#include "protocol/dmx/rdm_pid_names.h"
#include "protocol/dmx/rdm_status_message.h"
#include "protocol/packet_bytes.h"

#include <QDebug>
#include <QRegularExpression>

namespace tarvesk::proto {

namespace {

constexpr int kCommandClassOffset = 20;
constexpr int kPidOffset = 21;
constexpr int kDataLengthOffset = 23;
constexpr int kUidSize = 6;
constexpr int kStatusMessageSize = 9;

constexpr quint8 kPreambleByte = 0xFE;
constexpr quint8 kSeparatorByte = 0xAA;
constexpr int kMaxPreambleBytes = 7;
constexpr int kEncodedUidSize = 12;
constexpr int kEncodedChecksumSize = 4;

struct PidRequest
{
    quint16 pid;
    quint8 commandClass;
    QByteArray parameterData;
};

// The requests that the service builds by PID.
const PidRequest* findPidRequest(quint16 pid)
{
    static const PidRequest requests[] = {
        {E120_DISC_UNIQUE_BRANCH, RdmPacket::DISCOVERY_COMMAND,
            QByteArray(6, '\0') + QByteArray(6, char(0xFF))},
        {E120_DISC_MUTE, RdmPacket::DISCOVERY_COMMAND, QByteArray()},
        {E120_DISC_UN_MUTE, RdmPacket::DISCOVERY_COMMAND, QByteArray()},
        {E120_DEVICE_INFO, RdmPacket::GET_COMMAND, QByteArray()},
        {E120_DEVICE_MODEL_DESCRIPTION, RdmPacket::GET_COMMAND, QByteArray()},
        {E120_MANUFACTURER_LABEL, RdmPacket::GET_COMMAND, QByteArray()},
        {E120_DEVICE_LABEL, RdmPacket::GET_COMMAND, QByteArray()},
        {E120_SENSOR_DEFINITION, RdmPacket::GET_COMMAND, QByteArray(1, '\0')},
        {E120_SENSOR_VALUE, RdmPacket::GET_COMMAND, QByteArray(1, '\0')},
        {0x80D0, RdmPacket::GET_COMMAND, QByteArray(2, '\0')}, // manufacturer-specific
    };
    for (const PidRequest& request : requests) {
        if (request.pid == pid)
            return &request;
    }
    return nullptr;
}

QString formatUid(const quint8 (&uid)[6])
{
    QString text;
    for (int i = 0; i < 6; ++i) {
        if (i == 2)
            text += QLatin1Char(':');
        text += QStringLiteral("%1").arg(uid[i], 2, 16, QLatin1Char('0'));
    }
    return text;
}

// The six UID bytes of "mmmmdddddddd" or "mmmm:dddddddd", or nothing.
std::optional<QByteArray> parseUid(const QString& text)
{
    static const QRegularExpression uidForm(QStringLiteral("^([0-9A-Fa-f]{4}):?([0-9A-Fa-f]{8})$"));
    const QRegularExpressionMatch match = uidForm.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    return QByteArray::fromHex((match.captured(1) + match.captured(2)).toLatin1());
}

} // namespace

RdmPacket::RdmPacket() = default;

RdmPacket::RdmPacket(const unsigned char* data, int size)
    : DmxPacket(data, size)
{ }

RdmPacket::RdmPacket(const DmxPacket* other)
{
    if (other != nullptr)
        copyFrom(other);
}

RdmPacket::RdmPacket(const RdmPacket& other)
    : DmxPacket(other)
{ }

RdmPacket* RdmPacket::fromData(const unsigned char* data, int size)
{
    if (data == nullptr || size <= 0 || data[0] != StartCode)
        return nullptr;
    return new RdmPacket(data, size);
}

bool RdmPacket::fromPid(quint16 pid)
{
    clear();
    const PidRequest* request = findPidRequest(pid);
    if (request == nullptr) {
        qWarning() << "No RDM request is known for PID" << pid;
        return false;
    }
    appendByte(StartCode);
    appendByte(SubStartCode);
    appendByte(0); // message length, written below
    for (int i = 0; i < kUidSize; ++i)
        appendByte(0xFF); // destination: broadcast until a target is set
    for (int i = 0; i < kUidSize; ++i)
        appendByte(0x00); // source
    appendByte(0);        // transaction number
    appendByte(0);        // port id
    appendByte(0);        // message count
    appendByte(0);        // sub-device, high
    appendByte(0);        // sub-device, low
    appendByte(request->commandClass);
    appendByte(quint8(pid >> 8));
    appendByte(quint8(pid & 0xFF));
    appendByte(quint8(request->parameterData.size()));
    append(request->parameterData);
    setByte(2, quint8(getDataSize()));
    appendByte(0);
    appendByte(0);
    checksum_recalculate();
    return true;
}

bool RdmPacket::setUid(int offset, const QString& uidText)
{
    const std::optional<QByteArray> uid = parseUid(uidText);
    if (!uid || offset < 0 || offset + kUidSize > MaxDataSize) {
        qCWarning(service::loggerGlog()) << GLOG_PREFIX << "Invalid uid length";
        clear();
        return false;
    }
    for (int i = 0; i < kUidSize; ++i)
        setByte(offset + i, quint8(uid->at(i)));
    checksum_recalculate();
    return true;
}

QString RdmPacket::getUidString(int offset) const
{
    quint8 uid[kUidSize];
    for (int i = 0; i < kUidSize; ++i)
        uid[i] = frameByte(*this, offset + i);
    return formatUid(uid);
}

int RdmPacket::decodeUid(QString& uidText) const
{
    uidText.clear();
    const int size = getDataSize();
    const unsigned char* bytes = getData();

    int separator = 0;
    while (separator < size && separator < kMaxPreambleBytes && bytes[separator] == kPreambleByte)
        ++separator;
    if (separator >= size || bytes[separator] != kSeparatorByte)
        return ErrMalformedDiscoveryResponse;
    const int start = separator + 1;
    if (start + kEncodedUidSize + kEncodedChecksumSize > size)
        return ErrMalformedDiscoveryResponse;

    // Each byte travels as (byte | 0xAA) followed by (byte | 0x55).
    auto decodePair = [bytes](int at, quint8& decoded) {
        const quint8 first = bytes[at];
        const quint8 second = bytes[at + 1];
        if ((first & 0xAA) != 0xAA || (second & 0x55) != 0x55)
            return false;
        decoded = first & second;
        return true;
    };

    quint8 uid[kUidSize];
    quint16 sum = 0;
    for (int i = 0; i < kUidSize; ++i) {
        quint8 decoded = 0;
        if (!decodePair(start + 2 * i, decoded))
            return ErrMalformedDiscoveryResponse;
        uid[i] = decoded;
        sum = quint16(sum + bytes[start + 2 * i] + bytes[start + 2 * i + 1]);
    }
    quint8 checksumHigh = 0;
    quint8 checksumLow = 0;
    if (!decodePair(start + kEncodedUidSize, checksumHigh)
        || !decodePair(start + kEncodedUidSize + 2, checksumLow))
        return ErrMalformedDiscoveryResponse;
    if (quint16(checksumHigh << 8 | checksumLow) != sum)
        return core::ITF_ERR_PACKET_CHECKSUM;

    uidText = formatUid(uid);
    return core::ITF_OK;
}

quint16 RdmPacket::checksum_getCalculatedValue() const
{
    quint16 sum = 0;
    for (int i = 0; i < getDataSize() - ChecksumSize; ++i)
        sum = quint16(sum + getData()[i]);
    return sum;
}

void RdmPacket::checksum_recalculate()
{
    if (getDataSize() < ChecksumSize)
        return;
    checksum_setValue(checksum_getCalculatedValue());
}

quint16 RdmPacket::checksum_getValue() const
{
    if (getDataSize() < ChecksumSize)
        return 0;
    return frameUint16(*this, getDataSize() - ChecksumSize);
}

void RdmPacket::checksum_setValue(quint16 value)
{
    if (getDataSize() < ChecksumSize)
        return;
    setByte(getDataSize() - 2, quint8(value >> 8));
    setByte(getDataSize() - 1, quint8(value & 0xFF));
}

bool RdmPacket::checksum_isValid() const
{
    return getDataSize() >= ChecksumSize && checksum_getValue() == checksum_getCalculatedValue();
}

bool RdmPacket::isResponse() const
{
    const quint8 commandClass = frameByte(*this, kCommandClassOffset);
    return commandClass == DISCOVERY_COMMAND_RESPONSE || commandClass == GET_COMMAND_RESPONSE
        || commandClass == SET_COMMAND_RESPONSE;
}

int RdmPacket::parameterDataLength() const
{
    return frameByte(*this, kDataLengthOffset);
}

RdmPacket::ResponseCheck RdmPacket::checkResponse(PacketCheckIgnore ignore) const
{
    const bool checkLength = !ignore.testFlag(CHECK_IGNORE_LENGTH);
    if (checkLength && getDataSize() < HeaderSize + ChecksumSize)
        return RESPONSE_TOO_SHORT;
    if (!ignore.testFlag(CHECK_IGNORE_STARTCODE)) {
        if (frameByte(*this, 0) != StartCode)
            return RESPONSE_BAD_START_CODE;
        if (frameByte(*this, 1) != SubStartCode)
            return RESPONSE_BAD_SUB_START_CODE;
    }
    if (checkLength) {
        const int messageLength = frameByte(*this, 2);
        if (messageLength + ChecksumSize != getDataSize()
            || HeaderSize + parameterDataLength() != messageLength)
            return RESPONSE_BAD_MESSAGE_LENGTH;
    }
    if (!ignore.testFlag(CHECK_IGNORE_DIRECTION) && !isResponse())
        return RESPONSE_NOT_A_RESPONSE;
    if (!ignore.testFlag(CHECK_IGNORE_CHECKSUM) && !checksum_isValid())
        return RESPONSE_BAD_CHECKSUM;
    if (getResponseType() > RESPONSE_TYPE_ACK_OVERFLOW)
        return RESPONSE_BAD_RESPONSE_TYPE;
    return RESPONSE_OK;
}

int RdmPacket::answer_isValid(PacketCheckIgnore ignore) const
{
    switch (checkResponse(ignore)) {
    case RESPONSE_OK:
        return core::ITF_OK;
    case RESPONSE_TOO_SHORT:
    case RESPONSE_BAD_MESSAGE_LENGTH:
        return core::ITF_ERR_PACKET_LENGTH;
    case RESPONSE_BAD_START_CODE:
    case RESPONSE_BAD_SUB_START_CODE:
        return core::ITF_ERR_PACKET_STARTCODE;
    case RESPONSE_NOT_A_RESPONSE:
        return core::ITF_ERR_PACKET_NOT_ANSWER;
    case RESPONSE_BAD_CHECKSUM:
        return core::ITF_ERR_PACKET_CHECKSUM;
    case RESPONSE_BAD_RESPONSE_TYPE:
        return core::ITF_ERR_PACKET_FRAME;
    }
    return core::ITF_ERR_PACKET_FRAME;
}

quint8 RdmPacket::getResponseType() const
{
    return frameByte(*this, 16);
}

int RdmPacket::getPid() const
{
    return frameUint16(*this, kPidOffset);
}

int RdmPacket::getCommandType() const
{
    switch (frameByte(*this, kCommandClassOffset)) {
    case DISCOVERY_COMMAND:
    case DISCOVERY_COMMAND_RESPONSE:
        return RDM_CMD_TYPE_DISCOVERY;
    case GET_COMMAND:
    case GET_COMMAND_RESPONSE:
        return RDM_CMD_TYPE_GET;
    case SET_COMMAND:
    case SET_COMMAND_RESPONSE:
        return RDM_CMD_TYPE_SET;
    case 0xFF:
        return RDM_CMD_TYPE_UNKNOWN;
    default:
        return RDM_CMD_TYPE_INVALID;
    }
}

QString RdmPacket::getCommandTypeString() const
{
    switch (frameByte(*this, kCommandClassOffset)) {
    case DISCOVERY_COMMAND:
        return QStringLiteral("E120_DISCOVERY_COMMAND");
    case DISCOVERY_COMMAND_RESPONSE:
        return QStringLiteral("E120_DISCOVERY_COMMAND_RESPONSE");
    case GET_COMMAND:
        return QStringLiteral("E120_GET_COMMAND");
    case GET_COMMAND_RESPONSE:
        return QStringLiteral("E120_GET_COMMAND_RESPONSE");
    case SET_COMMAND:
        return QStringLiteral("E120_SET_COMMAND");
    case SET_COMMAND_RESPONSE:
        return QStringLiteral("E120_SET_COMMAND_RESPONSE");
    case 0xFF:
        return QStringLiteral("RDM_CMD_TYPE_UNKNOWN");
    default:
        return QStringLiteral("RDM_CMD_TYPE_INVALID");
    }
}

QString RdmPacket::getPidName() const
{
    return rdmPidName(quint16(getPid()));
}

bool RdmPacket::isAckOf(quint16 pid, int minimumDataLength) const
{
    return checkResponse() == RESPONSE_OK && getResponseType() == RESPONSE_TYPE_ACK
        && frameByte(*this, kCommandClassOffset) == GET_COMMAND_RESPONSE && getPid() == pid
        && parameterDataLength() >= minimumDataLength;
}

std::optional<RdmPacket::DeviceInfo> RdmPacket::getDeviceInfo() const
{
    if (!isAckOf(E120_DEVICE_INFO, 19))
        return std::nullopt;
    DeviceInfo info;
    info.protocolVersion = frameUint16(*this, 24);
    info.deviceModelId = frameUint16(*this, 26);
    info.productCategory = frameUint16(*this, 28);
    info.softwareVersion = quint32(frameUint16(*this, 30)) << 16 | frameUint16(*this, 32);
    info.dmxFootprint = frameUint16(*this, 34);
    info.dmxPersonality = frameUint16(*this, 36);
    info.dmxStartAddress = frameUint16(*this, 38);
    info.subDeviceCount = frameUint16(*this, 40);
    info.sensorCount = frameByte(*this, 42);
    return info;
}

std::optional<RdmPacket::SensorDefinition> RdmPacket::getSensorDefinition() const
{
    constexpr int kDescriptionOffset = 37;
    if (!isAckOf(E120_SENSOR_DEFINITION, kDescriptionOffset - HeaderSize))
        return std::nullopt;
    SensorDefinition definition;
    definition.sensorNumber = frameByte(*this, 24);
    definition.type = frameByte(*this, 25);
    definition.unit = frameByte(*this, 26);
    definition.prefix = frameByte(*this, 27);
    definition.rangeMinimum = qint16(frameUint16(*this, 28));
    definition.rangeMaximum = qint16(frameUint16(*this, 30));
    definition.normalMinimum = qint16(frameUint16(*this, 32));
    definition.normalMaximum = qint16(frameUint16(*this, 34));
    definition.recordedValueSupport = frameByte(*this, 36);
    const int end = HeaderSize + parameterDataLength();
    definition.description = QString::fromLatin1(
        reinterpret_cast<const char*>(getData()) + kDescriptionOffset, end - kDescriptionOffset);
    return definition;
}

std::optional<quint64> RdmPacket::getSensorValue() const
{
    if (!isAckOf(E120_SENSOR_VALUE, 9))
        return std::nullopt;
    const quint64 present = frameUint16(*this, 25);
    const quint64 lowest = frameUint16(*this, 27);
    const quint64 highest = frameUint16(*this, 29);
    const quint64 recorded = frameUint16(*this, 31);
    return present | lowest << 16 | highest << 32 | recorded << 48;
}

RdmPacket* RdmPacket::clone() const
{
    return new RdmPacket(*this);
}

QString RdmPacket::getPacketTypeIdentString() const
{
    QString tag = isResponse() ? QStringLiteral("RDM_ANS") : QStringLiteral("RDM_CMD");
    switch (getCommandType()) {
    case RDM_CMD_TYPE_DISCOVERY:
        return tag + QStringLiteral("_DISC");
    case RDM_CMD_TYPE_GET:
        return tag + QStringLiteral("_GET");
    case RDM_CMD_TYPE_SET:
        return tag + QStringLiteral("_SET");
    case RDM_CMD_TYPE_UNKNOWN:
        return tag + QStringLiteral("_UNKN");
    default:
        return tag + QStringLiteral("_INV");
    }
}

QString RdmPacket::getPacketInformation(PacketLookupTables*)
{
    QString text = getUidString(DestinationUidOffset) + QStringLiteral("  ") + getPidName();
    if (getPid() == E120_STATUS_MESSAGES && parameterDataLength() >= kStatusMessageSize
        && getDataSize() >= HeaderSize + kStatusMessageSize) {
        RdmStatusMessage first(getData() + HeaderSize, kStatusMessageSize);
        text += QStringLiteral("  ") + first.getPacketInformation(nullptr);
    }
    return text;
}

void RdmPacket::calcVariables(PacketLookupTables* lookupTables)
{
    RawPacket::calcVariables(lookupTables);
    addAttribute(QStringLiteral("rdm_startcode"), int(frameByte(*this, 0)));
    addAttribute(QStringLiteral("command_class"), int(frameByte(*this, kCommandClassOffset)));
    addAttribute(QStringLiteral("packet_checksum_valid"), checksum_isValid());
    addAttribute(QStringLiteral("target_uid"), getUidString(DestinationUidOffset));
    addAttribute(QStringLiteral("source_uid"), getUidString(SourceUidOffset));
    addAttribute(QStringLiteral("message_length"), int(frameByte(*this, 2)));
    addAttribute(QStringLiteral("transaction_number"), int(frameByte(*this, 15)));
    addAttribute(QStringLiteral("parameter_data_length"), parameterDataLength());
    addAttribute(QStringLiteral("pid"), getPid());
}

} // namespace tarvesk::proto
