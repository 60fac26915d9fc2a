#include "protocol/dorvane/dorvane_packet.h"

#include "protocol/dali/dali_packet.h"
#include "protocol/packet_bytes.h"

namespace tarvesk::proto {

namespace {

// One special-bits/configuration pair of the bridge control byte and the
// names of the fields its two data bytes carry (one 16-bit field when the
// second name is null).
struct BridgeEntry
{
    int special;
    int configuration;
    const char* name;
    const char* field1;
    const char* field2;
};

constexpr const char* kSpecialNames[]
    = {"BRDG_SPEC_DALI", "BRDG_SPEC_SCALE", "BRDG_SPEC_RDWR", "BRDG_SPEC_WYPARAM", "BRDG_SPEC_SETPOINT"};

constexpr BridgeEntry kBridgeEntries[] = {
    {0, 0, "BRDG_CONF_DALI_REGULAR", "dali_byte_0", "dali_byte_1"},
    {0, 1, "BRDG_CONF_DALI_INT_ADDR", "dali_byte_0", "dali_byte_1"},
    {0, 2, "BRDG_CONF_DALI_BROADCAST", "dali_byte_0", "dali_byte_1"},
    {1, 0, "BRDG_CONF_SCALE_8B_CH12", "channel_1", "channel_2"},
    {1, 1, "BRDG_CONF_SCALE_8B_CH34", "channel_3", "channel_4"},
    {1, 2, "BRDG_CONF_SCALE_8B_CH56", "channel_5", "channel_6"},
    {1, 3, "BRDG_CONF_SCALE_8B_CH78", "channel_7", "channel_8"},
    {1, 7, "BRDG_CONF_LOCDIM_16B", "broadcast", nullptr},
    {2, 0, "BRDG_CONF_RDWR_READ", "target_memory", "address"},
    {2, 1, "BRDG_CONF_RDWR_WRITE_8", "target_memory", "address"},
    {2, 2, "BRDG_CONF_RDWR_WRITE_8_RST", "target_memory", "address"},
    {2, 5, "BRDG_CONF_RDWR_WRITE_16", "target_memory", "address"},
    {2, 6, "BRDG_CONF_RDWR_WRITE_16_RST", "target_memory", "address"},
    {3, 0, "BRDG_CONF_WY_WRVAL", "param_value", nullptr},
    {3, 1, "BRDG_CONF_WY_RD16", "param_number", nullptr},
    {3, 2, "BRDG_CONF_WY_WR8", "param_number", nullptr},
    {3, 3, "BRDG_CONF_WY_WR16", "param_number", nullptr},
    {3, 6, "BRDG_CONF_WY_WR8_RST", "param_number", nullptr},
    {3, 7, "BRDG_CONF_WY_WR16_RST", "param_number", nullptr},
    {4, 0, "BRDG_CONF_SETPOINT_12_H", "setpoint1_hi", "setpoint2_hi"},
    {4, 1, "BRDG_CONF_SETPOINT_34_H", "setpoint3_hi", "setpoint4_hi"},
    {4, 2, "BRDG_CONF_SETPOINT_56_H", "setpoint5_hi", "setpoint6_hi"},
    {4, 3, "BRDG_CONF_SETPOINT_78_H", "setpoint7_hi", "setpoint8_hi"},
    {4, 4, "BRDG_CONF_SETPOINT_12_L", "setpoint1_lo", "setpoint2_lo"},
    {4, 5, "BRDG_CONF_SETPOINT_34_L", "setpoint3_lo", "setpoint4_lo"},
    {4, 6, "BRDG_CONF_SETPOINT_56_L", "setpoint5_lo", "setpoint6_lo"},
    {4, 7, "BRDG_CONF_SETPOINT_78_L", "setpoint7_lo", "setpoint8_lo"},
};

int specialOf(quint8 control)
{
    return (control >> 3) & 7;
}

const BridgeEntry* findBridgeEntry(quint8 control)
{
    for (const BridgeEntry& entry : kBridgeEntries) {
        if (entry.special == specialOf(control) && entry.configuration == (control & 7))
            return &entry;
    }
    return nullptr;
}

QString specialName(quint8 control)
{
    const int special = specialOf(control);
    if (special < int(std::size(kSpecialNames)))
        return QString::fromLatin1(kSpecialNames[special]);
    return QStringLiteral("unknown");
}

QString configurationName(quint8 control)
{
    const BridgeEntry* entry = findBridgeEntry(control);
    return entry ? QString::fromLatin1(entry->name) : QStringLiteral("unknown");
}

} // namespace

DorvanePacket::DorvanePacket() = default;

DorvanePacket::DorvanePacket(const unsigned char* data, int size)
    : RawPacket(data, size)
    , _dorvaneType(DV_RECEIVED)
{
    setPacketType(PACKET_TYPE_DORVANE);
}

DorvanePacket::DorvanePacket(const DaliPacket* dali, bool internalAddress, bool broadcast)
{
    setDaliCommand(dali, internalAddress, broadcast);
}

DorvanePacket::DorvanePacket(const DorvanePacket& other)
    : RawPacket()
    , _dorvaneType(other._dorvaneType)
    , _memoryRange(other._memoryRange)
    , _resolution(other._resolution)
    , _readCommand(other._readCommand)
{
    copyFrom(&other);
}

void DorvanePacket::setBridgeFrame(quint8 control, quint8 a, quint8 b)
{
    clear();
    appendByte(BridgeStart);
    appendByte(control);
    appendByte(a);
    appendByte(b);
    _dorvaneType = DV_APPL;
}

void DorvanePacket::setDaliCommand(quint8 byte0, quint8 byte1, bool internalAddress, bool broadcast)
{
    setBridgeFrame(quint8(ControlCurrentStatus + 2 * int(broadcast) + int(internalAddress)), byte0, byte1);
}

void DorvanePacket::setDaliCommand(const DaliPacket* dali, bool internalAddress, bool broadcast)
{
    if (dali == nullptr || dali->getDataSize() != 2)
        return;
    setDaliCommand(dali->getData()[0], dali->getData()[1], internalAddress, broadcast);
}

void DorvanePacket::setChannelScale8(int firstChannel, quint8 a, quint8 b)
{
    quint8 control = 0x48;
    if (firstChannel == 3)
        control = 0x49;
    else if (firstChannel == 5)
        control = 0x4A;
    else if (firstChannel == 7)
        control = 0x4B;
    setBridgeFrame(control, a, b);
}

void DorvanePacket::setBroadcastScale16(quint16 value)
{
    setBridgeFrame(0x4F, quint8(value >> 8), quint8(value & 0xFF));
}

void DorvanePacket::setLegacyRead8(quint8 memory, quint8 paramNo)
{
    setBridgeFrame(ControlRdwrRead, memory, paramNo);
    _readCommand = true;
    _dorvaneType = DV_BRASK;
    _resolution = DV_RESOLUTION_8BIT;
}

void DorvanePacket::setLegacyRead16(quint8 memory, quint8 paramNo)
{
    setBridgeFrame(ControlRdwrRead, memory, paramNo);
    _readCommand = true;
    _dorvaneType = DV_BRASK;
    _resolution = DV_RESOLUTION_16BIT;
}

void DorvanePacket::setLegacyWrite8(quint8 a, quint8 b, bool reset)
{
    setBridgeFrame(quint8(ControlRdwrWrite8 + int(reset)), a, b);
    _readCommand = false;
    _dorvaneType = DV_BRASK;
    _resolution = DV_RESOLUTION_8BIT;
}

void DorvanePacket::setLegacyWrite16(quint8 a, quint8 b, bool reset)
{
    setBridgeFrame(quint8(ControlRdwrWrite16 + int(reset)), a, b);
    _readCommand = false;
    _dorvaneType = DV_BRASK;
    _resolution = DV_RESOLUTION_16BIT;
}

void DorvanePacket::setWystrelRead16(quint16 paramNo)
{
    setBridgeFrame(0x59, quint8(paramNo >> 8), quint8(paramNo & 0xFF));
    _readCommand = true;
}

void DorvanePacket::setBrisquelDorvanePacket(quint8 a, quint8 b, quint8 c, quint8 d)
{
    clear();
    appendByte(a);
    appendByte(b);
    appendByte(c);
    appendByte(d);
    _dorvaneType = DV_APPL;
}

void DorvanePacket::setBrisquelWrite(quint16 address, quint16 value)
{
    clear();
    appendByte(quint8(address & 0xFF));
    appendByte(quint8(value >> 8));
    appendByte(quint8(value & 0xFF));
    _dorvaneType = DV_APP;
    _readCommand = false;
    _resolution = DV_RESOLUTION_16BIT;
}

void DorvanePacket::setBrisquelRead(quint16 address)
{
    clear();
    appendByte(quint8(address & 0xFF));
    appendByte(0);
    appendByte(0);
    _dorvaneType = DV_APP;
    _readCommand = true;
    _resolution = DV_RESOLUTION_16BIT;
}

quint8 DorvanePacket::getCommandByte() const
{
    return frameByte(*this, 0);
}

bool DorvanePacket::getBridgeBytes(quint8& control, quint8& data1, quint8& data2) const
{
    // A built frame starts with 0x10; one converted back from a Wystrel frame does not.
    const int offset = getDataSize() >= 4 && getData()[0] == BridgeStart ? 1 : 0;
    if (getDataSize() < offset + 3)
        return false;
    control = getData()[offset];
    data1 = getData()[offset + 1];
    data2 = getData()[offset + 2];
    return true;
}

bool DorvanePacket::hasDaliPacket() const
{
    quint8 control, data1, data2;
    return getBridgeBytes(control, data1, data2);
}

DaliPacket* DorvanePacket::toDaliPacket() const
{
    quint8 control, dali[2];
    if (!getBridgeBytes(control, dali[0], dali[1]))
        return nullptr;
    return new DaliPacket(dali, 2);
}

QString DorvanePacket::getCommandName() const
{
    return QStringLiteral("hello");
}

DorvanePacket* DorvanePacket::clone() const
{
    return new DorvanePacket(*this);
}

QString DorvanePacket::getPacketTypeIdentString() const
{
    switch (_dorvaneType) {
    case DV_LEGACY:
        return QStringLiteral("DV_LEGACY");
    case DV_APP:
        return QStringLiteral("DV_APP");
    case DV_APPL:
        return QStringLiteral("DV_APPL");
    case DV_APPL_WD:
        return QStringLiteral("DV_APPL_WD");
    case DV_BRASK:
        return QStringLiteral("DV_BRASK");
    default:
        return QStringLiteral("Dorvane");
    }
}

QString DorvanePacket::getPacketInformation(PacketLookupTables*)
{
    quint8 control, data1, data2;
    if ((_dorvaneType != DV_APPL && _dorvaneType != DV_APPL_WD) || !getBridgeBytes(control, data1, data2))
        return QString();
    return QStringLiteral("special_bits:%1 config_bits:%2 ")
        .arg(specialName(control), configurationName(control));
}

void DorvanePacket::calcVariables(PacketLookupTables* lookupTables)
{
    RawPacket::calcVariables(lookupTables);
    if (getDataSize() == 0)
        return;

    if (_dorvaneType == DV_APPL || _dorvaneType == DV_APPL_WD) {
        quint8 control, data1, data2;
        if (!getBridgeBytes(control, data1, data2))
            return;
        addAttribute(QStringLiteral("current_status"), (control & ControlCurrentStatus) != 0);
        addAttribute(QStringLiteral("special_bits"), specialName(control));
        addAttribute(QStringLiteral("config_bits"), configurationName(control));
        const BridgeEntry* entry = findBridgeEntry(control);
        if (entry == nullptr)
            return;
        if (entry->field2 == nullptr) {
            addAttribute(QString::fromLatin1(entry->field1), int(data1) << 8 | data2);
        } else {
            addAttribute(QString::fromLatin1(entry->field1), int(data1));
            addAttribute(QString::fromLatin1(entry->field2), int(data2));
        }
        if (entry->special == BRDG_SPEC_DALI) {
            const quint8 dali[2] = {data1, data2};
            auto* daliPacket = new DaliPacket(dali, 2);
            setSubPacket(daliPacket);
            daliPacket->calcVariables(lookupTables);
        }
    } else if (_dorvaneType == DV_APP || _dorvaneType == DV_BRASK) {
        addAttribute(QStringLiteral("memory"),
            _memoryRange == DV_MEMORY_EEPROM ? QStringLiteral("EEPROM") : QStringLiteral("RAM"));
        addAttribute(QStringLiteral("resolution"),
            _resolution == DV_RESOLUTION_16BIT ? QStringLiteral("16 bit") : QStringLiteral("8 bit"));
        addAttribute(QStringLiteral("address"), int(frameByte(*this, 0)));
        addAttribute(QStringLiteral("value"), int(frameUint16(*this, 1)));
    }
}

} // namespace tarvesk::proto
