#pragma once

#include "protocol/raw_packet.h"

namespace tarvesk::proto {

// One 9-byte status message of an RDM STATUS_MESSAGES response: sub-device,
// status type, status message id and two data values, big-endian.
class RdmStatusMessage : public RawPacket
{
    Q_OBJECT

public:
    static constexpr int MessageSize = 9;

    RdmStatusMessage(const unsigned char* data, int size);
    // A new status message of the first nine bytes, or null when there are fewer.
    static RdmStatusMessage* fromData(const unsigned char* data, int size);

    quint16 getSubdeviceID() const;
    quint8 getStatusTypeID() const;
    quint16 getStatusMessageID() const;
    quint16 getDataValue1() const;
    quint16 getDataValue2() const;
    QString getStatusTypeString() const;

    RdmStatusMessage* clone() const override;
    QString getPacketInformation(PacketLookupTables* lookupTables) override;

private:
    QString getMessageText() const;
};

} // namespace tarvesk::proto
