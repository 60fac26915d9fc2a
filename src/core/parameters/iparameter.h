#pragma once

#include "core/network_resolution.h"
#include "core/parameters/param_type.h"
#include "core/parameters/parameter_action_data.h"

#include <QObject>
#include <QString>
#include <QVariant>

#include <cstdint>

namespace tarvesk::core {

// How devices, profiles, methods and feature scripts see a parameter.
class IParameter : public QObject
{
    Q_OBJECT

public:
    // Whether a value access goes to the device.
    enum ParamUpdate {
        UPDATE_NO = 0,       // use and change only the held value
        UPDATE_YES = 1,      // read from or write to the device through the callbacks
        UPDATE_UNDEFINED = 2 // treated like UPDATE_NO
    };
    Q_ENUM(ParamUpdate)

    using QObject::QObject;

    virtual const QString& getIdentifier() const = 0;
    virtual const QString& getPid() const = 0;
    virtual const QString& getGroup() const = 0;
    virtual const QString& getDisplayName() const = 0;
    virtual QVariant getActualValue() const = 0;
    virtual bool isAccessLevelSupported(const QString& level) = 0;
    virtual const QString& getAccessLevel() const = 0;
    virtual bool isEnabled() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    Q_INVOKABLE virtual QString getParameterTypeShortString() const = 0;
    virtual NetworkResolution getNetworkResolution() const = 0;
    virtual unsigned int getPriorityLevel() const = 0;
    virtual std::uint32_t getDaliMemoryBankData() const = 0;
    virtual ParameterActionData getParameterActionData() const = 0;
    virtual int getAddress() const = 0;
    Q_INVOKABLE virtual int getValue(QVariant& out, tarvesk::core::IParameter::ParamUpdate update) = 0;
    Q_INVOKABLE virtual int setValue(QVariant value, tarvesk::core::IParameter::ParamUpdate update) = 0;
    Q_INVOKABLE virtual int setScaledValue(QVariant scaledVal, tarvesk::core::IParameter::ParamUpdate update)
        = 0;
    virtual bool isValid() const = 0;
    virtual QVariant getMinValue() const = 0;
    virtual QVariant getMaxValue() const = 0;
    virtual QVariant getDefaultValue() const = 0;
    virtual ParamType getParameterType() const = 0;
    virtual void setAccessLevel(const QString& level) = 0;
    // A new object that the caller owns.
    virtual IParameter* clone() = 0;
    virtual void copyFrom(IParameter* other) = 0;
};

} // namespace tarvesk::core
