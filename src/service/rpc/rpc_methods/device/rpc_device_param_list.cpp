#include "service/rpc/rpc_methods/device/rpc_device_param_list.h"

#include "core/core_errors.h"
#include "core/device.h"
#include "core/group_filter.h"
#include "core/itf_error.h"
#include "core/parameters/iparameter.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_types/rpc_type_parameter.h"
#include "service/rpc_array.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_object.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <vector>

namespace tarvesk::service {

namespace {

// The groups of the D4i memory-bank parameters, which a client asks for by name.
const std::vector<std::string>& defaultHiddenGroups()
{
    static const std::vector<std::string> groups = {"Integrated bus power supply",
        "Luminaire configuration data", "Active energy and power", "Apparent energy and power",
        "Load side energy and power", "Control gear diagnostics and maintenance",
        "Light source diagnostics and maintenance", "Luminaire maintenance data"};
    return groups;
}

QString typeName(RpcValue* value)
{
    return value ? value->getTypeString() : QStringLiteral("undefined");
}

} // namespace

void validateGroupFilter(RpcRequest* request, core::GroupFilter* filter)
{
    RpcValue* given = request->getParam(QStringLiteral("group_filter"));
    RpcObject* object = given ? given->getObjectValue() : nullptr;
    if (!object) {
        filter->setOperation(core::GroupFilter::OPERATION_NOT_IN);
        filter->setGroups(defaultHiddenGroups());
        return;
    }
    RpcValue* groups = object->child(QStringLiteral("groups"));
    RpcArray* list = groups ? groups->getArrayValue() : nullptr;
    if (!list) {
        QM_THROW_JSONRPC(QStringLiteral("Invalid value for '%1'. Value should be a 'array' but was '%2'")
                             .arg(QStringLiteral("groups"), typeName(groups)),
            RPC_ERROR_INVALID_PARAMS);
    }
    if (list->childCount() == 0)
        return;
    std::vector<std::string> names;
    for (RpcValue* entry : *list) {
        if (!entry || entry->getType() != RpcValue::RPC_VALUE_STRING) {
            QM_THROW_JSONRPC(
                QStringLiteral("Invalid entry in '%1' array. Entry should be a 'string' but was '%2'")
                    .arg(QStringLiteral("groups"), typeName(entry)),
                RPC_ERROR_INVALID_PARAMS);
        }
        names.push_back(entry->getStringValue().toStdString());
    }
    RpcValue* operation = object->child(QStringLiteral("operation"));
    if (!operation || operation->getType() != RpcValue::RPC_VALUE_STRING) {
        QM_THROW_JSONRPC(QStringLiteral("Invalid value for '%1'. Value should be a 'string' but was '%2'")
                             .arg(QStringLiteral("operation"), typeName(operation)),
            RPC_ERROR_INVALID_PARAMS);
    }
    core::GroupFilter::OperationOptionsEnum parsed = core::GroupFilter::OPERATION_IN;
    try {
        parsed = core::GroupFilter::operationFromString(operation->getStringValue().toStdString());
    } catch (const core::GroupFilterException&) {
        QM_THROW_JSONRPC(
            QStringLiteral("Invalid value for 'operation': expected 'in' or 'not_in' but was '%1'")
                .arg(operation->getStringValue()),
            RPC_ERROR_INVALID_PARAMS);
    }
    filter->setOperation(parsed);
    filter->setGroups(names);
}

RpcDeviceParamList::RpcDeviceParamList()
    : RpcDeviceBase(QStringLiteral("device.param.list"))
{ }

QList<RpcRequestParameter> RpcDeviceParamList::inputParameters() const
{
    return {
        RpcRequestParameter(
            RpcRequestEnums::PARAM_DEVICE_ID, QVariant(), true, RpcRequestEnums::TYPE_INTEGER),
        RpcRequestParameter(RpcRequestEnums::PARAM_UPDATE, true, false),
        RpcRequestParameter(RpcRequestEnums::PARAM_ACCESS_LEVEL, QStringLiteral("user_basic"), false,
            RpcRequestEnums::TYPE_STRING,
            {QStringLiteral("user_basic"), QStringLiteral("user_detailed"), QStringLiteral("dev")}),
        RpcRequestParameter(RpcRequestEnums::PARAM_SUBDEVICE_ID, 0, false),
        RpcRequestParameter(RpcRequestEnums::PARAM_GROUP_FILTER, 0, false),
    };
}

RpcMethodError RpcDeviceParamList::handleRequest(RpcRequest* request, RpcResponse* response)
{
    core::Device* device = deviceOf(request);
    const bool update = updateFlagOf(request);
    const QString accessLevel = request->getParam(QStringLiteral("access_level"))->getStringValue();

    core::GroupFilter filter;
    filter.setOperation(core::GroupFilter::OPERATION_NOT_IN); // no groups: keeps every group
    validateGroupFilter(request, &filter);

    std::vector<core::IParameter*> parameters;
    const int status = device->getAccessibleParameterList(accessLevel, update, parameters, &filter);
    if (status == core::ITF_ERR_NO_DEVICE)
        throwConnectionLost(device);
    response->setResultValue(new RpcTypeParameterArray(parameters));
    return {};
}

} // namespace tarvesk::service
