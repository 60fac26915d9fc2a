#include "core/parameters/datastore/lightshape_settings_parameter.h"

#include "core/core_errors.h"
#include "core/itf_error.h"
#include "core/json_text_guard.h"
#include "core/memory/lightshape_ram_buffer_memory_read_write.h"
#include "core/parameters/datastore/lightshape_module.h"
#include "core/parameters/raw_parameter_interface.h"
#include "log/logging_categories.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace tarvesk::core {

namespace {

const QString kDefaultProfile
    = QStringLiteral("[32,2,168,10,128,128,129,144,9,161,25,177,184,26,69,255,213,175,"
                     "139,107,77,49,24,0,69,0,42,80,116,148,178,206,231,255,255]");

std::optional<int> profileByte(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double d = value.toDouble();
    if (d < 0 || d > 255 || std::floor(d) != d)
        return std::nullopt;
    return int(d);
}

} // namespace

LightShapeSettingsParameter::LightShapeSettingsParameter()
    : RawParameter(QStringLiteral("light_shaping_settings"), -1, presmondeInterface())
{
    describeBuiltin(*this, QStringLiteral("Curve data"), QStringLiteral("user_basic"),
        QStringLiteral("LightShape"), false);
    setParameterType(PARAM_TYPE_OBJECT);
    setPriorityLevel(1);
    setDefaultValue(kDefaultProfile);
}

LightShapeSettingsParameter::~LightShapeSettingsParameter() = default;

std::optional<QList<int>> LightShapeSettingsParameter::decodeProfile(const QVariant& value)
{
    QJsonDocument document;
    if (value.userType() == QMetaType::QString || value.userType() == QMetaType::QByteArray) {
        const QByteArray text = value.toString().toUtf8();
        if (!jsonTextFault(text).isEmpty())
            return std::nullopt;
        document = QJsonDocument::fromJson(text);
    } else {
        document = QJsonDocument::fromVariant(value);
    }
    QList<int> bytes;
    if (document.isArray()) {
        for (const QJsonValue& element : document.array()) {
            const std::optional<int> b = profileByte(element);
            if (!b)
                return std::nullopt;
            bytes.append(*b);
        }
        return bytes;
    }
    if (document.isObject()) {
        const QJsonObject object = document.object();
        const int n = object.size();
        for (int i = 0; i < n; ++i) {
            const std::optional<int> b = profileByte(object.value(QString::number(i)));
            if (!b)
                return std::nullopt;
            bytes.append(*b);
        }
        return bytes;
    }
    return std::nullopt;
}

bool LightShapeSettingsParameter::isLightShapeActive() const
{
    return LightShapeModule(getRawInterface()).isActive();
}

bool LightShapeSettingsParameter::createFlashReadWriter()
{
    RawParameterInterface* itf = nullptr;
    try {
        itf = getRawInterface();
    } catch (const ParameterError&) {
        return false;
    }
    // A writer made over an interface the device has since replaced is not used.
    if (_writer && _writer->rawParameterInterface() == itf)
        return true;
    _writer = std::make_unique<LightShapeRamBufferMemoryReadWrite>(itf);
    setAddress(ProfileAddress);
    return true;
}

void LightShapeSettingsParameter::setParameterVisibility()
{
    setHidden(true);
    try {
        setAccessLevel(LightShapeModule(getRawInterface()).isEnabled() ? QStringLiteral("user_basic")
                                                                       : QStringLiteral("dev"));
    } catch (const ParameterError& e) {
        qWarning().noquote() << e.what();
        setAccessLevel(QStringLiteral("dev"));
    }
}

int LightShapeSettingsParameter::setRawValue(QVariant value)
{
    // A value that is no profile is refused before the driver is asked.
    const std::optional<QList<int>> bytes = decodeProfile(value);
    if (!bytes) {
        qCWarning(service::loggerGlog()).noquote()
            << GLOG_PREFIX << QStringLiteral("lx profile refused: the value is not a list of bytes 0..255");
        return ITF_ERR_INVALID_PARAM;
    }
    if (bytes->size() > MaxProfileBytes) {
        qCCritical(service::loggerGlog()).noquote()
            << GLOG_PREFIX
            << QStringLiteral(
                   "invalid byte package size. max number of bytes possible to store in lx profile "
                   "region is %1")
                   .arg(MaxProfileBytes);
        // The client's value is at fault, not the bus.
        return ITF_ERR_INVALID_PARAM;
    }
    if (!isLightShapeActive()) {
        qCWarning(service::loggerGlog()).noquote() << GLOG_PREFIX
                                                   << "LX Profile not written as light shape is not active "
                                                      "for this driver. this action aims to reduce "
                                                      "programming speed!";
        return 0;
    }
    if (!createFlashReadWriter())
        return ITF_ERR_UNSUPPORTED_MODULE;
    try {
        _writer->writeProfiles(*bytes);
    } catch (const MemoryAccessError& e) {
        const QString text = QString::fromUtf8(e.what());
        qCCritical(service::loggerGlog()).noquote() << GLOG_PREFIX << text;
        return text.startsWith(QLatin1String("ITF_ERR_NO_DEVICE")) ? ITF_ERR_NO_DEVICE : ITF_ERR_TRANSFER;
    } catch (const std::exception&) {
        qCCritical(service::loggerGlog()).noquote()
            << GLOG_PREFIX
            << "unspecified expection occured in light_shaping_settings parameter setRawValue()";
        return ITF_ERR_INVALID_PARAM;
    }
    setActualValue(value);
    return 0;
}

int LightShapeSettingsParameter::readRawValue(QVariant& out)
{
    if (!createFlashReadWriter())
        return ITF_ERR_UNSUPPORTED_MODULE;
    setParameterVisibility();
    try {
        QStringList numbers;
        for (int b : _writer->dump(true, LightShapeRamBufferMemoryReadWrite::DUMP_ALL))
            numbers << QString::number(b);
        out = QStringLiteral("[") + numbers.join(QLatin1Char(',')) + QStringLiteral("]");
        return 0;
    } catch (const MemoryAccessError& e) {
        qCCritical(service::loggerGlog()).noquote() << GLOG_PREFIX << e.what();
    } catch (const std::exception&) {
        qCCritical(service::loggerGlog()).noquote()
            << GLOG_PREFIX
            << "unspecified expection occured in light_shaping_settings parameter getRawValue()";
    }
    return ITF_ERR_TRANSFER;
}

} // namespace tarvesk::core
