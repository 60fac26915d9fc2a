#pragma once

#include "core/database/device_info_record.h"
#include "core/idevice.h"
#include "core/interface_type.h"
#include "core/item.h"
#include "core/network_interface.h"
#include "core/network_resolution.h"
#include "core/parameter_action_repository.h"
#include "core/parameters/iparameter.h"
#include "core/universe.h"
#include "protocol/packet_log.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <map>
#include <memory>
#include <vector>

namespace tarvesk::service {
class AbstractDatabase;
}

namespace tarvesk::core {

class GroupFilter;
class Parameter;
class Profile;
class ProfileType;
class RawParameterInterface;
class Step;

// Base class of every device the service knows: the Vandrel interface itself
// and every driver behind it. It holds the device's identity (read from the
// device and looked up in the product database), its capability flags, its
// connection status, its parameters and raw parameter interfaces, its child
// universes, its packet log and the device mutex, and it programs profiles.
//
// Ownership: the device owns its parameters, its raw parameter interfaces and
// its child universes (through the universe manager). It is itself owned by the
// device manager. Its universe and interface belong to the universe.
//
// The device mutex is not recursive. Whoever reads or writes parameters for a
// client (getAccessibleParameterList, setProfile, the device methods) holds it
// for the whole operation; the parameter callbacks run under it and must not
// take it again.
class Device : public Item, public IDevice
{
    Q_OBJECT
    Q_PROPERTY(tarvesk::core::NetworkInterface* parentInterface READ getInterface)
    Q_PROPERTY(tarvesk::core::DeviceInfoRecord* deviceInfoRecord READ getDeviceInfoRecord)
    Q_PROPERTY(unsigned version READ getVersion)
    Q_PROPERTY(unsigned oem_id READ getOemId)
    Q_PROPERTY(unsigned product_id READ getProductId)
    Q_PROPERTY(unsigned version_address READ getVersionAddress)
    Q_PROPERTY(unsigned oem_id_address READ getOemIdAddress)
    Q_PROPERTY(unsigned product_id_address READ getProductIdAddress)

public:
    enum ConnectionStatus { CONNECTED = 0, DISCONNECTED = 1 };
    Q_ENUM(ConnectionStatus)

    // States of a Vandrel device that its class reports and sets.
    enum Status {
        STATUS_DALI_CONNECTED = 0,
        STATUS_DORVANE_CONNECTED = 1,
        STATUS_DORVANE_MASTER_ENABLED = 2,
        STATUS_DORVANE_SLAVE_ENABLED = 3,
        STATUS_DORVANE_RESET_TRIGGER = 4
    };
    Q_ENUM(Status)

    // Which memory a raw parameter interface addresses.
    enum MemoryLocation { MEM_EE = 0, MEM_RAM = 1 };
    Q_ENUM(MemoryLocation)

    enum Capability {
        CAP_VD_LARGE_PACKETS = 0,
        CAP_VD_TIMEOUT_EVENT = 1,
        CAP_VD_DORVANE_ATOMIC_READ = 2,
        CAP_VD_BANANA_MODE = 3,
        CAP_VD_CORVALT_DALI = 4,
        CAP_VD_CORRECT_CHECKSUM = 5,
        CAP_VD_DV_MASTER = 6,
        CAP_VD_DALI_REPLY_SUPPORT = 7,
        CAP_VD_FACTORY = 8,
        CAP_VD_OEM = 9,
        CAP_VD_USER = 10,
        CAP_VD_FIX_DORVANE_HANGUP = 11,
        CAP_DORVANE = 12,
        CAP_DV1 = 13,
        CAP_DV2 = 14,
        CAP_ESTABLISH_CONNECTION = 15,
        CAP_FIRMWARE = 16,
        CAP_DATASTORE = 17,
        CAP_VD_STORE_FIRMWARE = 18,
        CAP_VD_CONFIG_DALI_SETTLING_TIME = 19,
        CAP_VD_BOOTLOADER_SPAM = 20,
        CAP_VD_BOOTLOADER_SPAM_RELIABILITY_UPDATE = 21,
        CAP_VD_EMBEDDED_BOOTLOADER_FUNCTIONS = 22,
        CAP_VD_FORMFACTOR = 23,
        CAP_VD_PARAM_GETSET = 24,
        CAP_CORRECT_DV_MASTER_STATE = 25,
        CAP_LIGHTSHAPE = 26
    };
    Q_ENUM(Capability)

    // The universe must have an interface of its default type.
    explicit Device(Universe* universe);
    ~Device() override;

    // The wire name of a capability; empty outside the table.
    static QString capabilityToString(Capability capability);

