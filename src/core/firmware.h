#pragma once

#include "core/firmware_text.h"

#include <QList>
#include <QString>
#include <QVector>

#include <map>
#include <memory>

namespace tarvesk::core {

class DataStore;
class FirmwareModule;

// The in-memory image of a driver's program flash: 14-bit words by word
// address (rows of 32, pages of 2048), the firmware modules found in it and the
// datastore that names some of its words.
//
// A word that was never written is unset (-1). Raw reads (getWord) give -1 for
// it; flash reads (getUnsignedWord, getSignedWord, the checksum, the text
// writers, packed ASCII) read it as erased flash, 0x3FFF. An address before 0
// or past the end reads like an unset word and is never written.
//
// The swapped form of a word w is the 16-bit value with w's low byte as its
// high byte and w's bits 8..13 in bits 7..2, as some datastore values are kept.
class Firmware
{
public:
    static constexpr int kWordsPerRow = 32;
    static constexpr int kWordsPerPage = 2048;
    static constexpr int kProgramPages = 8;
    static constexpr int kErasedWord = 0x3FFF;
    static constexpr int kConfigurationWords = 0x8000;
    // No 14-bit device's image reaches past a 16-bit row address plus a row;
    // a write beyond this is refused rather than growing the image without end.
    static constexpr int kWordLimit = 0x20000;

    Firmware();
    ~Firmware();
    Firmware(const Firmware&) = delete;
    Firmware& operator=(const Firmware&) = delete;

    int getWord(int address, bool swapped = false) const;
    quint16 getUnsignedWord(int address, bool swapped = false) const;
    int getSignedWord(int address, bool swapped = false) const;
    // Stores value & 0x3FFF, or unset for -1.
    void setWord(int address, int value);
    void setSwappedWord(int address, int value);
    QVector<int> getFirmwareData() const { return _words; }
    // Replaces all words (then searches the modules); the datastore is not refreshed.
    void importDataMap(const QVector<int>& words);
    DataStore* getDataStore() const { return _dataStore.get(); }

    int getRowForAddress(int address) const { return address / kWordsPerRow; }
    int getPageNoForRow(int address) const { return address / kWordsPerPage; }
    int getFirstRow() const;
    int getLastRow() const;

    // Readable: "AAAA : WWWW WWWW ... " with "----" for unset words; compact:
    // the address and the 32 words without separators, unset words as 3FFF.
    QString getRowHexString(int row, bool readable) const;
    // A row as the bootloader delivers it: 130 characters, 32 words of 4
    // hexadecimal digits (low byte first with swap). 0, -51 or -52.
    int setFirmwareRow(unsigned short address, const QString& text, bool swap);
    bool isRowEmpty(int row) const;
    bool isRowEqual(int row, const Firmware* other) const;
    bool isPageEmpty(int page) const;
    void randomPageData(int page);
    // 0x4000 minus the 14-bit sum of the words start..end-1 (1..0x4000).
    int calcChecksum(int start, int end) const;

    // Module text of the words start..end inclusive; 0, or -53 for a range
    // that starts below 512 or is empty.
    int exportBlockString(QString& out, int start, int end) const;
    int exportModString(QString& out, int moduleId) const;
    // Both imports check the whole text before the first word is stored and
    // report a refusal through error (line and fault) when it is given.
    bool importModString(
        const QString& text, QList<int>& addresses, int& firstAddress, FirmwareTextError* error = nullptr);
    bool importHexString(const QString& text, FirmwareTextError* error = nullptr);

    // Packed 7-bit ASCII over the words start..end-1: a count word, then two
    // characters a word. An erased count reads as empty text; a count above
    // the capacity is cut to it.
    QString getPackedAsciiString(int start, int end) const;
    // 0; -52 for a text that does not fit or is not ASCII (nothing written);
    // -53 for a field without a count word.
    int setPackedAsciiString(int start, int end, const QString& text);

    void searchModules();
    // Takes ownership; every module the new one overlaps is removed and deleted.
    void addModule(FirmwareModule* module);
    FirmwareModule* getModuleByStartAddress(int address) const;
    FirmwareModule* getModuleById(int id) const;
    // Appends the modules sorted by id, highest first; the image keeps them.
    void getModuleList(QList<FirmwareModule*>& list) const;
    void clearModules();
    // Takes a module out of the map without deleting it; null when it is not there.
    FirmwareModule* releaseModule(FirmwareModule* module);

    void debugPrintRowHeader() const;
    void debugPrintRow(int row) const;
    void debugPrintPage(int page) const;
    void debugPrint();

private:
    void storeModule(FirmwareModule* module);
    void storeWords(const QVector<FirmwareWord>& words);

    QVector<int> _words;
    std::unique_ptr<DataStore> _dataStore;
    std::map<int, std::unique_ptr<FirmwareModule>> _modules;
    int _lowestWritten = 100000;
    int _highestWritten = 0;
};

bool moduleGreaterThan(const FirmwareModule* a, const FirmwareModule* b);

} // namespace tarvesk::core
