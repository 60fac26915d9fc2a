#pragma once

#include "core/parameters/iraw_parameter.h"

#include <cstdint>

namespace tarvesk::core {

class IParameter;

// The identifier of a device's main raw interface: the parameter space of a
// driver, the register space of a Vandrel box. Profile types, built-in
// parameters and clients ("param_type") name it.
inline const QString& presmondeInterface()
{
    static const QString name = QStringLiteral("presmonde");
    return name;
}

// A named memory space of a device (a RAM, an EEPROM, the firmware's
// parameter space). The device classes implement the memory access; raw
// parameters find the interface through their device by its identifier.
class RawParameterInterface : public IRawParameter
{
    Q_OBJECT
    Q_PROPERTY(QString identifier READ getIdentifier)

public:
    // The device becomes the interface's parent and owner.
    RawParameterInterface(QObject* device, const QString& identifier);

    static void initMeta();

    QObject* getDevice() const { return parent(); }
    const QString& getIdentifier() const { return _identifier; }
    QString getIdentificationString() const override { return _identifier; }

    // For the feature scripts: read a value (then fetch it with
    // getLastAnswer) or write one, at the width of the given parameter.
    Q_INVOKABLE unsigned int getLastAnswer() const { return _lastAnswer; }
    Q_INVOKABLE int getParamWrapper(tarvesk::core::IParameter* param, int paramNumber);
    Q_INVOKABLE int setParamWrapper(
        tarvesk::core::IParameter* param, int paramNumber, unsigned int paramValue);

private:
    std::uint32_t _lastAnswer = 0;
    QString _identifier;
};

} // namespace tarvesk::core