    // --- Initialisation (the order is fixed by initializeDeviceInfo) ---
    virtual int init();
    virtual int initializeDeviceInfo(service::AbstractDatabase* database);
    virtual void initializeInterfaces() { }
    virtual void finalizeDevice() { }
    virtual InterfaceType getInterfaceType() const = 0;
    virtual bool getSpecialName(service::AbstractDatabase* database, QString& name);
    virtual int readProductIdentifiers();
    // The product record's interface kind (DeviceInfoRecord::InterfaceType) of
    // this device's bus, which names its profile type. By default the kind
    // that means the same bus as getInterfaceType(); a Wystrel device answers
    // DORVANE_WY.
    virtual int productInterfaceType() const;
    // True when the device was given its profile type before initialisation
    // and keeps it: the product record then names the device, but the type is
    // not looked up again (a virtual device is made from one type of several
    // that the same product may have).
    virtual bool keepsProfileType() const { return false; }

    Q_INVOKABLE virtual QString readUniqueIdString() { return QString(); }
    Q_INVOKABLE virtual int writeUniqueIdString(QString uidStr);
    virtual bool deviceConnect();
    virtual bool deviceDisconnect();

    // --- Parameter callbacks: the bottom of every parameter read and write ---
    Q_INVOKABLE virtual int getParamCallback(tarvesk::core::Parameter* param);
    Q_INVOKABLE virtual int setParamCallback(tarvesk::core::Parameter* param, QVariant value);

    // --- IDevice ---
    QByteArray getIdentificationString() const override;
    Q_INVOKABLE tarvesk::core::IParameter* getParameterInterface(const QString& paramIdent) override;
    Q_INVOKABLE tarvesk::core::RawParameterInterface* getRawParameterInterface(
        const QString& paramItfType) override;
    std::shared_ptr<itf::IDali> getDaliInterface() override;

    // --- Profile application ---
    virtual int profileSetPre() { return 0; }
    virtual int profileSetPost(Step* step);

    virtual bool isStatusTrue(Status) { return false; }
    virtual int setStatus(Status status, int value);

    // --- Addresses of the identity fields in the "main" raw interface ---
    virtual unsigned getProductIdAddress() const { return _productId; }
    virtual unsigned getVersionAddress() const { return 0; }
    virtual NetworkResolution getVersionResolution() const { return ITF_RES_WORD; }
    virtual unsigned getSubversionAddress() const { return _subversion; }
    virtual bool hasSubversion() const { return true; }
    virtual unsigned getOemIdAddress() const { return 0; }
    virtual NetworkResolution getOemIdResolution() const { return ITF_RES_WORD; }
    virtual unsigned getFormFactorAddress() const { return 0; }

    // --- Capabilities ---
    void addCapability(Capability capability) { _capabilities.append(capability); }
    bool hasCapability(Capability capability) const { return _capabilities.contains(capability); }
    QList<Capability>::const_iterator capabilitiesBegin() const { return _capabilities.cbegin(); }
    QList<Capability>::const_iterator capabilitiesEnd() const { return _capabilities.cend(); }

    // --- Identity ---
    unsigned getVersion() const { return _version; }
    void setVersion(unsigned version) { _version = version; }
    unsigned getSubversion() const { return _subversion; }
    void setSubversion(unsigned subversion) { _subversion = subversion; }
    unsigned getProductId() const { return _productId; }
    void setProductId(unsigned productId) { _productId = productId; }
    unsigned getOemId() const { return _oemId; }
    void setOemId(unsigned oemId) { _oemId = oemId; }
    unsigned getFormFactor() const { return _formFactor; }
    void setFormFactor(unsigned formFactor) { _formFactor = formFactor; }
    unsigned getDeviceClass() const { return _deviceClass; }
    void setDeviceClass(unsigned deviceClass) { _deviceClass = deviceClass; }
    QString getUniqueIDString() const { return _uniqueId; }
    void setUniqueIDString(const QString& uniqueId) { _uniqueId = uniqueId; }
    QString getManufacturerString() const { return _manufacturer; }
    void setManufacturerString(const QString& manufacturer) { _manufacturer = manufacturer; }
    QString getRevisionString() const { return _revision; }
    void setRevisionString(const QString& revision) { _revision = revision; }
    Q_INVOKABLE tarvesk::core::DeviceInfoRecord* getDeviceInfoRecord() const { return _deviceInfoRecord; }
    void setDeviceInfoRecord(DeviceInfoRecord* record) { _deviceInfoRecord = record; }
    ProfileType* getProfileType() const { return _profileType; }
    // The product record's form-factor name; empty without a record.
    QString getFormFactorString() const;
    QString getAccessLevel() const { return _accessLevel; }

    // --- Connection ---
    bool isConnected() const { return _connectionStatus == CONNECTED; }
    ConnectionStatus getConnectionStatus() const { return _connectionStatus; }
    void setConnectionStatus(ConnectionStatus status) { _connectionStatus = status; }
    QString getStateString() const;

    NetworkInterface* getInterface() const { return _interface; }
    Universe* getUniverse() const { return _universe; }
    proto::PacketLog* getPacketLog() { return &_packetLog; }
    QMutex* getDeviceMutex() { return &_deviceMutex; }

