#include "core/parameters/raw_parameter_interface.h"

#include "core/itf_error.h"
#include "core/parameters/iparameter.h"
#include "core/parameters/parameter_logging.h"

#include <QDebug>

namespace tarvesk::core {

RawParameterInterface::RawParameterInterface(QObject* device, const QString& identifier)
    : IRawParameter(device)
    , _identifier(identifier)
{ }

void RawParameterInterface::initMeta()
{
    qRegisterMetaType<RawParameterInterface*>("tarvesk::core::RawParameterInterface *");
    // The script wrappers take the parameter whose width they use.
    qRegisterMetaType<IParameter*>();
}

int RawParameterInterface::getParamWrapper(IParameter* param, int paramNumber)
{
    if (!param) {
        qCWarning(parameterLog()) << "Raw read on" << _identifier << "without a parameter";
        return ITF_ERR_INVALID_PARAM;
    }
    unsigned int answer = 0;
    const int status = getParameter(param->getNetworkResolution(), paramNumber, answer);
    _lastAnswer = answer;
    return status;
}

int RawParameterInterface::setParamWrapper(IParameter* param, int paramNumber, unsigned int paramValue)
{
    if (!param) {
        qCWarning(parameterLog()) << "Raw write on" << _identifier << "without a parameter";
        return ITF_ERR_INVALID_PARAM;
    }
    const int status = setParameter(param->getNetworkResolution(), paramNumber, paramValue);
    _lastAnswer = 0;
    return status;
}

} // namespace tarvesk::core
