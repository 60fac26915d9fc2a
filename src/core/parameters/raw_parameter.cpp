#include "core/parameters/raw_parameter.h"

#include "core/core_errors.h"
#include "core/idevice.h"
#include "core/parameters/parameter_logging.h"
#include "core/parameters/raw_parameter_interface.h"

#include <QDebug>

namespace tarvesk::core {

RawParameter::RawParameter(const QString& identifier, int address, const QString& rawInterface)
    : Parameter(identifier, ITF_RES_BYTE, PARAM_READ_WRITE)
{
    setAddress(address);
    setRawInterfaceIdentifier(rawInterface);
}

IDevice* RawParameter::getDeviceInterface() const
{
    if (!_deviceInterface)
        throwError(QStringLiteral("Parent of parameter %1 is not a device").arg(getIdentifier()));
    return _deviceInterface;
}

RawParameterInterface* RawParameter::getRawInterface() const
{
    RawParameterInterface* itf = getDeviceInterface()->getRawParameterInterface(getRawInterfaceIdentifier());
    if (!itf)
        throwError(QStringLiteral("Device does not contain required interface to communicate with firmware"));
    return itf;
}

int RawParameter::readWord(unsigned int& word) const
{
    return getRawInterface()->getParameter(getNetworkResolution(), getAddress(), word);
}

int RawParameter::writeWord(unsigned int word) const
{
    return getRawInterface()->setParameter(getNetworkResolution(), getAddress(), word);
}

IParameter* RawParameter::clone()
{
    auto* copy = new RawParameter(getIdentifier(), -1, presmondeInterface());
    copy->copyFrom(this);
    return copy;
}

int RawParameter::readRawValue(QVariant& out)
{
    // The base form reads no memory: it checks that the memory is reachable,
    // updates what the value depends on, and reports the held value.
    try {
        getRawInterface();
        setParameterDependencies();
    } catch (const ParameterError& e) {
        qCWarning(parameterLog()).noquote() << e.what();
    }
    out = Parameter::getRawValue();
    return 0;
}

QVariant RawParameter::getRawValue()
{
    QVariant value;
    return readRawValue(value) == 0 ? value : QVariant();
}

} // namespace tarvesk::core
