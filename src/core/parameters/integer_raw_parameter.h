#pragma once

#include "core/parameters/raw_parameter.h"

namespace tarvesk::core {

// A bit field read as a number, with the colour-temperature conversions.
class IntegerRawParameter : public RawParameter
{
    Q_OBJECT

public:
    IntegerRawParameter(const QString& identifier, int address, const QString& rawInterface, int bitmask);

    IParameter* clone() override;
    // Writes (value AND mask) OR (word AND NOT mask).
    int setRawValue(QVariant value) override;
    int readRawValue(QVariant& out) override;

    int kelvinToMirek(int kelvin) const;
    // Clamped to the limits, whatever numeric form they are held in.
    int mirekToKelvin(int mirek) const;
};

} // namespace tarvesk::core