    // --- Child universes (the buses behind this device) ---
    // Adds the universe to the universe manager and lists it here.
    void addChildUniverse(Universe* universe);
    // Removes it from the universe manager without force; only when that
    // succeeded (which deletes it) does it leave the list.
    bool removeChildUniverse(Universe* universe);
    QList<Universe*> getChildUniverses() const;

    // Writes the text as an information entry into this device's packet log and
    // into the logs of the devices above it (the parent device of each interface).
    void deviceHierarchyInfo(const QString& text);

    // --- Parameters ---
    // Takes the parameter over. A duplicate identifier is refused with a
    // warning (false); the caller then keeps the parameter.
    bool addParameter(IParameter* parameter);
    std::vector<IParameter*> getParameterList() const;
    // The parameters that a client at that access level may see, read with or
    // without bus access. Takes the device mutex. Returns 0, -3 when the device
    // is gone (the walk stops), or else the first read failure: a parameter that
    // cannot be read is left out and the walk goes on. A null filter admits
    // every group. With failures, each parameter left out for a failed read is
    // recorded there by pid with its status.
    int getAccessibleParameterList(QString accessLevel, bool update, std::vector<IParameter*>& out,
        GroupFilter* filter, std::map<QString, int>* failures = nullptr);
    // Copies the profile type's parameters onto the device (without the
    // "LightShape" group unless the device has CAP_LIGHTSHAPE).
    void setProfileType(ProfileType* type);
    bool isAccessLevelSupported(const QString& level) const;

    // --- Raw parameter interfaces ---
    // Takes the interface over and stores it under its identifier; one of the
    // same identifier that was there before is deleted (and, if it was the main
    // interface, the new one takes its place). With isMain it becomes "main".
    void addRawParameterInterface(RawParameterInterface* itf, bool isMain);
    QHash<QString, RawParameterInterface*>::const_iterator rawInterfaceBegin() const
    {
        return _rawInterfaces.cbegin();
    }
    QHash<QString, RawParameterInterface*>::const_iterator rawInterfaceEnd() const
    {
        return _rawInterfaces.cend();
    }

    ParameterActionRepository& getActionRepository() { return _actions; }

    // --- Applying a profile ---
    // Writes the profile into the device stage by stage, recording every step
    // under root. Holds the device mutex for the whole run, on every way out.
    int setProfile(Profile* profile, QString accessLevel, Step& root, bool validateSetParams, bool validate);
    bool doStepIsLxActive(Step& root, Profile* profile);
    int setParameters(Profile* profile, QString accessLevel, bool lxActive, Step* parent, bool readBack);
    int verifyMinimumDimmingLevel(IParameter* profileParameter, QVariant readBack, Step* parent);
    bool isDt8();
    int resetDali(Step* step);
    int finalParameterValidation(Profile* profile, QString accessLevel, bool lxActive, Step* parent);
    QList<int> bytesFromLightShapeProfileString(const QString& text) const;

    // How long control gear may take to process a DALI RESET (IEC 62386-102).
    static constexpr int DALI_RESET_SETTLE_MS = 300;

protected:
    // Waits on the bus for that long. Device classes and tests may replace it.
    virtual void busDelay(int milliseconds);

private:
    int readRawIdentifier(
        RawParameterInterface* itf, NetworkResolution resolution, unsigned address, unsigned& value);
    int writeProfileParameter(IParameter* profileParameter, const QString& accessLevel, bool lxActive,
        Step* levelStep, bool readBack);
    int restoreAfterReset(Step* step, IParameter* target, const QString& name, const QVariant& value);

    QMutex _deviceMutex;
    proto::PacketLog _packetLog;
    ParameterActionRepository _actions;
    QPointer<NetworkInterface> _interface; // owned by the universe
    QPointer<Universe> _universe;          // the universe that lists this device
    QString _accessLevel = QStringLiteral("user_detailed");
    QString _uniqueId;
    QString _manufacturer;
    QString _revision;
    ConnectionStatus _connectionStatus = DISCONNECTED;
    std::map<QString, IParameter*> _parameters;            // owned
    QHash<QString, RawParameterInterface*> _rawInterfaces; // owned
    ProfileType* _profileType = nullptr;                   // held by the product database
    DeviceInfoRecord* _deviceInfoRecord = nullptr;         // held by the product database
    RawParameterInterface* _mainRawInterface = nullptr;    // one of _rawInterfaces
    unsigned _version = 0;
    unsigned _subversion = 0;
    unsigned _productId = 0;
    unsigned _oemId = 0;
    unsigned _formFactor = 0;
    unsigned _deviceClass = 0;
    QList<Capability> _capabilities;
    QList<QPointer<Universe>> _childUniverses; // deleted through the universe manager
};

} // namespace tarvesk::core
