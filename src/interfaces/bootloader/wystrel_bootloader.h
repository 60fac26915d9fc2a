#pragma once

#include "interfaces/bootloader/ibootloader.h"

namespace tarvesk::itf {

class BootloaderClock;
class DmxInterface;

// The bootloader protocol in Wystrel bootloader frames on a DMX interface
// (with banana mode, on to the driver behind the box's Dorvane port). Row
// reads carry each word low byte first, row writes high byte first.
//
// A row list is checked whole before the first row goes out (four hex digits
// of an address on a row boundary, then 128 hex digits): a bad row writes
// nothing. The status byte of a row write is logged, not judged; a read back
// tells whether the row took.
class WystrelBootloader : public IBootloader
{
    Q_OBJECT

public:
    static constexpr int DatastoreRowAddress = 0x780;
    static constexpr int RowWords = 32;
    static constexpr int RowDigits = 4 * RowWords;
    static constexpr unsigned int VerifiedTimeoutMs = 400;
    static constexpr int CommandRetries = 5;
    static constexpr int CommandAnswerTimeout = 5000;
    static constexpr int EraseAnswerTimeout = 65000;
    static constexpr int SpamAnswerTimeout = 3000;
    static constexpr int SpamRetries = 3;

    WystrelBootloader(DmxInterface* dmx, bool bananaMode);
    ~WystrelBootloader() override;

    bool checkDeviceInBootloaderMode() override;
    int writeRows(QStringList rows, int& count, int& retryCount, unsigned char deviceAddress) override;
    int sendBootloaderSpam(int timeMs, bool& entered, int& elapsedMs) override;
    int erasePage(unsigned char page) override;
    int readRowAddress(
        int address, unsigned char& version, QString& rowText, unsigned char deviceAddress) override;
    int getHardwareSystemInfo(unsigned short& first, unsigned short& second) override;
    int stopBootloaderMode() override;
    int sendBootloaderCommand(
        proto::WystrelPacket& request, proto::Options& options, proto::WystrelPacket& answer) override;
    void finalizeWriteRows() override;
    // Writes one row; `retries` gets the times the frame had to go out again
    // before the bootloader's answer came back valid.
    virtual int writeRowAddress(unsigned short address, QString rowData, unsigned char& status, int& retries,
        unsigned char deviceAddress);

    // Single frames for service tools, each answering with its bus status.
    // Special parameter 254 set to `mode` straight away (no prime unlock first).
    int setSpecialVolatileMode(unsigned char mode);
    int sendWriteTemperatureCorrection(unsigned char value);
    int sendReadHwSysInfo(unsigned short& first, unsigned short& second);
    // -25 for an empty slot or a header out of range.
    int sendReadPageInfoFirst(int address, unsigned short& id, unsigned char& size, unsigned char& version);
    int sendReadPageInfoSecond(
        int address, unsigned char& version, unsigned char& subversion, unsigned char& version2);
    // -53 when the bootloader reports that the page was not erased.
    int sendErasePage(unsigned char page);
    int sendReadNoPages(unsigned short& coreEnd, unsigned char& pageCount, int retryCount);
    // -50 when the modules of the first `count` pages do not sum to their checksums.
    int sendCheckChecksum(int count);

    // 0, or the reason the list cannot be written (-51 a row of the wrong
    // length, -52 not hexadecimal, -53 an address off a row boundary).
    static int checkRows(const QStringList& rows, QString* badRow = nullptr);

    DmxInterface* getDmxInterface() const { return _dmx; }
    bool isBananaMode() const { return _bananaMode; }
    BootloaderClock& clock() const { return *_clock; }
    // The clock of the spam and the pauses; the system clock unless a test gives another.
    void setClock(BootloaderClock* clock);

protected:
    // One bootloader frame out on the DMX port and its answer checked. Retries
    // and an awaited answer are the defaults a caller did not set; the answer
    // wait is answerTimeoutMs, or the caller's when keepCallersWait. Emits
    // bootloaderModeVerified after an answer (only a valid one when
    // verifiedOnlyWhenValid).
    int exchange(DmxInterface* dmx, proto::WystrelPacket& request, proto::Options& options,
        proto::WystrelPacket& answer, int answerTimeoutMs, bool keepCallersWait,
        unsigned int verifiedTimeoutMs, bool verifiedOnlyWhenValid);

    // The row loop shared with the Vandrel bootloaders: the list is checked,
    // then the rows go out in order until one fails (logged with failureText).
    int writeRowList(const QStringList& rows, int& retryCount, unsigned char deviceAddress,
        const QString& failureText, bool withRowText);

private:
    // One bootloader frame and its answer, with the options given (none when null).
    int ask(proto::WystrelPacket& request, proto::WystrelPacket& answer, proto::Options* options = nullptr);

    DmxInterface* _dmx; // not owned
    const bool _bananaMode;
    BootloaderClock* _clock;
};

} // namespace tarvesk::itf
