#pragma once

#include <QObject>

namespace tarvesk::core {

// The product record as scripts and feature loaders see it: a QObject whose
// invokable operations (in DeviceInfoRecord) are visible to the feature scripts.
class IDeviceInfoRecord : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~IDeviceInfoRecord() override = default;
};

} // namespace tarvesk::core
