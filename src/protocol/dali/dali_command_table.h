#pragma once

#include <QtGlobal>

#include <stdexcept>
#include <string_view>

namespace tarvesk::proto {

// Where a command sits in a 16-bit forward frame.
enum class DaliCommandKind : quint8 {
    Standard, // byte 1 (the opcode), after an address byte with the selector bit set
    Special,  // byte 0 itself; byte 1 carries its data
};

// One IEC 62386 control-gear command and how it is exchanged.
struct DaliCommand
{
    enum Flag : quint8 {
        SendTwice = 0x01, // configuration: acts only when repeated within 100 ms
        Answers = 0x02,   // the gear answers with a backward frame
        UsesDtr0 = 0x04,
        UsesDtr1 = 0x08,
        UsesDtr2 = 0x10,
    };

    DaliCommandKind kind;
    quint8 code; // the opcode, or the first byte of a special command
    // Consecutive codes of one command numbered by scene or group (GO TO SCENE
    // 0..15 are 0x10..0x1F); 1 for every other command.
    quint8 count;
    // 0: every control gear; otherwise the device type that ENABLE DEVICE TYPE
    // must name right before (its application extended commands, 0xE0..0xFF).
    quint8 deviceType;
    std::string_view name;
    quint8 flags;

    constexpr bool isSpecial() const { return kind == DaliCommandKind::Special; }
    constexpr bool sendTwice() const { return flags & SendTwice; }
    constexpr bool expectsAnswer() const { return flags & Answers; }
    constexpr bool usesDtr(int dtr) const { return dtr >= 0 && dtr <= 2 && (flags & (UsesDtr0 << dtr)); }
    constexpr bool covers(quint8 byte) const { return byte >= code && byte - code < count; }
};

// The control-gear commands of IEC 62386-102 and the LED module extension of
// IEC 62386-207 (device type 6), as data: the senders decide from a row whether
// a command goes out twice or waits for an answer, and the simulated gear
// decodes frames with the same rows. Names are those of the standards, without
// their parameter lists ("SET MAX LEVEL", not "SET MAX LEVEL (DTR0)"), and are
// unique within a device type. Everything here is constexpr, so a misspelt name
// in a constant expression (a case label) fails the build.
//
// Not the command names of the data package (DaliLookupTable): those are texts
// for packet descriptions and scripts, loaded at run time and free to change.
class DaliCommandTable
{
public:
    using Kind = DaliCommandKind;
    static constexpr quint8 AnyDeviceType = 0;
    static constexpr quint8 LedDeviceType = 6;

    // Every bank but bank 0 is write-protected by its lock byte: WRITE MEMORY
    // LOCATION opens the bank by writing UnlockValue there after ENABLE WRITE MEMORY.
    static constexpr quint8 LockByteLocation = 2;
    static constexpr quint8 UnlockValue = 0x55;
    // The D4i energy banks (202 to 204) freeze their multi-byte values while
    // their lock byte holds LatchValue, so that a value read byte by byte
    // cannot change half-way; any other value (LockedValue, as at power-up)
    // lets them run again.
    static constexpr quint8 LatchValue = 0xAA;
    static constexpr quint8 LockedValue = 0xFF;

    // Whether a frame's first byte addresses a command (to a short address, a
    // group or all: 0AAAAAA1, 100GGGG1, 11111101, 11111111), rather than being
    // direct arc power or a special command.
    static constexpr bool addressesCommand(quint8 first)
    {
        return (first & 0x01) != 0 && (first < 0xA0 || first >= 0xFC);
    }

    // The command that `code` stands for while `deviceType` is enabled: that
    // device type's own commands first, then those of every gear; null for a
    // reserved code.
    static constexpr const DaliCommand* find(Kind kind, quint8 code, quint8 deviceType = AnyDeviceType)
    {
        int general = NotFound;
        for (int i = 0; i < RowCount; ++i) {
            const DaliCommand& row = Rows[i];
            if (row.kind != kind || !row.covers(code))
                continue;
            if (row.deviceType == deviceType)
                return &Rows[i];
            if (row.deviceType == AnyDeviceType && general == NotFound)
                general = i;
        }
        return general == NotFound ? nullptr : &Rows[general];
    }

