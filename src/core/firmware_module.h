#pragma once

#include <QString>

#include <array>

namespace tarvesk::core {

class Firmware;

// One firmware module in a driver's 14-bit flash: where it lies (start and
// last word, in units of 256 words), what it is (id, version, subversion), the
// file it comes from and the entry words of its header.
//
// Header at the start address: word 0 holds id bits 0..7, size - 1 in bits
// 8..10 and id bits 8..10 in bits 11..13; word 1 the version (bits 0..7) and
// subversion (bits 8..13); words 3..10 the entry words. The module's last word
// holds its checksum, so that all its words sum to 0 modulo 0x4000.
class FirmwareModule
{
public:
    enum EntryWord { INIT, REINIT, STANDBY, RESTART, TASK_ALL, SPECIAL, RESERVED, MAIN, ENTRY_WORD_COUNT };

    explicit FirmwareModule(Firmware* image);
    // Reads the module header at address in the image (see calcModuleData).
    FirmwareModule(Firmware* image, int address);
    // A module that a bootloader reports: no image; see fromPageInfo.
    FirmwareModule(int id, int version, int subversion, int size, const QString& extension, int start);

    // Reads the header at address. Reading a module writes its checksum into
    // its last word when that word is erased: that is how the checksum word
    // gets programmed. A module without an image changes nothing: false.
    bool calcModuleData(int address);
    void fromPageInfo(int id, int version, int subversion, int size, const QString& extension, int start);
    // Sets the module from a module file name such as i001v00203s008p05test.hex;
    // false when the name is not one (only the file name is taken then).
    bool fromFileNameString(const QString& path);
    void setEncryptionType(const QString& type);
    // True when the module's words sum to 0 modulo 0x4000 (the Core module
    // always passes); false for a module without an image.
    bool verifyChecksum() const;
    // Moves the module's words in its image to a page (0..15) and writes a new
    // checksum there. Every word from the old start to 0x3FFF is erased first.
    bool moveToPage(int page);
    void debugPrint() const;

    int getModuleId() const { return _moduleId; }
    void setModuleId(int id) { _moduleId = id; }
    int getStartAddress() const { return _startAddress; }
    void setStartAddress(int address) { _startAddress = address; }
    int getEndAddress() const { return _endAddress; }
    void setEndAddress(int address) { _endAddress = address; }
    int getModuleSize() const { return _size; }
    void setModuleSize(int size) { _size = size; }
    int getModuleVersion() const { return _version; }
    void setModuleVersion(int version) { _version = version; }
    int getModuleSubversion() const { return _subversion; }
    void setModuleSubversion(int subversion) { _subversion = subversion; }
    int getProcessorId() const { return _processorId; }
    const QString& getFileName() const { return _fileName; }
    void setRawFileName(const QString& name) { _fileName = name; }
    const QString& getEncryptionType() const { return _encryptionType; }
    const QString& getRevisionString() const { return _revisionString; }
    void setRevisionString(const QString& revision) { _revisionString = revision; }
    const QString& getComment() const { return _comment; }
    int getChecksum() const { return _checksum; }
    int getEntryWord(EntryWord entry) const { return _entryWords.at(entry); }

    bool isCore() const { return _moduleId == 0; }
    bool isDebugVersion() const { return !_comment.isEmpty(); }
    QString getModuleName() const { return getModuleNameByID(_moduleId); }
    QString getProcessorName() const;
    int getModulePage() const { return _startAddress / 2048; }
    int getModuleSubsectionStart() const { return (_startAddress % 2048) / 256; }

    static QString getModuleNameByID(int id);
    // -1 for an id without a slot of its own.
    static int getModuleStartAddressById(int id);
    // The module-text row that, written over a module's first row, keeps the
    // driver usable without the module; empty for ids that have none.
    static QString getUnbrickableRowByModuleId(int id);

private:
    Firmware* _image = nullptr; // not owned
    int _startAddress = -1;
    int _endAddress = -1;
    int _moduleId = -1;
    int _size = -1;
    int _version = -1;
    int _subversion = -1;
    int _processorId = -1;
    QString _fileName;
    QString _encryptionType;
    QString _revisionString;
    std::array<int, ENTRY_WORD_COUNT> _entryWords {};
    int _checksum = 0;
    QString _comment;
};

} // namespace tarvesk::core
