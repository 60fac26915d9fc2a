#pragma once

#include "core/device.h"

#include <QString>

#include <map>
#include <string>
#include <vector>

namespace tarvesk::core {
class IFeatureRepository;
class IParameterRepository;
class Parameter;
} // namespace tarvesk::core

namespace tarvesk::itf {
class DaliInterface;
}

namespace tarvesk::devices {

// One DALI address on a DALI line: a control gear (short address), a group or
// the broadcast address. Reaches the gear only through its universe's DALI
// interface, with the standard IEC 62386-102 and -207 queries and stores and
// memory-bank reads; its parameters are the fixed 102/207 set and the D4i
// memory-bank parameters (IEC 62386 Parts 250 to 253).
class DaliDevice : public core::Device
{
public:
    // How a parameter of the DALI table is read.
    enum DaliParamKind { INT_QUERY = 0, BOOL_QUERY = 1, MEMBANK_INT = 2 };

    struct DaliParamEntry
    {
        DaliParamKind kind = INT_QUERY;
        QString identifier;
        uchar queryCommand = 0;
        uchar storeCommand = 0; // 0: read-only
        uchar deviceType = 0;   // 0: IEC 62386-102; else ENABLE DEVICE TYPE first
        uchar memoryBank = 0;
        uchar memoryLocation = 0;
    };

    // The D4i features, in the order their parameters are added.
    static const std::vector<std::string>& d4iFeatureIds();

    // address: the DALI address byte as sent (2a + 1, 0x80 + 2g + 1, 0xFF);
    // virtual: a gear that a Dorvane driver carries (only the name shows it).
    DaliDevice(core::Universe* universe, unsigned char address, bool isVirtual);
    ~DaliDevice() override;

    // Memory-bank actions, the 102/207 parameters, the D4i features, the name
    // and the revision read from memory bank 0. Always 0: nothing here keeps
    // the device from being used (a D4i feature that cannot be built is logged
    // and left out).
    int initializeDeviceInfo(service::AbstractDatabase* database) override;
    void initializeInterfaces() override { }
    core::InterfaceType getInterfaceType() const override { return core::ITF_TYPE_DALI; }
    int getParamCallback(core::Parameter* param) override;
    int setParamCallback(core::Parameter* param, QVariant value) override;
    std::shared_ptr<itf::IDali> getDaliInterface() override;

    unsigned char getAddress() const { return _address; }
    itf::DaliInterface* daliInterface() const { return _dali; }
    const std::map<QString, DaliParamEntry>& parameterTable() const { return _table; }

    void addDali102Params();
    void addDali207Params();
    void addIntParameter(const QString& identifier, const QString& displayName, const QString& group,
        uchar queryCommand, uchar storeCommand, uchar deviceType);
    void addBoolParameter(const QString& identifier, const QString& displayName, const QString& group,
        uchar queryCommand, uchar storeCommand, uchar deviceType);
    void addMembankIntParameter(const QString& identifier, const QString& displayName, const QString& group,
        uchar memoryBank, uchar location);
    // The D4i parameters of the features, from the built-in catalogue.
    void addD4iParametersByFeatures(const std::vector<std::string>& featureIds);
    // The same from the given repositories. A feature whose definition or one
    // of whose parameter definitions is missing adds nothing and is logged.
    void addD4iParameters(const std::vector<std::string>& featureIds,
        const core::IFeatureRepository& features, const core::IParameterRepository& parameters);

    int handleIntQuery(core::Parameter* param, uchar queryCommand, uchar deviceType);
    int handleBoolQuery(core::Parameter* param, uchar queryCommand, uchar deviceType);
    int handleMembankIntQuery(core::Parameter* param, uchar memoryBank, uchar location);
    int handleIntStore(uchar storeCommand, uchar value, uchar deviceType);
    int handleAddToGroupParameter(uchar groupOffset, int mask, uchar deviceType);

private:
    void addTableParameter(const DaliParamEntry& entry, const QString& displayName, const QString& group,
        core::ParamType type, bool readOnly);
    int query(uchar queryCommand, uchar deviceType, uchar* answer);
    void readRevision();
    QString nameForAddress() const;

    itf::DaliInterface* _dali = nullptr; // the universe's
    unsigned char _address;
    bool _virtual;
    std::map<QString, DaliParamEntry> _table;
};

} // namespace tarvesk::devices
