#include "fake_dali_device.h"

#include "core/core_errors.h"
#include "core/itf_error.h"
#include "core/parameters/parameter.h"
#include "core/step.h"

#include <cmath>

namespace tarvesk::test {

FakeDaliDevice::FakeDaliDevice(core::Universe* universe)
    : core::Device(universe)
{
    setName(QStringLiteral("fake gear"));
}

int FakeDaliDevice::nextFailure(QMap<QString, QList<int>>& failures, const QString& id)
{
    auto it = failures.find(id);
    if (it == failures.end() || it->isEmpty())
        return 0;
    return it->takeFirst();
}

int FakeDaliDevice::getParamCallback(core::Parameter* param)
{
    const QString id = param->getIdentifier();
    _journal.append(QStringLiteral("get %1").arg(id));
    if (const int status = nextFailure(_readFailures, id))
        return status;
    if (!_gear.contains(id))
        return core::ITF_ERR_UNSUPPORTED_PARAMETER;
    return param->setValue(_gear.value(id), core::IParameter::UPDATE_NO);
}

int FakeDaliDevice::setParamCallback(core::Parameter* param, QVariant value)
{
    const QString id = param->getIdentifier();
    _journal.append(QStringLiteral("set %1=%2").arg(id, value.toString()));
    if (_throwOnWrite.remove(id))
        throw core::DeviceError("the bus went away");
    if (const int status = nextFailure(_writeFailures, id))
        return status;
    if (!_gear.contains(id))
        return core::ITF_ERR_UNSUPPORTED_PARAMETER;
    if (id == QLatin1String("dali_factory_reset")) {
        if (value.toInt() == 1) {
            _journal.append(QStringLiteral("reset"));
            for (auto it = _resetValues.cbegin(); it != _resetValues.cend(); ++it)
                _gear[it.key()] = it.value();
        }
        return 0;
    }
    if (_stuck.contains(id))
        return 0;
    if (id == QLatin1String("minimum_level") && _minimumLevelQuantum > 0)
        value = std::round(value.toDouble() / _minimumLevelQuantum) * _minimumLevelQuantum;
    _gear[id] = value;
    return 0;
}

int FakeDaliDevice::profileSetPost(core::Step* step)
{
    step->addChild(QStringLiteral("gear post check"))
        ->setResult(postStatus == 0 ? QStringLiteral("ok") : QStringLiteral("error"));
    return postStatus;
}

void FakeDaliDevice::busDelay(int milliseconds)
{
    _journal.append(QStringLiteral("wait %1").arg(milliseconds));
}

} // namespace tarvesk::test
