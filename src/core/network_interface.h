#pragma once

#include "core/interface_type.h"
#include "core/network_resolution.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>

namespace tarvesk::core {

class Device;

// Base of every bus interface: its kind, what the hardware behind it supports,
// the lock around one request/answer exchange, the owning device and the
// bootloader proxy used for firmware updates through it.
class NetworkInterface : public QObject
{
    Q_OBJECT

public:
    explicit NetworkInterface(InterfaceType type);
    NetworkInterface(Device* parentDevice, InterfaceType type);
    ~NetworkInterface() override;

    // The interface lock; not recursive. It nests inside the device mutex and
    // outside the USB transfer mutex and the reply hand-over.
    void lock() { _mutex.lock(); }
    void unlock() { _mutex.unlock(); }

    Device* getParentDevice() const { return _parentDevice; }
    void setBootloaderProxyInterface(QObject* proxy);
    QObject* getBootloaderProxyInterface() const { return _bootloaderProxy; }
    void addCapability(InterfaceCapability capability) { _capabilities.append(capability); }
    bool hasCapability(InterfaceCapability capability) const { return _capabilities.contains(capability); }
    InterfaceType getInterfaceType() const { return _interfaceType; }
    QString getInterfaceTypeString() const { return interfaceTypeToString(_interfaceType); }

    static QString interfaceTypeToString(InterfaceType type);
    static InterfaceType interfaceTypeFromString(const QString& text);
    static QString interfaceFamilyFromType(const QString& text);
    static void initMeta();

private:
    QObject* _bootloaderProxy = nullptr; // owned; written during initialisation only
    Device* _parentDevice = nullptr;
    const InterfaceType _interfaceType;
    QList<InterfaceCapability> _capabilities; // written during initialisation only
    QMutex _mutex;
};

} // namespace tarvesk::core
