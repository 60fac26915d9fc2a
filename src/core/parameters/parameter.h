#pragma once

#include "core/parameters/iparameter.h"
#include "core/parameters/param_unit.h"
#include "core/parameters/parameter_data.h"
#include "core/parameters/parameter_value.h"

#include <QJSValue>
#include <QStringList>

#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace tarvesk::core {

class IScriptEngine;

// One named, typed setting or reading of a driver or a profile: its
// definition, its held (raw) value, and the two callbacks through which its
// device reads and writes it.
//
// Values: the raw value is what device memory holds; the scaled value, in
// engineering units, is (raw - offset) * scale. Limits and the step are in
// scaled units. Writing a scaled value quantises it to the step, clamps it to
// the limits and stores (q / scale) + offset, so that reading it back gives q.
class Parameter : public IParameter
{
    Q_OBJECT
    Q_PROPERTY(QVariant defaultValue READ getDefaultValue WRITE setDefaultValue)
    Q_PROPERTY(QString displayName READ getDisplayName WRITE setDisplayName)
    Q_PROPERTY(QString accessLevel READ getAccessLevel WRITE setAccessLevel)
    Q_PROPERTY(QString group READ getGroup WRITE setGroup)
    Q_PROPERTY(QVariant minValue READ getMinValue WRITE setMinValue)
    Q_PROPERTY(QVariant maxValue READ getMaxValue WRITE setMaxValue)
    Q_PROPERTY(double parameterScale READ getScale WRITE setScale)
    Q_PROPERTY(double stepSize READ getStepSize WRITE setStepSize)
    Q_PROPERTY(QStringList enumOptions READ getEnumOptions)
    Q_PROPERTY(QVariant actualValue READ getActualValue WRITE setActualValue)
    Q_PROPERTY(unsigned bitmask READ getBitmask WRITE setBitmask)
    Q_PROPERTY(bool parameterEnabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(bool readOnly READ isReadOnly WRITE setReadOnly)
    Q_PROPERTY(bool inverted READ isInverted WRITE setInverted)
    Q_PROPERTY(QJSValue getCallback READ getScriptGetCallback WRITE setScriptGetCallback)
    Q_PROPERTY(QJSValue setCallback READ getScriptSetCallback WRITE setScriptSetCallback)
    Q_PROPERTY(int address READ getAddress WRITE setAddress)
    Q_PROPERTY(QString rawInterface READ getRawInterfaceIdentifier WRITE setRawInterfaceIdentifier)

public:
    enum ParamReadWrite { PARAM_READ_ONLY = 0, PARAM_WRITE_ONLY = 1, PARAM_READ_WRITE = 2 };
    Q_ENUM(ParamReadWrite)
    enum ParamEnabled { PARAM_ENABLED = 0, PARAM_DISABLED = 1 };
    Q_ENUM(ParamEnabled)

    using ReadCallback = std::function<int(Parameter*)>;
    using WriteCallback = std::function<int(Parameter*, QVariant)>;

    Parameter();
    Parameter(QString identifier, NetworkResolution resolution, ParamReadWrite readWrite);
    // A raw parameter: the identifier becomes "RAW_" + identifier.
    Parameter(const int& address, const QString& identifier, QString rawInterface,
        NetworkResolution resolution, ParamReadWrite readWrite);
    explicit Parameter(const ParameterData& data);
    ~Parameter() override;

    static void initMeta();
    // An empty holder gives an invalid variant; throws ParameterError for a
    // held type other than int, unsigned int, unsigned long, unsigned long
    // long, bool and a C string.
    static QVariant convertAnyToQVariant(const std::any& value);
    static int convert8BitValueToTwosComplement(int value);

    // IParameter
    const QString& getIdentifier() const override { return _identifier; }
    const QString& getPid() const override { return _identifier; }
    const QString& getGroup() const override { return _group; }
    const QString& getDisplayName() const override;
    QVariant getActualValue() const override { return _value; }
    bool isAccessLevelSupported(const QString& level) override;
    const QString& getAccessLevel() const override { return _accessLevel; }
    bool isEnabled() const override;
    void setEnabled(bool enabled) override;
    QString getParameterTypeShortString() const override;
    NetworkResolution getNetworkResolution() const override { return _resolution; }
    unsigned int getPriorityLevel() const override { return _priorityLevel; }
    std::uint32_t getDaliMemoryBankData() const override { return _daliMemoryBankData; }
    ParameterActionData getParameterActionData() const override { return _actionData; }
    int getAddress() const override { return _address; }
    Q_INVOKABLE int getValue(QVariant& out, tarvesk::core::IParameter::ParamUpdate update) override;
    Q_INVOKABLE int setValue(QVariant value, tarvesk::core::IParameter::ParamUpdate update) override;
    Q_INVOKABLE int setScaledValue(
        QVariant scaledVal, tarvesk::core::IParameter::ParamUpdate update) override;
    bool isValid() const override;
    QVariant getMinValue() const override { return _minValue; }
    QVariant getMaxValue() const override { return _maxValue; }
    QVariant getDefaultValue() const override { return _defaultValue; }
    ParamType getParameterType() const override { return _parameterType; }
    void setAccessLevel(const QString& level) override { _accessLevel = level; }
    IParameter* clone() override;
    void copyFrom(IParameter* other) override;

    // Reaching device memory; the raw parameter classes override these.
    virtual int setRawValue(QVariant value);
    virtual QVariant getRawValue();
    // Reads the raw value into out and returns the bus status: 0, or the
    // failure of the memory read, in which case out is left untouched. A
    // device's read callback uses this so that a failed read is never taken
    // for the value held from before.
    virtual int readRawValue(QVariant& out);

    // Text conversions (they throw ParameterError for unknown texts).
    Q_INVOKABLE void setParameterTypeEnum(const QString& enumStr);
    Q_INVOKABLE void setParameterUnitEnum(const QString& enumStr);
    Q_INVOKABLE void setResolutionEnum(const QString& enumStr);
    Q_INVOKABLE QString getResolutionEnum() const;
    Q_INVOKABLE tarvesk::core::IParameter::ParamUpdate getUpdateEnum(const QString& enumStr) const;
    QString getParameterUnitShortString() const;

    void setIdentifier(const QString& identifier) { _identifier = identifier; }
    void setDisplayName(const QString& displayName) { _displayName = displayName; }
    const QString& getDescription() const { return _description; }
    void setDescription(const QString& description) { _description = description; }
    void setGroup(const QString& group) { _group = group; }
    void setParameterType(ParamType type) { _parameterType = type; }
    ParamUnit getUnit() const { return _unit; }
    void setUnit(ParamUnit unit) { _unit = unit; }
    void setNetworkResolution(NetworkResolution resolution) { _resolution = resolution; }
    ParamReadWrite getReadWrite() const { return _readWrite; }
    Q_INVOKABLE void setDefaultValue(const QVariant& defaultValue);
    void setMinValue(const QVariant& minValue);
    void setMaxValue(const QVariant& maxValue);
    void setMaxValueForResolution(NetworkResolution resolution);
    void setActualValue(const QVariant& value);
    bool getIntegerActualValue(int& value) const;
    Q_INVOKABLE QString getStringValue() const;
    Q_INVOKABLE QVariant getScaledValue() const;
    unsigned int getBitmask() const { return _bitmask; }
    void setBitmask(unsigned int bitmask) { _bitmask = bitmask; }
    void setBitmaskIndex(unsigned int n) { _bitmask = 1u << (n % 32); }
    void setAddress(int address) { _address = address; }
    const QString& getRawInterfaceIdentifier() const { return _rawInterface; }
    void setRawInterfaceIdentifier(const QString& rawInterface) { _rawInterface = rawInterface; }
    Q_INVOKABLE void setPriorityLevel(unsigned int priority) { _priorityLevel = priority; }
    bool isHidden() const { return _hidden; }
    void setHidden(bool hidden) { _hidden = hidden; }
    bool isConstant() const { return _constant; }
    void setConstant(bool constant) { _constant = constant; }
    bool isReadOnly() const { return _readWrite == PARAM_READ_ONLY; }
    void setReadOnly(bool readOnly) { _readWrite = readOnly ? PARAM_READ_ONLY : PARAM_READ_WRITE; }
    bool isInverted() const { return _inverted; }
    void setInverted(bool inverted) { _inverted = inverted; }
    int getOffset() const { return _offset; }
    void setOffset(int offset) { _offset = offset; }
    const std::map<std::int32_t, std::string>& getSpecialValues() const { return _specialValues; }
    void setSpecialValues(const std::map<std::int32_t, std::string>& values) { _specialValues = values; }

    // Scaling. With a scale parameter attached, getScale() reads it from the
    // device and takes its value as a power-of-ten exponent.
    Parameter* getScaleParameter() const { return _scaleParameter; }
    void setScaleParameter(Parameter* scaleParameter) { _scaleParameter = scaleParameter; }
    double getScale();
    void setScale(double scale);
    bool isScaleSet() const { return _scaleSet; }
    double getStepSize() const;
    void setStepSize(double stepSize) { _stepSize = stepSize; }
    void setUnscaledStepSize(double stepSize);
    bool is8BitSignedTwosComplement() const;

    const QStringList& getTags() const { return _tags; }
    void setTags(const QStringList& tags) { _tags = tags; }
    Q_INVOKABLE void addTag(const QString& tag) { _tags.append(tag); }
    const QStringList& getEnumOptions() const { return _enumOptions; }
    void setEnumOptions(const QStringList& options) { _enumOptions = options; }
    Q_INVOKABLE void addEnumOption(const QString& optString);
    Q_INVOKABLE void removeEnumOption(const QString& optString);

    void setScriptEngine(std::shared_ptr<IScriptEngine> engine) { _scriptEngine = std::move(engine); }
    std::shared_ptr<IScriptEngine> getScriptEngine() const { return _scriptEngine; }
    QJSValue getScriptGetCallback() const { return _scriptGetCallback; }
    QJSValue getScriptSetCallback() const { return _scriptSetCallback; }
    void setScriptGetCallback(const QJSValue& callback);
    void setScriptSetCallback(const QJSValue& callback);

    void registerGetCallback(ReadCallback callback) { _readCallback = std::move(callback); }
    void registerSetCallback(WriteCallback callback) { _writeCallback = std::move(callback); }

    void logPidAndValue() const;

protected:
    [[noreturn]] void throwError(const QString& message) const;
    // Stores the maximum exactly as given (setMaxValue widens whole numbers).
    void storeMaxValue(const QVariant& maxValue) { _maxValue = maxValue; }

private:
    std::optional<double> lowerLimit() const;
    std::optional<double> upperLimit() const;
    std::optional<double> numericScaledValue() const;
    bool hasIntegralRawValue() const;
    bool isSignedByteParameter() const;
    bool rawWithinLimits(double raw) const;
    QVariant rawFromQuantised(double q) const;
    int refreshScale();
    // The length in bytes of the memory-bank field the value lives in; 0 for
    // a parameter that is not a memory-bank field.
    unsigned memoryFieldLength() const;
    // The text of a special value that the held value equals, if any.
    std::optional<QString> specialValueText() const;
    // Whether whole numbers pass between shown and raw value unchanged, so
    // that numbers beyond 2^53 can go without a double in between.
    bool passesWholeNumbersExactly() const;
    QVariant exactRawValue(WideInteger requested) const;

    QString _identifier = QStringLiteral("unknown");
    QString _displayName;
    QString _description;
    ParamType _parameterType = PARAM_TYPE_NUMBER;
    ParamUnit _unit = PARAM_UNIT_UNDEFINED;
    QString _group = QStringLiteral("Unsorted");
    ParamReadWrite _readWrite = PARAM_READ_WRITE;
    ParamEnabled _enabled = PARAM_ENABLED;
    NetworkResolution _resolution = ITF_RES_BYTE;
    QString _accessLevel = QStringLiteral("dev");
    QVariant _defaultValue;
    QStringList _tags;
    QVariant _minValue;
    QVariant _maxValue;
    std::int32_t _offset = 0;
    bool _scaleSet = false;
    double _scale = 1.0;
    Parameter* _scaleParameter = nullptr; // not owned
    double _stepSize = 1.0;
    QStringList _enumOptions;
    std::uint32_t _bitmask = 0xFFFF;
    QVariant _value = QVariant(0);
    bool _constant = false;
    std::uint32_t _priorityLevel = 0;
    bool _hidden = false;
    std::int32_t _address = -1;
    QString _rawInterface;
    bool _inverted = false;
    std::map<std::int32_t, std::string> _specialValues;
    std::uint32_t _daliMemoryBankData = 0;
    ParameterActionData _actionData;
    ReadCallback _readCallback;
    WriteCallback _writeCallback;
    std::shared_ptr<IScriptEngine> _scriptEngine;
    QJSValue _scriptGetCallback;
    QJSValue _scriptSetCallback;
};

// The sort order of parameter lists: by group, then by display name, both by
// code unit and case-sensitive.
bool paramLessThan(const IParameter* a, const IParameter* b);

} // namespace tarvesk::core
