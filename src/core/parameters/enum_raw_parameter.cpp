#include "core/parameters/enum_raw_parameter.h"

#include "core/itf_error.h"
#include "core/parameters/parameter_logging.h"
#include "core/parameters/raw_parameter_interface.h"
#include "service/string_exception.h"

#include <QDebug>

namespace tarvesk::core {

EnumRawParameter::EnumRawParameter(const QString& identifier, int address, const QString& rawInterface)
    : RawParameter(identifier, address, rawInterface)
{
    setParameterType(PARAM_TYPE_ENUM);
}

QString EnumRawParameter::enumName(unsigned int raw) const
{
    const auto it = _enumTable.constFind(raw & getBitmask());
    return it == _enumTable.constEnd() ? QString() : it.value().toString();
}

unsigned int EnumRawParameter::enumValue(const QVariant& name) const
{
    for (auto it = _enumTable.constBegin(); it != _enumTable.constEnd(); ++it) {
        if (it.value() == name)
            return it.key();
    }
    QString names;
    for (const QVariant& known : _enumTable)
        names += QStringLiteral(" - ") + known.toString();
    // The location is part of the message that clients see.
    throw StringException(QStringLiteral("%1 is not a valid value for parameter %2. Use values  %3.")
                              .arg(name.toString(), getIdentifier(), names),
        QStringLiteral("src/core/parameters/enum_raw_parameter"), 79);
}

IParameter* EnumRawParameter::clone()
{
    auto* copy = new EnumRawParameter(getIdentifier(), -1, presmondeInterface());
    copy->copyFrom(this);
    copy->_enumTable = _enumTable;
    return copy;
}

int EnumRawParameter::setRawValue(QVariant value)
{
    // An unknown name is refused before the bus is touched.
    const unsigned int raw = enumValue(value);
    unsigned int word = 0;
    const int status = readWord(word);
    if (status != 0)
        return status;
    return writeWord((word & ~getBitmask()) | (raw & getBitmask()));
}

int EnumRawParameter::readRawValue(QVariant& out)
{
    unsigned int word = 0;
    const int status = readWord(word);
    if (status != 0)
        return status;
    setParameterDependencies();
    const QString name = enumName(word);
    if (name.isEmpty()) {
        qCWarning(parameterLog()).noquote()
            << QStringLiteral("Parameter %1 reads 0x%2, which has no named option")
                   .arg(getIdentifier())
                   .arg(word & getBitmask(), 0, 16);
        return ITF_ERR_INVALID_PARAM;
    }
    out = name;
    return 0;
}

} // namespace tarvesk::core