    // The command of this name in the set of exactly this device type, or null.
    static constexpr const DaliCommand* findNamed(std::string_view name, quint8 deviceType = AnyDeviceType)
    {
        const int i = indexNamed(name, deviceType);
        return i == NotFound ? nullptr : &Rows[i];
    }

    // As findNamed, for names the code itself spells: an unknown name throws,
    // which inside a constant expression is a compile error.
    static constexpr const DaliCommand& named(std::string_view name, quint8 deviceType = AnyDeviceType)
    {
        const int i = indexNamed(name, deviceType);
        if (i == NotFound)
            throw std::invalid_argument("unknown DALI command name");
        return Rows[i];
    }
    static constexpr quint8 opcode(std::string_view name, quint8 deviceType = AnyDeviceType)
    {
        const DaliCommand& row = named(name, deviceType);
        if (row.isSpecial())
            throw std::invalid_argument("a special DALI command has no opcode");
        return row.code;
    }
    static constexpr quint8 special(std::string_view name)
    {
        const DaliCommand& row = named(name);
        if (!row.isSpecial())
            throw std::invalid_argument("not a special DALI command");
        return row.code;
    }

private:
    static constexpr int NotFound = -1;

    // Indices rather than pointers: GCC with UBSan cannot compare a pointer into
    // the table with null while it evaluates a constant expression.
    static constexpr int indexNamed(std::string_view name, quint8 deviceType)
    {
        for (int i = 0; i < RowCount; ++i) {
            if (Rows[i].deviceType == deviceType && Rows[i].name == name)
                return i;
        }
        return NotFound;
    }

