#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QVector>

#include <functional>
#include <optional>

namespace tarvesk::sim {

struct SimDriverFaults;

// A firmware module placed in a simulated driver's flash.
struct SimFlashModule
{
    int id = 1;         // 0..2047
    int version = 1;    // 0..255
    int subversion = 0; // 0..63
    int size = 1;       // slots of 256 words, 1..8
    int start = 2048;   // on a slot boundary
};

// What a simulated driver's bootloader holds.
struct SimBootloaderConfig
{
    quint16 deviceId = 0x302B; // word 0x8006 of the device-information row
    quint8 version = 5;        // the version byte of every row read
    quint16 coreEnd = 2048;    // first word after the core module
    quint8 pageCount = 8;
    quint16 systemType = 0x123;   // 12 bits
    quint16 hardwareType = 0x045; // 12 bits
    int idleTimeoutMs = 0;        // 0: stays in its bootloader until told to start the application
    QList<SimFlashModule> modules;
    QMap<int, quint16> words; // flash words (program flash and the rows from 0x8000) set beside the modules
};

// The bootloader of a simulated driver: 14-bit program flash of 8 pages of
// 2048 words (rows of 32), the configuration rows from 0x8000 with the
// device id at 0x8006, and the Wystrel bootloader frames (start code, 0x18,
// 0, device address, then the command in byte 4) it answers at device
// address 0:
// - FE read row: a 74-byte answer, the version byte in byte 7, the 32 words
//   low byte first from byte 8, a zero byte, the checksum;
// - FF write row: the 32 words high byte first from byte 7; byte 7 of the
//   answer is the status byte (0 taken, 1 refused: not a whole row in flash);
//   a row write the refusal fault takes is neither written nor answered;
// - FD 01 FC pages (count - 1 in byte 5, the core end in 6 and 7), FD 01 FE
//   hardware information, FD 01 FF start the application (no answer);
// - FD 02 0x20+p erase page p (byte 5 0); FD 02 n the 14-bit sum of the
//   modules (other than the core) in pages below n, 0 when each sums to 0;
// - FD 03 / FD 04 slot: the page-information records of the module header
//   at that slot (byte 7: the core module's version or subversion).
//
// Each module's header is word 0 (id bits 0-7, size - 1 in bits 8-10, id
// bits 8-10 in bits 11-13) and word 1 (version, subversion in bits 8-13); its
// last word makes all its words sum to 0 modulo 0x4000.
class SimDriverBootloader
{
public:
    static constexpr int FlashWords = 8 * 2048;
    static constexpr int ConfigurationBase = 0x8000;
    static constexpr int ConfigurationWords = 64;
    static constexpr int RowWords = 32;
    static constexpr int ErasedWord = 0x3FFF;
    static constexpr int CoreStart = 512;
    static constexpr int DeviceIdWord = 0x8006;

    explicit SimDriverBootloader(const SimBootloaderConfig& config = SimBootloaderConfig());

    quint16 word(int address) const;
    void setWord(int address, quint16 value);
    void placeModule(const SimFlashModule& module);
    int idleTimeoutMs() const { return _config.idleTimeoutMs; }
    int rowsWritten() const { return _rowsWritten; }

    // One bootloader frame (checksum checked by the caller). The answer, or
    // nothing; startApplication is set when the frame tells the driver to leave.
    std::optional<QByteArray> command(
        const QByteArray& frame, SimDriverFaults* faults, bool& startApplication);

private:
    bool isFlash(int address) const;
    std::optional<QByteArray> readRow(const QByteArray& frame) const;
    std::optional<QByteArray> writeRow(const QByteArray& frame, SimDriverFaults* faults);
    std::optional<QByteArray> extended(const QByteArray& frame, bool& startApplication);
    quint16 moduleSums(int pages) const;

    SimBootloaderConfig _config;
    QVector<quint16> _flash;
    QVector<quint16> _configuration;
    int _rowsWritten = 0;
};

} // namespace tarvesk::sim
