#pragma once

#include "core/parameters/raw_parameter.h"

#include <QMap>

namespace tarvesk::core {

// A bit field whose values have names. The table maps each raw value (already
// in its bit position) to its name; subclasses fill it, together with the
// enum options, in their constructors.
class EnumRawParameter : public RawParameter
{
    Q_OBJECT

public:
    EnumRawParameter(const QString& identifier, int address, const QString& rawInterface);

    // The name of raw AND mask, or an empty text when it has none.
    QString enumName(unsigned int raw) const;
    // The raw value of the name (the lowest one, should two share a name);
    // throws StringException listing the valid names otherwise.
    unsigned int enumValue(const QVariant& name) const;
    const QMap<quint32, QVariant>& getEnumTable() const { return _enumTable; }

    IParameter* clone() override;
    // Writes (word AND NOT mask) OR raw: the bits outside the field stay.
    int setRawValue(QVariant value) override;
    // Never writes. A memory value without a name reads as a failure
    // (ITF_ERR_INVALID_PARAM) with a warning.
    int readRawValue(QVariant& out) override;

protected:
    void addEnumValue(quint32 raw, const QVariant& name) { _enumTable.insert(raw, name); }

private:
    // Ordered by raw value, so that look-ups and messages do not depend on hashing.
    QMap<quint32, QVariant> _enumTable;
};

} // namespace tarvesk::core
