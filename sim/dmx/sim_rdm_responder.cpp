#include "sim_rdm_responder.h"

namespace tarvesk::sim {

namespace {

// Message layout (ANSI E1.20 6.2): start code, sub-start code, message length,
// destination UID (3..8), source UID (9..14), transaction number, port id or
// response type, message count, sub-device (18, 19), command class, PID (21,
// 22), parameter data length, data, 16-bit checksum.
constexpr quint8 StartCode = 0xCC;
constexpr quint8 SubStartCode = 0x01;
constexpr int DestinationOffset = 3;
constexpr int SourceOffset = 9;
constexpr int CommandClassOffset = 20;
constexpr int PidOffset = 21;
constexpr int DataLengthOffset = 23;
constexpr int HeaderSize = 24;
constexpr quint64 Broadcast = 0xFFFFFFFFFFFFull;

enum CommandClass : quint8 { DISCOVERY = 0x10, DISCOVERY_RESPONSE = 0x11, GET = 0x20, GET_RESPONSE = 0x21 };
enum ResponseType : quint8 { ACK = 0x00, NACK_REASON = 0x02 };
enum Pid : quint16 {
    DISC_UNIQUE_BRANCH = 0x0001,
    DISC_MUTE = 0x0002,
    DISC_UN_MUTE = 0x0003,
    DEVICE_INFO = 0x0060,
    DEVICE_MODEL_DESCRIPTION = 0x0080,
    MANUFACTURER_LABEL = 0x0081,
    DEVICE_LABEL = 0x0082,
    SENSOR_DEFINITION = 0x0200,
    SENSOR_VALUE = 0x0201
};
constexpr quint16 NR_UNKNOWN_PID = 0x0000;
constexpr quint16 NR_DATA_OUT_OF_RANGE = 0x0006;
constexpr int MaxLabel = 32;

quint8 byteAt(const QByteArray& bytes, int i)
{
    return i < bytes.size() ? quint8(bytes.at(i)) : 0;
}

quint64 uidAt(const QByteArray& bytes, int offset)
{
    quint64 uid = 0;
    for (int i = 0; i < 6; ++i)
        uid = uid << 8 | byteAt(bytes, offset + i);
    return uid;
}

void appendUid(QByteArray& bytes, quint64 uid)
{
    for (int i = 5; i >= 0; --i)
        bytes.append(char((uid >> (8 * i)) & 0xFF));
}

void append16(QByteArray& bytes, quint16 value)
{
    bytes.append(char(value >> 8));
    bytes.append(char(value & 0xFF));
}

void appendChecksum(QByteArray& bytes)
{
    quint16 sum = 0;
    for (char b : bytes)
        sum = quint16(sum + quint8(b));
    append16(bytes, sum);
}

bool checksumValid(const QByteArray& frame)
{
    if (frame.size() < HeaderSize + 2)
        return false;
    QByteArray copy = frame.left(frame.size() - 2);
    appendChecksum(copy);
    return copy == frame;
}

} // namespace

SimRdmResponder::SimRdmResponder()
    : SimRdmResponder(Config())
{ }

SimRdmResponder::SimRdmResponder(const Config& config)
    : _config(config)
{ }

SimRdmResponder::~SimRdmResponder() = default;

void SimRdmResponder::setSensorValue(int index, qint16 value)
{
    if (index >= 0 && index < _config.sensors.size())
        _config.sensors[index].value = value;
}

std::optional<QByteArray> SimRdmResponder::dmxFrame(const QByteArray& frame)
{
    if (byteAt(frame, 0) != StartCode || byteAt(frame, 1) != SubStartCode
        || byteAt(frame, 2) + 2 != frame.size() || !checksumValid(frame))
        return std::nullopt;
    const quint64 destination = uidAt(frame, DestinationOffset);
    const quint16 pid = quint16(byteAt(frame, PidOffset) << 8 | byteAt(frame, PidOffset + 1));
    std::optional<QByteArray> answer;
    if (byteAt(frame, CommandClassOffset) == DISCOVERY) {
        answer = discovery(frame, pid);
    } else if (byteAt(frame, CommandClassOffset) == GET && destination == _config.uid) {
        answer = get(frame, pid);
    }
    if (!answer || SimDriverFaults::take(_config.faults.silent))
        return std::nullopt;
    SimDriverFaults::take(_config.faults.errorFlag); // RDM has no error flag of its own
    if (SimDriverFaults::take(_config.faults.badChecksum))
        (*answer)[answer->size() - 1] = char(quint8(answer->back()) + 1);
    return answer;
}

std::optional<QByteArray> SimRdmResponder::discovery(const QByteArray& frame, quint16 pid)
{
    const quint64 destination = uidAt(frame, DestinationOffset);
    const bool forMe = destination == _config.uid || destination == Broadcast;
    switch (pid) {
    case DISC_UNIQUE_BRANCH: {
        const quint64 lower = uidAt(frame, HeaderSize);
        const quint64 upper = uidAt(frame, HeaderSize + 6);
        if (_muted || _config.uid < lower || _config.uid > upper)
            return std::nullopt;
        return discoveryResponse();
    }
    case DISC_MUTE:
    case DISC_UN_MUTE:
        if (!forMe)
            return std::nullopt;
        _muted = pid == DISC_MUTE;
        // Only a message to this responder alone is answered.
        if (destination == Broadcast)
            return std::nullopt;
        return response(frame, ACK, DISCOVERY_RESPONSE, QByteArray(2, '\0'));
    default:
        return std::nullopt;
    }
}

// Seven preamble bytes, the separator, each UID byte as (b | 0xAA, b | 0x55),
// then the sum of those twelve bytes encoded the same way.
QByteArray SimRdmResponder::discoveryResponse() const
{
    QByteArray bytes(7, char(0xFE));
    bytes.append(char(0xAA));
    quint16 sum = 0;
    const auto encode = [&bytes, &sum](quint8 b, bool count) {
        const quint8 a = b | 0xAA, c = b | 0x55;
        bytes.append(char(a));
        bytes.append(char(c));
        if (count)
            sum = quint16(sum + a + c);
    };
    for (int i = 5; i >= 0; --i)
        encode(quint8((_config.uid >> (8 * i)) & 0xFF), true);
    encode(quint8(sum >> 8), false);
    encode(quint8(sum & 0xFF), false);
    return bytes;
}

QByteArray SimRdmResponder::get(const QByteArray& frame, quint16 pid)
{
    QByteArray data;
    switch (pid) {
    case DEVICE_INFO:
        append16(data, 0x0100);
        append16(data, _config.deviceModelId);
        append16(data, _config.productCategory);
        append16(data, quint16(_config.softwareVersion >> 16));
        append16(data, quint16(_config.softwareVersion & 0xFFFF));
        append16(data, _config.footprint);
        append16(data, 0x0101);
        append16(data, _config.startAddress);
        append16(data, 0);
        data.append(char(_config.sensors.size()));
        break;
    case DEVICE_MODEL_DESCRIPTION:
        data = _config.modelDescription.toLatin1().left(MaxLabel);
        break;
    case MANUFACTURER_LABEL:
        data = _config.manufacturerLabel.toLatin1().left(MaxLabel);
        break;
    case DEVICE_LABEL:
        data = _config.deviceLabel.toLatin1().left(MaxLabel);
        break;
    case SENSOR_DEFINITION:
    case SENSOR_VALUE: {
        const int index = byteAt(frame, HeaderSize);
        if (byteAt(frame, DataLengthOffset) < 1 || index >= _config.sensors.size()) {
            QByteArray reason;
            append16(reason, NR_DATA_OUT_OF_RANGE);
            return response(frame, NACK_REASON, GET_RESPONSE, reason);
        }
        const Sensor& sensor = _config.sensors.at(index);
        data.append(char(index));
        if (pid == SENSOR_VALUE) {
            for (int i = 0; i < 4; ++i)
                append16(data, quint16(sensor.value));
            break;
        }
        data.append(char(sensor.type));
        data.append(char(sensor.unit));
        data.append(char(sensor.prefix));
        for (qint16 limit : {qint16(-400), qint16(1250), qint16(0), qint16(1000)})
            append16(data, quint16(limit));
        data.append(char(0));
        data.append(sensor.description.toLatin1().left(MaxLabel));
        break;
    }
    default: {
        QByteArray reason;
        append16(reason, NR_UNKNOWN_PID);
        return response(frame, NACK_REASON, GET_RESPONSE, reason);
    }
    }
    return response(frame, ACK, GET_RESPONSE, data);
}

QByteArray SimRdmResponder::response(
    const QByteArray& request, quint8 responseType, quint8 commandClass, const QByteArray& data) const
{
    QByteArray bytes;
    bytes.append(char(StartCode));
    bytes.append(char(SubStartCode));
    bytes.append(char(HeaderSize + data.size()));
    appendUid(bytes, uidAt(request, SourceOffset));
    appendUid(bytes, _config.uid);
    bytes.append(char(byteAt(request, 15))); // transaction number
    bytes.append(char(responseType));
    bytes.append(char(0)); // message count
    bytes.append(request.mid(18, 2));
    bytes.append(char(commandClass));
    bytes.append(request.mid(PidOffset, 2));
    bytes.append(char(data.size()));
    bytes.append(data);
    appendChecksum(bytes);
    return bytes;
}

} // namespace tarvesk::sim
