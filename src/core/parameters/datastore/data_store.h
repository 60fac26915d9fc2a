#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

namespace tarvesk::core {

class Firmware;
class Parameter;

// The firmware datastore of one flash image: 150 named parameters over the
// datastore words 1928..2047 and the configuration words 0x8000..0x800C that
// the bootloader copies from the chip. The reader fills the parameters from
// the image's words, the writer puts them back (data_store_memory_map.cpp).
class DataStore
{
public:
    enum StorageType : int {
        STORAGE_BYTE = 0,         // 8 bits, the low byte of a word
        STORAGE_SIX_BITS = 1,     // bits 13..8 of a word
        STORAGE_WORD = 2,         // a whole 14-bit word
        STORAGE_SWAPPED_WORD = 3, // a 16-bit value without its two lowest bits, byte-swapped
        STORAGE_PACKED_ASCII = 4, // packed 7-bit text over a run of words
        STORAGE_UINT16 = 5,       // computed from the configuration words
        STORAGE_STRING = 6        // text computed from the configuration words
    };
    enum StorageSign : int { STORAGE_UNSIGNED = 0, STORAGE_SIGNED = 1 };

    struct StorageInfo
    {
        StorageType type;
        StorageSign sign;
    };

    static constexpr int kHardwareTypeUndefined = 0x3FFF;

    // A store of an image that the caller owns; with convert, filled from it at once.
    DataStore(Firmware* parent, bool convert);
    // A store with an empty image of its own.
    DataStore();
    ~DataStore();
    DataStore(const DataStore&) = delete;
    DataStore& operator=(const DataStore&) = delete;

    Firmware* getParentFirmware() const { return _parent; }
    QMap<QString, Parameter*>& getDatastoreParameters() { return _parameters; }
    bool isInitialized() const { return _initialized; }
    void setInitialized() { _initialized = true; }
    int getCoreVersion() const { return _coreVersion; }
    void setCoreVersion(int version) { _coreVersion = version; }
    bool isOldCalibrationParametersInUse() const { return _oldCalibration; }
    void setOldCalibrationParametersInUse(bool inUse) { _oldCalibration = inUse; }
    // The chip identity words 0x8000..0x8003 as the last reading of the image
    // found them (0x3FFF for a word not read); empty before the first. Neither
    // a set value nor a later change of the image's words moves it, so the
    // values can be told from the chip they were read from.
    const QVector<int>& readChipIdentity() const { return _readChipIdentity; }

    // A datastore word as raw memory: -1 when unset.
    int getWord(int address) const;
    void setWord(int address, int value);

    void enableSubsetParameters(const QStringList& names);

    StorageType getStorageType(const QString& name) const;
    StorageSign getStorageSign(const QString& name) const;
    Parameter* getDSParameter(const QString& name) const;
    // Stores the value unchanged (no range check); null when there is no such
    // parameter or it refuses the value.
    Parameter* setDSParameter(const QString& name, const QVariant& value);
    // Whether a value that a client gives fits the named parameter: its type
    // (true or false, an option, a text), its range as a whole number, and
    // what its words hold (a byte, 30 ASCII characters). Empty when it fits,
    // with the value as the reader would have set it (a bool, an int or a
    // text) in `normalized`; otherwise why not, and nothing is touched.
    QString admitValue(const QString& name, const QVariant& value, QVariant* normalized) const;

    static int getProcessorIdByDevId(int deviceId);
    static QString getProcessorNameByProcId(int processorId);
    static QString getProcessorNameByDevId(int deviceId);
    static const QStringList& hardwareTypeNames();
    QString findHwDeviceType(int typeWord) const;
    int findHwDeviceNumber(const QString& name) const;
    // Silicon revision of the chip from the configuration words: 0, 1, or -1.
    int getDeviceRevision() const;

    // Reader and writer (data_store_memory_map.cpp).
    void convertMemoryMapToParameterValues();
    void convertParameterValuesToMemoryMap();
    void setParameterToWord(const QString& name, int address, bool swapped);
    void setLowHighParameterToWord(
        const QString& lowName, int lowAddress, const QString& highName, int highAddress);
    void setParamFlagInWord(const QString& name, int bit, int& word);
    void setParameterToLowByte(const QString& name, int address);
    void setParameterToHighByte(const QString& name, int address);
    void setHighParameterToWord(const QString& name, int address);

    void debugPrint() const;

private:
    void addParameters();
    Parameter* addParameter(const QString& name, const QString& group, StorageType type, StorageSign sign);
    Parameter* addParamToParamList(const QString& name, Parameter* parameter);
    void addFlagParameters();

    // Reader helpers.
    void readWord(const QString& name, int address);
    void readSigned14(const QString& name, int address);
    void readSwapped(const QString& name, int address, bool isSigned);
    void readPair(const QString& lowName, const QString& highName, int address);
    void readFlag(const QString& name, int address, int bit);
    void readCalibrationSet(const QStringList& names, const QVector<int>& firstWords);
    // Writer helpers.
    bool parameterInt(const QString& name, int& value) const;
    bool parameterBool(const QString& name) const;
    void writeCalibrationSet(const QStringList& names, const QVector<int>& firstWords);

    Firmware* _parent = nullptr;
    QMap<QString, Parameter*> _parameters; // owned
    bool _ownsParent = false;
    QMap<QString, StorageInfo> _storage;
    int _coreVersion = 0;
    bool _initialized = false;
    bool _oldCalibration = false;
    QVector<int> _readChipIdentity;
};

// One row of the datastore's table. The word address is the table's own
// record; where a value really lives is coded in the memory map.
struct DataStoreParam
{
    QString name;
    int address;
    QString group;
    DataStore::StorageType type;
    DataStore::StorageSign sign;
};

// The 131 table rows in their fixed order.
const QVector<DataStoreParam>& dataStoreParamTable();

} // namespace tarvesk::core