    static constexpr auto Std = Kind::Standard;
    static constexpr auto Spc = Kind::Special;
    static constexpr quint8 All = AnyDeviceType;
    static constexpr quint8 Led = LedDeviceType;
    static constexpr quint8 Twice = DaliCommand::SendTwice;
    static constexpr quint8 Answer = DaliCommand::Answers;
    static constexpr quint8 Dtr0 = DaliCommand::UsesDtr0;
    static constexpr quint8 Dtr1 = DaliCommand::UsesDtr1;
    static constexpr quint8 Dtr2 = DaliCommand::UsesDtr2;

public:
    // clang-format off
    static constexpr DaliCommand Rows[] = {
        // kind code  count type  name                                flags
        // Arc power and scenes.
        {Std, 0x00,  1, All, "OFF",                                0},
        {Std, 0x01,  1, All, "UP",                                 0},
        {Std, 0x02,  1, All, "DOWN",                               0},
        {Std, 0x03,  1, All, "STEP UP",                            0},
        {Std, 0x04,  1, All, "STEP DOWN",                          0},
        {Std, 0x05,  1, All, "RECALL MAX LEVEL",                   0},
        {Std, 0x06,  1, All, "RECALL MIN LEVEL",                   0},
        {Std, 0x07,  1, All, "STEP DOWN AND OFF",                  0},
        {Std, 0x08,  1, All, "ON AND STEP UP",                     0},
        {Std, 0x09,  1, All, "ENABLE DAPC SEQUENCE",               0},
        {Std, 0x0A,  1, All, "GO TO LAST ACTIVE LEVEL",            0},
        {Std, 0x10, 16, All, "GO TO SCENE",                        0},
        // Configuration.
        {Std, 0x20,  1, All, "RESET",                              Twice},
        {Std, 0x21,  1, All, "STORE ACTUAL LEVEL IN DTR0",         Twice | Dtr0},
        {Std, 0x22,  1, All, "SAVE PERSISTENT VARIABLES",          Twice},
        {Std, 0x23,  1, All, "SET OPERATING MODE",                 Twice | Dtr0},
        {Std, 0x24,  1, All, "RESET MEMORY BANK",                  Twice | Dtr0},
        {Std, 0x25,  1, All, "IDENTIFY DEVICE",                    Twice},
        {Std, 0x2A,  1, All, "SET MAX LEVEL",                      Twice | Dtr0},
        {Std, 0x2B,  1, All, "SET MIN LEVEL",                      Twice | Dtr0},
        {Std, 0x2C,  1, All, "SET SYSTEM FAILURE LEVEL",           Twice | Dtr0},
        {Std, 0x2D,  1, All, "SET POWER ON LEVEL",                 Twice | Dtr0},
        {Std, 0x2E,  1, All, "SET FADE TIME",                      Twice | Dtr0},
        {Std, 0x2F,  1, All, "SET FADE RATE",                      Twice | Dtr0},
        {Std, 0x30,  1, All, "SET EXTENDED FADE TIME",             Twice | Dtr0},
        {Std, 0x40, 16, All, "SET SCENE",                          Twice | Dtr0},
        {Std, 0x50, 16, All, "REMOVE FROM SCENE",                  Twice},
        {Std, 0x60, 16, All, "ADD TO GROUP",                       Twice},
        {Std, 0x70, 16, All, "REMOVE FROM GROUP",                  Twice},
        {Std, 0x80,  1, All, "SET SHORT ADDRESS",                  Twice | Dtr0},
        {Std, 0x81,  1, All, "ENABLE WRITE MEMORY",                Twice},
        // Queries.
        {Std, 0x90,  1, All, "QUERY STATUS",                       Answer},
        {Std, 0x91,  1, All, "QUERY CONTROL GEAR PRESENT",         Answer},
        {Std, 0x92,  1, All, "QUERY LAMP FAILURE",                 Answer},
        {Std, 0x93,  1, All, "QUERY LAMP POWER ON",                Answer},
        {Std, 0x94,  1, All, "QUERY LIMIT ERROR",                  Answer},
        {Std, 0x95,  1, All, "QUERY RESET STATE",                  Answer},
        {Std, 0x96,  1, All, "QUERY MISSING SHORT ADDRESS",        Answer},
        {Std, 0x97,  1, All, "QUERY VERSION NUMBER",               Answer},
        {Std, 0x98,  1, All, "QUERY CONTENT DTR0",                 Answer | Dtr0},
        {Std, 0x99,  1, All, "QUERY DEVICE TYPE",                  Answer},
        {Std, 0x9A,  1, All, "QUERY PHYSICAL MINIMUM",             Answer},
        {Std, 0x9B,  1, All, "QUERY POWER FAILURE",                Answer},
        {Std, 0x9C,  1, All, "QUERY CONTENT DTR1",                 Answer | Dtr1},
        {Std, 0x9D,  1, All, "QUERY CONTENT DTR2",                 Answer | Dtr2},
        {Std, 0x9E,  1, All, "QUERY OPERATING MODE",               Answer},
        {Std, 0x9F,  1, All, "QUERY LIGHT SOURCE TYPE",            Answer},
        {Std, 0xA0,  1, All, "QUERY ACTUAL LEVEL",                 Answer},
        {Std, 0xA1,  1, All, "QUERY MAX LEVEL",                    Answer},
        {Std, 0xA2,  1, All, "QUERY MIN LEVEL",                    Answer},
        {Std, 0xA3,  1, All, "QUERY POWER ON LEVEL",               Answer},
        {Std, 0xA4,  1, All, "QUERY SYSTEM FAILURE LEVEL",         Answer},
        {Std, 0xA5,  1, All, "QUERY FADE TIME/FADE RATE",          Answer},
        {Std, 0xA6,  1, All, "QUERY MANUFACTURER SPECIFIC MODE",   Answer},
        {Std, 0xA7,  1, All, "QUERY NEXT DEVICE TYPE",             Answer},
        {Std, 0xA8,  1, All, "QUERY EXTENDED FADE TIME",           Answer},
        {Std, 0xAA,  1, All, "QUERY CONTROL GEAR FAILURE",         Answer},
        {Std, 0xB0, 16, All, "QUERY SCENE LEVEL",                  Answer},
        {Std, 0xC0,  1, All, "QUERY GROUPS 0-7",                   Answer},
        {Std, 0xC1,  1, All, "QUERY GROUPS 8-15",                  Answer},
        {Std, 0xC2,  1, All, "QUERY RANDOM ADDRESS (H)",           Answer},
        {Std, 0xC3,  1, All, "QUERY RANDOM ADDRESS (M)",           Answer},
        {Std, 0xC4,  1, All, "QUERY RANDOM ADDRESS (L)",           Answer},
        {Std, 0xC5,  1, All, "READ MEMORY LOCATION",               Answer | Dtr0 | Dtr1},
        // Special commands: addressed by their first byte.
        {Spc, 0xA1,  1, All, "TERMINATE",                          0},
        {Spc, 0xA3,  1, All, "DTR0",                               Dtr0},
        {Spc, 0xA5,  1, All, "INITIALISE",                         Twice},
        {Spc, 0xA7,  1, All, "RANDOMISE",                          Twice},
        {Spc, 0xA9,  1, All, "COMPARE",                            Answer},
        {Spc, 0xAB,  1, All, "WITHDRAW",                           0},
        {Spc, 0xAD,  1, All, "PING",                               0},
        {Spc, 0xB1,  1, All, "SEARCHADDRH",                        0},
        {Spc, 0xB3,  1, All, "SEARCHADDRM",                        0},
        {Spc, 0xB5,  1, All, "SEARCHADDRL",                        0},
        {Spc, 0xB7,  1, All, "PROGRAM SHORT ADDRESS",              0},
        {Spc, 0xB9,  1, All, "VERIFY SHORT ADDRESS",               Answer},
        {Spc, 0xBB,  1, All, "QUERY SHORT ADDRESS",                Answer},
        {Spc, 0xC1,  1, All, "ENABLE DEVICE TYPE",                 0},
        {Spc, 0xC3,  1, All, "DTR1",                               Dtr1},
        {Spc, 0xC5,  1, All, "DTR2",                               Dtr2},
        {Spc, 0xC7,  1, All, "WRITE MEMORY LOCATION",              Answer | Dtr0 | Dtr1},
        {Spc, 0xC9,  1, All, "WRITE MEMORY LOCATION - NO REPLY",   Dtr0 | Dtr1},
        // LED modules (device type 6).
        {Std, 0xE0,  1, Led, "REFERENCE SYSTEM POWER",             Twice},
        {Std, 0xE1,  1, Led, "ENABLE CURRENT PROTECTOR",           Twice},
        {Std, 0xE2,  1, Led, "DISABLE CURRENT PROTECTOR",          Twice},
        {Std, 0xE3,  1, Led, "SELECT DIMMING CURVE",               Twice | Dtr0},
        {Std, 0xE4,  1, Led, "STORE DTR AS FAST FADE TIME",        Twice | Dtr0},
        {Std, 0xED,  1, Led, "QUERY GEAR TYPE",                    Answer},
        {Std, 0xEE,  1, Led, "QUERY DIMMING CURVE",                Answer},
        {Std, 0xEF,  1, Led, "QUERY POSSIBLE OPERATING MODES",     Answer},
        {Std, 0xF0,  1, Led, "QUERY FEATURES",                     Answer},
        {Std, 0xF1,  1, Led, "QUERY FAILURE STATUS",               Answer},
        {Std, 0xF2,  1, Led, "QUERY SHORT CIRCUIT",                Answer},
        {Std, 0xF3,  1, Led, "QUERY OPEN CIRCUIT",                 Answer},
        {Std, 0xF4,  1, Led, "QUERY LOAD DECREASE",                Answer},
        {Std, 0xF5,  1, Led, "QUERY LOAD INCREASE",                Answer},
        {Std, 0xF6,  1, Led, "QUERY CURRENT PROTECTOR ACTIVE",     Answer},
        {Std, 0xF7,  1, Led, "QUERY THERMAL SHUT DOWN",            Answer},
        {Std, 0xF8,  1, Led, "QUERY THERMAL OVERLOAD",             Answer},
        {Std, 0xF9,  1, Led, "QUERY REFERENCE RUNNING",            Answer},
        {Std, 0xFA,  1, Led, "QUERY REFERENCE MEASUREMENT FAILED", Answer},
        {Std, 0xFB,  1, Led, "QUERY CURRENT PROTECTOR ENABLED",    Answer},
        {Std, 0xFC,  1, Led, "QUERY OPERATING MODE",               Answer},
        {Std, 0xFD,  1, Led, "QUERY FAST FADE TIME",               Answer},
        {Std, 0xFE,  1, Led, "QUERY MIN FAST FADE TIME",           Answer},
        {Std, 0xFF,  1, Led, "QUERY EXTENDED VERSION NUMBER",      Answer},
    };
    // clang-format on
    static constexpr int RowCount = int(sizeof(Rows) / sizeof(Rows[0]));
};

} // namespace tarvesk::proto
