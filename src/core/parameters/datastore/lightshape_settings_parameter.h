#pragma once

#include "core/parameters/datastore/builtin_parameter.h"
#include "core/parameters/raw_parameter.h"

#include <memory>
#include <optional>

namespace tarvesk::core {

class LightShapeRamBufferMemoryReadWrite;

// The lightshape profile of a Presmonde driver, as the list of its bytes:
// writing it stores the bytes in the driver's profile rows, reading it dumps
// the rows back as the JSON text of the list (trailing zero bytes left out).
class LightShapeSettingsParameter : public RawParameter
{
    Q_OBJECT

public:
    static constexpr int ProfileAddress = 15520; // the first profile row, 0x3CA0
    static constexpr int MaxProfileBytes = 180;

    LightShapeSettingsParameter();
    ~LightShapeSettingsParameter() override;
    QM_BUILTIN_CLONE(LightShapeSettingsParameter)

    // 0 when written, or skipped because lightshape is not active (nothing
    // is written then); ITF_ERR_INVALID_PARAM for a value that is no list of
    // bytes 0..255 or holds more than 180, refused before the driver is
    // asked; ITF_ERR_TRANSFER for a failed transfer; ITF_ERR_NO_DEVICE when
    // no device answered; ITF_ERR_UNSUPPORTED_MODULE without a raw interface.
    int setRawValue(QVariant value) override;
    int readRawValue(QVariant& out) override;

    bool isLightShapeActive() const;
    // Makes the writer over the device's raw interface; false when there is none.
    bool createFlashReadWriter();
    virtual void setParameterVisibility();

    // The bytes of a profile value: JSON text, or a list or map variant. An
    // object gives the members "0".."n-1" of its n members. Empty when the
    // value is no list of integers 0..255.
    static std::optional<QList<int>> decodeProfile(const QVariant& value);

private:
    std::unique_ptr<LightShapeRamBufferMemoryReadWrite> _writer;
};

} // namespace tarvesk::core
