// Device: its parameters, their read and write callbacks, the profile type's
// parameters and the raw parameter interfaces.

#include "core/core_errors.h"
#include "core/device.h"
#include "core/group_filter.h"
#include "core/itf_error.h"
#include "core/parameters/parameter.h"
#include "core/parameters/raw_parameter.h"
#include "core/parameters/raw_parameter_interface.h"
#include "core/profile/iprofile_type_parameters.h"
#include "core/profile/profile_type.h"
#include "log/logging_categories.h"

#include <QDebug>
#include <QMutexLocker>

namespace tarvesk::core {

namespace {

const QString kConnectionStatus = QStringLiteral("connection_status");
const QString kConnected = QStringLiteral("connected");
const QString kDisconnected = QStringLiteral("disconnected");

// Access levels in the order of widening audience.
int accessRank(const QString& level)
{
    static const QStringList order = {QStringLiteral("user_basic"), QStringLiteral("user_detailed"),
        QStringLiteral("oem"), QStringLiteral("dev")};
    return order.indexOf(level);
}

// Another master's traffic, not a fault: the client learns it from the
// status, the log says which location.
int memoryBlockInDoubt(const MemoryBlockInDoubt& e)
{
    qCWarning(service::loggerGlog()).noquote() << GLOG_PREFIX << QString::fromUtf8(e.what());
    return e.status();
}

// A raw parameter that cannot reach its memory (no device, no interface of
// its name) is reported as a failed access rather than thrown at the caller.
int rawAccessFailed(const Parameter* param, const ParameterError& e)
{
    qCWarning(service::loggerGlog()).noquote()
        << QStringLiteral("Raw access to parameter \"%1\" failed: %2")
               .arg(param->getIdentifier(), QString::fromUtf8(e.what()));
    return ITF_ERR_UNSUPPORTED_MODULE;
}

} // namespace

bool Device::addParameter(IParameter* parameter)
{
    if (!parameter)
        return false;
    if (getParameterInterface(parameter->getIdentifier())) {
        qCWarning(service::loggerGlog()).noquote()
            << QStringLiteral("Duplicate parameter \"%1\"").arg(parameter->getIdentifier());
        return false;
    }
    if (auto* p = qobject_cast<Parameter*>(parameter)) {
        p->registerGetCallback([this](Parameter* param) { return getParamCallback(param); });
        p->registerSetCallback(
            [this](Parameter* param, QVariant value) { return setParamCallback(param, value); });
    }
    _parameters.emplace(parameter->getIdentifier(), parameter);
    return true;
}

IParameter* Device::getParameterInterface(const QString& paramIdent)
{
    auto it = _parameters.find(paramIdent);
    return it == _parameters.end() ? nullptr : it->second;
}

std::vector<IParameter*> Device::getParameterList() const
{
    std::vector<IParameter*> list;
    list.reserve(_parameters.size());
    for (const auto& entry : _parameters)
        list.push_back(entry.second);
    return list;
}

int Device::getParamCallback(Parameter* param)
{
    if (!param)
        return ITF_ERR_INVALID_PARAM;
    const std::string readAction = param->getParameterActionData().readAction;
    if (!readAction.empty()) {
        std::shared_ptr<IParameterAction> action = _actions.getAction(readAction);
        if (!action) {
            qCCritical(service::loggerGlog()).noquote()
                << GLOG_PREFIX
                << QStringLiteral("Could not find action \"%1\" for parameter \"%2\"")
                       .arg(QString::fromStdString(readAction), param->getDisplayName());
            return ITF_ERR_UNSUPPORTED_PARAMETER;
        }
        try {
            return action->execute(param, QVariant());
        } catch (const MemoryLocationUnanswered& e) {
            // The gear lacks the bank: the client learns it from the status,
            // and the error log stays for faults.
            qCInfo(service::loggerGlog()).noquote()
                << GLOG_PREFIX
                << QStringLiteral("%1 (\"%2\" not on the device)").arg(QString::fromUtf8(e.what()), param->getDisplayName());
            return ITF_ERR_NO_REPLY;
        } catch (const MemoryBlockInDoubt& e) {
            return memoryBlockInDoubt(e);
        } catch (const ParameterError& e) {
            qCCritical(service::loggerGlog()).noquote()
                << GLOG_PREFIX << QStringLiteral("Exception: %1").arg(QString::fromUtf8(e.what()));
            return ITF_ERR_TRANSFER;
        }
    }
    if (param->getIdentifier() == kConnectionStatus)
        return param->setValue(isConnected() ? kConnected : kDisconnected, IParameter::UPDATE_NO);

    // A failed read is reported as such; the value held from before is never
    // passed off as what the device answered.
    QVariant value;
    int status = 0;
    try {
        status = param->readRawValue(value);
    } catch (const ParameterError& e) {
        return rawAccessFailed(param, e);
    }
    if (status != 0)
        return status;
    if (!value.isValid())
        return ITF_ERR_UNSUPPORTED_FEATURE;
    param->setValue(value, IParameter::UPDATE_NO);
    return 0;
}

int Device::setParamCallback(Parameter* param, QVariant value)
{
    if (!param)
        return ITF_ERR_INVALID_PARAM;
    const std::string writeAction = param->getParameterActionData().writeAction;
    if (!writeAction.empty()) {
        std::shared_ptr<IParameterAction> action = _actions.getAction(writeAction);
        if (!action) {
            qCCritical(service::loggerGlog()).noquote()
                << GLOG_PREFIX
                << QStringLiteral("Could not find action for parameter %1").arg(param->getDisplayName());
            return ITF_ERR_UNSUPPORTED_PARAMETER;
        }
        try {
            return action->execute(param, value);
        } catch (const MemoryBlockInDoubt& e) {
            return memoryBlockInDoubt(e);
        } catch (const ParameterError& e) {
            qCCritical(service::loggerGlog()).noquote()
                << GLOG_PREFIX << QStringLiteral("Exception: %1").arg(QString::fromUtf8(e.what()));
            return ITF_ERR_TRANSFER;
        }
    }
    // Read through an action but given none to write with: the field is
    // read-only on the device (a D4i counter). Keeping the value in the
    // parameter alone would answer the write with success while the device
    // holds its own.
    if (!param->getParameterActionData().readAction.empty())
        return ITF_ERR_UNSUPPORTED_PARAMETER;
    if (param->getIdentifier() == kConnectionStatus) {
        const bool done = value.toString() == kConnected ? deviceConnect() : deviceDisconnect();
        if (!done)
            return ITF_ERR_ACCESS;
        param->setValue(value, IParameter::UPDATE_NO);
        return 0;
    }
    try {
        return param->setRawValue(value);
    } catch (const ParameterError& e) {
        return rawAccessFailed(param, e);
    }
}

int Device::getAccessibleParameterList(QString accessLevel, bool update, std::vector<IParameter*>& out,
    GroupFilter* filter, std::map<QString, int>* failures)
{
    QMutexLocker lock(&_deviceMutex);
    int firstFailure = 0;
    for (const auto& entry : _parameters) {
        IParameter* parameter = entry.second;
        if (!parameter->isAccessLevelSupported(accessLevel) || !parameter->isEnabled())
            continue;
        if (filter && !filter->isIncluded(parameter->getGroup().toStdString()))
            continue;
        QVariant value;
        const int status
            = parameter->getValue(value, update ? IParameter::UPDATE_YES : IParameter::UPDATE_NO);
        if (status == 0) {
            out.push_back(parameter);
            continue;
        }
        if (status == ITF_ERR_NO_DEVICE)
            return status;
        // A block the device does not have (optional memory banks) is left
        // out as a matter of course.
        const bool absent
            = status == ITF_ERR_NO_REPLY && !parameter->getParameterActionData().readAction.empty();
        if (absent) {
            qCInfo(service::loggerGlog()).noquote()
                << GLOG_PREFIX
                << QStringLiteral("Parameter not on the device, left out of the parameter list : %1")
                       .arg(parameter->getDisplayName());
        } else {
            qCritical().noquote() << QStringLiteral(
            "Parameter error, could not be added to parameter list : %1 (%2) : %3")
                                     .arg(status)
                                     .arg(itfErrorToString(status), parameter->getDisplayName());
        }
        if (failures)
            failures->emplace(parameter->getPid(), status);
        if (firstFailure == 0)
            firstFailure = status;
    }
    return firstFailure;
}

void Device::setProfileType(ProfileType* type)
{
    _profileType = type;
    if (!type)
        return;
    std::shared_ptr<IProfileTypeParameters> schema = type->getParameters();
    if (!schema)
        return;
    const bool lightShape = hasCapability(CAP_LIGHTSHAPE);
    for (IParameter* parameter : schema->getList()) {
        if (!parameter || (!lightShape && parameter->getGroup() == QLatin1String("LightShape")))
            continue;
        IParameter* copy = parameter->clone();
        copy->setParent(this);
        if (auto* raw = qobject_cast<RawParameter*>(copy))
            raw->setDeviceInterface(this);
        if (!addParameter(copy))
            delete copy;
    }
}

bool Device::isAccessLevelSupported(const QString& level) const
{
    if (level == QLatin1String("dev"))
        return true;
    const int given = accessRank(level);
    return given >= 0 && accessRank(_accessLevel) <= given;
}

void Device::addRawParameterInterface(RawParameterInterface* itf, bool isMain)
{
    if (!itf)
        return;
    RawParameterInterface*& slot = _rawInterfaces[itf->getIdentifier()];
    RawParameterInterface* previous = slot;
    slot = itf;
    if (previous && previous != itf) {
        if (_mainRawInterface == previous)
            _mainRawInterface = itf;
        delete previous;
    }
    if (isMain)
        _mainRawInterface = itf;
}

RawParameterInterface* Device::getRawParameterInterface(const QString& paramItfType)
{
    if (paramItfType == QLatin1String("main"))
        return _mainRawInterface;
    return _rawInterfaces.value(paramItfType, nullptr);
}

std::shared_ptr<itf::IDali> Device::getDaliInterface()
{
    throw DeviceError(QStringLiteral("Device %1 does not have a DALI interface")
                          .arg(QString::fromUtf8(getIdentificationString()))
                          .toStdString());
}

} // namespace tarvesk::core
