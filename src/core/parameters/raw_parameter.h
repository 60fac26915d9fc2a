#pragma once

#include "core/parameters/parameter.h"

namespace tarvesk::core {

class IDevice;
class RawParameterInterface;

// A parameter whose value lives in some bits of a byte, word or long word of
// device memory, reached through a raw parameter interface of its device.
// Values keep their bit position: a field in bits 8..15 reads as a multiple
// of 256, and a value to write must already stand in those bits.
class RawParameter : public Parameter
{
    Q_OBJECT

public:
    RawParameter(const QString& identifier, int address, const QString& rawInterface);

    // Set by the device that takes a copy of the parameter; not owned.
    void setDeviceInterface(IDevice* device) { _deviceInterface = device; }
    // Both throw ParameterError when the device or its interface is missing.
    IDevice* getDeviceInterface() const;
    RawParameterInterface* getRawInterface() const;

    // Brings the settings that the value depends on up to date before a value
    // is reported; built-in driver parameters override it.
    virtual void setParameterDependencies() { }

    IParameter* clone() override;
    // Subclasses read memory in readRawValue, which reports the bus status;
    // getRawValue is derived from it (an invalid variant when the read
    // failed), so that the two never disagree.
    QVariant getRawValue() final;
    int readRawValue(QVariant& out) override;

protected:
    // One access at the parameter's width and address; they return the bus
    // status and throw ParameterError when the interface is missing.
    int readWord(unsigned int& word) const;
    int writeWord(unsigned int word) const;

private:
    IDevice* _deviceInterface = nullptr;
};

} // namespace tarvesk::core
