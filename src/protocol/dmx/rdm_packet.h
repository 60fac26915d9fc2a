#pragma once

#include "protocol/dmx/dmx_packet.h"

#include <optional>

namespace tarvesk::proto {

// One RDM message (ANSI E1.20, with the parameters of ANSI E1.37-1) on a DMX
// line: start code 0xCC, sub-start code 0x01, message length, destination and
// source UID, transaction number, port id / response type, message count,
// sub-device, command class, PID, parameter data length, parameter data and a
// 16-bit checksum (the sum of every byte before it, high byte first).
class RdmPacket : public DmxPacket
{
    Q_OBJECT
    Q_PROPERTY(int pid READ getPid)

public:
    static constexpr quint8 StartCode = 0xCC;
    static constexpr quint8 SubStartCode = 0x01;
    static constexpr int HeaderSize = 24; // start code through parameter data length
    static constexpr int ChecksumSize = 2;
    static constexpr int DestinationUidOffset = 3;
    static constexpr int SourceUidOffset = 9;
    // Status of a discovery response that is not made of preamble, separator,
    // encoded UID and encoded checksum.
    static constexpr int ErrMalformedDiscoveryResponse = -24;

    enum CommandClass : quint8 {
        DISCOVERY_COMMAND = 0x10,
        DISCOVERY_COMMAND_RESPONSE = 0x11,
        GET_COMMAND = 0x20,
        GET_COMMAND_RESPONSE = 0x21,
        SET_COMMAND = 0x30,
        SET_COMMAND_RESPONSE = 0x31
    };
    enum CommandType : int {
        RDM_CMD_TYPE_DISCOVERY = 1,
        RDM_CMD_TYPE_GET = 2,
        RDM_CMD_TYPE_SET = 3,
        RDM_CMD_TYPE_UNKNOWN = 4,
        RDM_CMD_TYPE_INVALID = 5
    };
    enum ResponseType : quint8 {
        RESPONSE_TYPE_ACK = 0x00,
        RESPONSE_TYPE_ACK_TIMER = 0x01,
        RESPONSE_TYPE_NACK_REASON = 0x02,
        RESPONSE_TYPE_ACK_OVERFLOW = 0x03
    };
    // Why a received message is not a usable response.
    enum ResponseCheck {
        RESPONSE_OK,
        RESPONSE_TOO_SHORT,
        RESPONSE_BAD_START_CODE,
        RESPONSE_BAD_SUB_START_CODE,
        RESPONSE_BAD_MESSAGE_LENGTH,
        RESPONSE_NOT_A_RESPONSE,
        RESPONSE_BAD_CHECKSUM,
        RESPONSE_BAD_RESPONSE_TYPE
    };

    // DEVICE_INFO parameter data.
    struct DeviceInfo
    {
        quint16 protocolVersion = 0;
        quint16 deviceModelId = 0;
        quint16 productCategory = 0;
        quint32 softwareVersion = 0;
        quint16 dmxFootprint = 0;
        quint16 dmxPersonality = 0; // current personality (high byte), count (low byte)
        quint16 dmxStartAddress = 0;
        quint16 subDeviceCount = 0;
        quint8 sensorCount = 0;
    };
    // SENSOR_DEFINITION parameter data.
    struct SensorDefinition
    {
        quint8 sensorNumber = 0;
        quint8 type = 0;
        quint8 unit = 0;
        quint8 prefix = 0;
        qint16 rangeMinimum = 0;
        qint16 rangeMaximum = 0;
        qint16 normalMinimum = 0;
        qint16 normalMaximum = 0;
        quint8 recordedValueSupport = 0;
        QString description;
    };

    RdmPacket();
    RdmPacket(const unsigned char* data, int size);
    explicit RdmPacket(const DmxPacket* other);
    RdmPacket(const RdmPacket& other);
    RdmPacket& operator=(const RdmPacket& other) = default;

    // A new RdmPacket for a frame with start code 0xCC, otherwise null.
    static RdmPacket* fromData(const unsigned char* data, int size);

    // Builds the whole request for one of the PIDs the service sends (broadcast
    // destination, checksum included). False, with the packet left empty, for
    // any other PID.
    Q_INVOKABLE bool fromPid(quint16 pid);

    // Writes a UID given as 12 hexadecimal digits or as "mmmm:dddddddd" (the form
    // getUidString gives) and recalculates the checksum. Any other text is refused:
    // the packet is emptied, so that a request meant for one device can never go
    // out with the broadcast destination it was built with.
    bool setUid(int offset, const QString& uidText);
    bool setTargetUid(const QString& uidText) { return setUid(DestinationUidOffset, uidText); }
    bool setSourceUid(const QString& uidText) { return setUid(SourceUidOffset, uidText); }
    QString getUidString(int offset) const;

    // Decodes a DISC_UNIQUE_BRANCH response (0-7 preamble bytes 0xFE, separator
    // 0xAA, 12 encoded UID bytes, 4 encoded checksum bytes) into the UID text.
    // 0, ErrMalformedDiscoveryResponse, or ITF_ERR_PACKET_CHECKSUM.
    int decodeUid(QString& uidText) const;

    void checksum_recalculate();
    quint16 checksum_getCalculatedValue() const;
    quint16 checksum_getValue() const;
    void checksum_setValue(quint16 value);
    bool checksum_isValid() const;

    bool isResponse() const;
    ResponseCheck checkResponse(PacketCheckIgnore ignore = CHECK_IGNORE_NONE) const;
    int answer_isValid(PacketCheckIgnore ignore) const override;
    quint8 getResponseType() const;

    int getPid() const;
    int getCommandType() const;
    QString getCommandTypeString() const;
    QString getPidName() const;

    // Parameter data decoders: only for a valid ACK to a GET of the matching PID
    // with enough parameter data; a NACK or a short answer gives nothing.
    std::optional<DeviceInfo> getDeviceInfo() const;
    std::optional<SensorDefinition> getSensorDefinition() const;
    // Present value in bits 0-15, lowest 16-31, highest 32-47, recorded 48-63.
    std::optional<quint64> getSensorValue() const;

    RdmPacket* clone() const override;
    QString getPacketTypeIdentString() const override;
    QString getPacketInformation(PacketLookupTables* lookupTables) override;
    void calcVariables(PacketLookupTables* lookupTables) override;

private:
    bool isAckOf(quint16 pid, int minimumDataLength) const;
    int parameterDataLength() const;
};

} // namespace tarvesk::proto
