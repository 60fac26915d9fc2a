#pragma once

#include "devices/dmx_device.h"
#include "interfaces/dali_interface.h"

#include <memory>

namespace tarvesk::proto {
class DmxPacket;
class RdmPacket;
class WystrelPacket;
} // namespace tarvesk::proto

namespace tarvesk::itf {
class DaliInterface;
class DmxInterface;
class WystrelDaliInterface;
} // namespace tarvesk::itf

namespace tarvesk::devices {

class DmxDeviceRawBraskInterface;

// A driver on a DMX line that answers back. Found by RDM discovery (by its
// RDM UID, described through RDM parameter messages and, when it also speaks
// Wystrel, through its memory) or by the Wystrel search (by its 32-bit UID,
// local id and skip count, described through its memory alone); it keeps
// that origin for its life. Memory is reached through the "presmonde" raw
// interface (the Wystrel parameter space) and the four Nordhune interfaces.
class DmxBidirDevice : public DmxDevice
{
    Q_OBJECT
    Q_PROPERTY(tarvesk::itf::DaliInterface* daliInterface READ getWystrelDaliInterface)

public:
    // The RDM manufacturer id and device id this service sends RDM requests from.
    static const QString ControllerUid;
    // Parameter 170 of the driver's parameter list tells the product apart.
    static constexpr unsigned short MaxCurrentParameter = 170;
    // Bounds of the parameter list walk: steps, and answerless repeats of one step.
    static constexpr int MaxWalkSteps = 256;
    static constexpr int MaxSilentRepeats = 3;

    // A driver found by RDM discovery, by its UID text ("7e2b:00000042").
    DmxBidirDevice(core::Universe* universe, QString uid);
    // A driver found by the Wystrel search.
    DmxBidirDevice(core::Universe* universe, int uid, int localId, int skipCount);
    ~DmxBidirDevice() override;

    // 8 lower-case hexadecimal digits of the 32-bit UID, unsigned.
    static QString wystrelUidText(quint32 uid);

    int initializeDeviceInfo(service::AbstractDatabase* database) override;
    void initializeInterfaces() override;
    core::InterfaceType getInterfaceType() const override;
    int productInterfaceType() const override;
    Q_INVOKABLE QString readUniqueIdString() override;
    Q_INVOKABLE int writeUniqueIdString(QString uidStr) override;
    Q_INVOKABLE int getParamCallback(tarvesk::core::Parameter* param) override;
    int readProductIdentifiers() override;
    unsigned getProductIdAddress() const override;
    unsigned getVersionAddress() const override { return 0; }
    core::NetworkResolution getVersionResolution() const override { return core::ITF_RES_WORD; }
    bool hasSubversion() const override { return false; }
    unsigned getOemIdAddress() const override;
    core::NetworkResolution getOemIdResolution() const override { return core::ITF_RES_WORD; }

    bool hasWystrel() const { return _wystrel; }
    int getUid() const { return _uid; }
    int getLocalId() const { return _localId; }
    int getSkipCount() const { return _skipCount; }
    itf::DaliInterface* getWystrelDaliInterface() const;

    // One exchange; a bus status. On success with an answer, *answer gets a
    // new packet that the caller deletes.
    int sendWystrel(proto::WystrelPacket* packet, proto::WystrelPacket** answer);
    int sendRdm(proto::RdmPacket* packet, proto::RdmPacket** answer);

    bool WY_findFirst();
    // true when the exchange succeeded; number and value change only when an answer came.
    bool WY_findNext(
        unsigned short previous, unsigned short& number, unsigned short& value, bool* answered = nullptr);
    // The value of parameter 170 from the driver's parameter list, or -1.
    int findMaxCurrent();

    core::Parameter* createIntParameter(QString identifier, QString displayName, unsigned int value);
    core::Parameter* createStringParameter(QString identifier, QString displayName, QString value);
    core::Parameter* createSensorParameter(int sensorIndex);

private:
    // One frame out on the line with the break time of its protocol; the answer, if any, in received.
    int exchange(proto::DmxPacket* packet, int breakTime, std::unique_ptr<proto::DmxPacket>& received);

    itf::DmxInterface* dmx() const;
    void probeWystrel();
    int initializeRdmInfo();
    // GET of the PID (with an optional data byte). 0 with a checked ACK in
    // answer, the send's status, or -11 when no usable answer came.
    int rdmGet(quint16 pid, std::unique_ptr<proto::RdmPacket>& answer, int dataByte = -1);
    int rdmText(quint16 pid, QString& text, bool& sendFailed);
    bool walkTo(unsigned short wanted, unsigned short& value);
    void recogniseProduct();
    bool isOwnProduct(unsigned oemLimit) const;

    bool _rdm;
    int _uid = 0;
    int _localId = 0;
    int _skipCount = 0;
    DmxDeviceRawBraskInterface* _brask = nullptr; // held in the raw interface table
    bool _wystrel = false;
    std::unique_ptr<itf::WystrelDaliInterface> _dali;
};

} // namespace tarvesk::devices
