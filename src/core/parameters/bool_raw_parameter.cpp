#include "core/parameters/bool_raw_parameter.h"

#include "core/parameters/parameter_value.h"
#include "core/parameters/raw_parameter_interface.h"

namespace tarvesk::core {

BoolRawParameter::BoolRawParameter(const QString& identifier, int address, const QString& rawInterface)
    : RawParameter(identifier, address, rawInterface)
{
    setParameterType(PARAM_TYPE_BOOLEAN);
    setDefaultValue(false);
}

IParameter* BoolRawParameter::clone()
{
    auto* copy = new BoolRawParameter(getIdentifier(), -1, presmondeInterface());
    copy->copyFrom(this);
    return copy;
}

int BoolRawParameter::setRawValue(QVariant value)
{
    const bool on = checkedBool(value, getIdentifier());
    unsigned int word = 0;
    int status = readWord(word);
    if (status != 0)
        return status;
    // The lightshape control byte: only bits 0, 1 and 7 are kept, and bit 2
    // is always written as set before the active bit is applied.
    if (getAddress() == 105 && getIdentifier() == QLatin1String("light_shaping_active"))
        word = (word & 0x83u) | 0x04u;
    word = on ? (word | getBitmask()) : (word & ~getBitmask());
    status = writeWord(word);
    if (status != 0)
        return status;
    setActualValue(on);
    return 0;
}

int BoolRawParameter::readRawValue(QVariant& out)
{
    setParameterDependencies();
    unsigned int word = 0;
    const int status = readWord(word);
    if (status != 0)
        return status;
    out = QVariant((word & getBitmask()) != 0);
    return 0;
}

} // namespace tarvesk::core
