#pragma once

#include "core/parameters/raw_parameter.h"

namespace tarvesk::core {

// A whole memory word defined at run time (by a client or a script): the bit
// mask is not applied.
class CustomRawParameter : public RawParameter
{
    Q_OBJECT

public:
    // Throws ParameterError for a resolution text other than "ITF_RES_BYTE",
    // "ITF_RES_WORD" and "ITF_RES_LONG".
    CustomRawParameter(
        const QString& identifier, int address, const QString& resolution, const QString& rawInterface);

    IParameter* clone() override;
    int setRawValue(QVariant value) override;
    int readRawValue(QVariant& out) override;
};

} // namespace tarvesk::core
