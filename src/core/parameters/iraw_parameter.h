#pragma once

#include "core/network_resolution.h"

#include <QObject>
#include <QString>

namespace tarvesk::core {

// Raw access to one memory space of a device by access width and address.
// Both operations return a bus status: 0, or a negative code on failure.
class IRawParameter : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual QString getIdentificationString() const = 0;
    // Reads one value of the given width at the address; value is set only on success.
    virtual int getParameter(NetworkResolution resolution, int address, unsigned int& value) = 0;
    virtual int setParameter(NetworkResolution resolution, int address, unsigned int value) = 0;
};

} // namespace tarvesk::core
