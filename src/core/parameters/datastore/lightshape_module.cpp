#include "core/parameters/datastore/lightshape_module.h"

#include "core/core_errors.h"
#include "core/parameters/iraw_parameter.h"

namespace tarvesk::core {

LightShapeModule::LightShapeModule(IRawParameter* rawInterface)
    : _rawInterface(rawInterface)
{
    if (!_rawInterface)
        throw ParameterError("Raw parameter interface is not defined");
}

unsigned LightShapeModule::readByte(int address) const
{
    unsigned int value = 0;
    if (_rawInterface->getParameter(ITF_RES_BYTE, address, value) != 0)
        throw ParameterError("Error reading parameter");
    return value;
}

bool LightShapeModule::isActive() const
{
    return (readByte(ActiveAddress) & ActiveBit) != 0;
}

bool LightShapeModule::isEnabled() const
{
    return (readByte(EnableAddress) & EnableBit) != 0;
}

} // namespace tarvesk::core
