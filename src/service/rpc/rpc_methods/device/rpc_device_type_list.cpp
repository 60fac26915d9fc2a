#include "service/rpc/rpc_methods/device/rpc_device_type_list.h"

#include "core/database/device_info_database.h"
#include "core/database/device_info_record.h"
#include "service/database/abstract_database.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_types/rpc_type_device_info_record.h"
#include "service/rpc_array.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_object.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <memory>

namespace tarvesk::service {

RpcDeviceTypeList::RpcDeviceTypeList()
    : AbstractRpcMethod(QStringLiteral("device.type.list"))
{ }

RpcMethodError RpcDeviceTypeList::handleRequest(RpcRequest*, RpcResponse* response)
{
    std::shared_ptr<core::DeviceInfoDatabase> products = _database ? _database->products() : nullptr;
    if (!products)
        QM_THROW_JSONRPC(QStringLiteral("No product database"), RPC_ERROR_INTERNAL);
    std::vector<std::shared_ptr<core::DeviceInfoRecord>> records;
    products->getProductList(records);
    auto devices = std::make_unique<RpcArray>();
    for (const auto& record : records) {
        if (!record) {
            QM_THROW_JSONRPC(QStringLiteral("invalid device in device info record list, should never happen"),
                RPC_ERROR_INTERNAL);
        }
        devices->addChild(new RpcTypeDeviceInfoRecord(products, record));
    }
    auto result = std::make_unique<RpcObject>();
    result->addChild(QStringLiteral("devices"), devices.release());
    auto* sorting = new RpcArray;
    for (const std::string& group : products->getGroupSorting())
        sorting->addChild(new RpcValue(QString::fromStdString(group)));
    result->addChild(QStringLiteral("group_sorting"), sorting);
    response->setResultValue(result.release());
    return {};
}

} // namespace tarvesk::service
