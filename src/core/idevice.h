#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

namespace tarvesk::itf {
class IDali;
}

namespace tarvesk::core {

class IParameter;
class RawParameterInterface;

// What a parameter may ask of the device that holds it. Raw parameters reach
// device memory through the raw parameter interface that they name.
class IDevice
{
public:
    virtual ~IDevice() = default;

    // The item id in decimal, a blank and the item name in single quotes.
    virtual QByteArray getIdentificationString() const = 0;
    // The parameter with exactly that identifier, or null.
    virtual IParameter* getParameterInterface(const QString& identifier) = 0;
    // "main" gives the main interface; any other text the interface of that
    // identifier; null when there is none.
    virtual RawParameterInterface* getRawParameterInterface(const QString& name) = 0;
    virtual std::shared_ptr<itf::IDali> getDaliInterface() = 0;
};

} // namespace tarvesk::core
