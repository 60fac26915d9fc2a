#pragma once

namespace tarvesk::core {

class IRawParameter;

// The lightshape module of a Presmonde driver: whether it is enabled in the
// driver's configuration and whether it is running.
class ILightShapeModule
{
public:
    virtual ~ILightShapeModule() = default;
    virtual bool isActive() const = 0;
    virtual bool isEnabled() const = 0;
};

// Reads the module's two bits through a raw interface it does not own; a
// null interface or a failed read throws ParameterError.
class LightShapeModule : public ILightShapeModule
{
public:
    static constexpr int ActiveAddress = 105;
    static constexpr unsigned ActiveBit = 0x80;
    static constexpr int EnableAddress = 16358; // 0x3FE6
    static constexpr unsigned EnableBit = 0x20;

    explicit LightShapeModule(IRawParameter* rawInterface);

    bool isActive() const override;
    bool isEnabled() const override;

private:
    unsigned readByte(int address) const;

    IRawParameter* _rawInterface;
};

} // namespace tarvesk::core
