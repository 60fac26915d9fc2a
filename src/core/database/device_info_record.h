#pragma once

#include "core/database/idevice_info_record.h"

#include <QJsonObject>
#include <QVariant>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tarvesk::core {

// One product record of the product database: a product (device class, OEM id,
// product id) from a minimum firmware version on. Built once while the database
// loads and only read afterwards.
class DeviceInfoRecord : public IDeviceInfoRecord
{
    Q_OBJECT

public:
    // The interface kind of a product; the texts are the fifth part of profile
    // type names. Distinct from the bus InterfaceType of the core.
    enum InterfaceType : int {
        DORVANE_WY = 1,
        DORVANE = 2,
        DMX = 3,
        DMX_WY = 4,
        DALI = 5,
        V10 = 6,
        USB = 7,
        SPI = 8,
        SCPI = 9,
        TCP = 10,
        VIRTUAL = 11,
        BOOTLOADER = 12,
        BLE = 13,
    };

    DeviceInfoRecord(QJsonObject attributes, unsigned char deviceClass, unsigned char oemId,
        unsigned char productId, unsigned short minVersion, std::string_view name);

    unsigned char getDeviceClass() const { return _deviceClass; }
    unsigned char getOemId() const { return _oemId; }
    Q_INVOKABLE uint8_t getProductId() const { return _productId; }
    unsigned short getMinimumVersion() const { return _minVersion; }
    const std::string& getProductName() const { return _productName; }

    void setProductGroup(std::string_view group) { _productGroup = group; }
    std::string getProductGroup() const { return _productGroup; }
    void setSingleChannelVersion(int version) { _singleChannelVersion = version; }
    int getSingleChannelVersion() const { return _singleChannelVersion; }
    void setAuxVersion(int version) { _auxVersion = version; }
    int getAuxVersion() const { return _auxVersion; }
    void setNordhuneCount(int count) { _nordhuneCount = count; }
    int getNordhuneCount() const { return _nordhuneCount; }
    void setOutputCount(int count) { _outputCount = count; }
    int getOutputCount() const { return _outputCount; }
    void setIsImd(bool isImd) { _isImd = isImd; }
    bool isImd() const { return _isImd; }
    void setProfileSupport(bool support) { _profileSupport = support; }
    bool hasProfileSupport() const { return _profileSupport; }

    void addInterfaceType(std::string_view type) { _interfaceTypes.emplace_back(type); }
    bool hasInterfaceType(InterfaceType type) const;
    std::vector<std::string> getInterfaceTypes() const { return _interfaceTypes; }

    void addFeatures(const std::vector<std::string>& features) { _features = features; }
    std::vector<std::string> getFeatures() const { return _features; }

    void setGroups(const std::vector<std::string>& groups) { _groups = groups; }
    std::vector<std::string> getGroups() const { return _groups; }

    void addFormFactor(unsigned char value, std::string_view name);
    std::string getFormFactorName(unsigned char value) const;

    // "%1%2%3_%4_%5": class, OEM id and product id as two lower-case hex digits
    // each, the product name, and the interface text.
    std::string getProfileName(InterfaceType type) const;

    static uint64_t getUniqueProductId(
        unsigned char deviceClass, unsigned char oemId, unsigned char productId, unsigned short minVersion);
    static std::string interfaceEnumToString(InterfaceType type);
    static InterfaceType interfaceStringToEnum(std::string_view text);

    Q_INVOKABLE bool hasAttribute(QString attrName) const;
    // A JSON string gives a QString, a number a double, a boolean a bool;
    // anything else (null, array, object, missing) an invalid QVariant.
    Q_INVOKABLE QVariant getAttribute(QString attrName) const;

private:
    unsigned char _deviceClass;
    unsigned char _oemId;
    unsigned char _productId;
    unsigned short _minVersion;
    std::string _productName;
    std::string _productGroup = "none";
    int _singleChannelVersion = 0;
    int _auxVersion = 0;
    int _nordhuneCount = 0;
    int _outputCount = 4;
    bool _isImd = false;
    bool _profileSupport = false;
    std::map<unsigned char, std::string> _formFactors;
    std::vector<std::string> _interfaceTypes;
    std::vector<std::string> _features;
    std::vector<std::string> _groups;
    QJsonObject _attributes;
};

} // namespace tarvesk::core
