#pragma once

#include "core/parameters/raw_parameter.h"

namespace tarvesk::core {

// A bit field read as a boolean: true when any bit of the mask is set.
class BoolRawParameter : public RawParameter
{
    Q_OBJECT

public:
    BoolRawParameter(const QString& identifier, int address, const QString& rawInterface);

    IParameter* clone() override;
    // Read, modify, write: sets or clears the mask bits, leaves the others.
    int setRawValue(QVariant value) override;
    int readRawValue(QVariant& out) override;
};

} // namespace tarvesk::core
