#pragma once

#include <QList>
#include <QString>
#include <QVector>

namespace tarvesk::core {

// Why a firmware text was refused: the 1-based line and what is wrong with it.
struct FirmwareTextError
{
    int line = 0;
    QString fault;

    QString toString() const;
};

// 0..15 for a hexadecimal digit, -1 for any other character (signs and blanks too).
int hexDigitValue(QChar c);

// One 14-bit word that a text puts at a word address.
struct FirmwareWord
{
    int address = 0;
    int value = 0;
};

// Module text: one line per flash row, a 4-digit hexadecimal word address (a
// row start inside program flash 0x0000..0x3FFF) followed by the row's 32 words
// as 4 hexadecimal digits each, 132 characters; trailing blanks or a CR may
// follow, empty lines are skipped. The whole text is checked before anything is
// handed out: on success words holds the words in text order and lineAddresses
// each line's address; on failure both are left empty and error says why.
bool parseModuleText(
    const QString& text, QVector<FirmwareWord>& words, QList<int>& lineAddresses, FirmwareTextError& error);

// Intel HEX of a 14-bit device: each word is two bytes, low byte first, at byte
// address 2 * word address. Every record's length and checksum are checked.
// Data records need an even byte count and an even address; types 02 and 04
// move the base address, data at or above byte 0x10000 (the configuration
// words) is skipped, types 01, 03 and 05 are ignored (an end-of-file record
// does not end the reading), any other type is refused. All or nothing, as for
// module text.
bool parseIntelHex(const QString& text, QVector<FirmwareWord>& words, FirmwareTextError& error);

} // namespace tarvesk::core
