#include "service/rpc/rpc_types/rpc_type_datastore_parameter_array.h"

#include "core/parameters/datastore/data_store.h"
#include "core/parameters/parameter.h"
#include "service/rpc/rpc_types/rpc_type_parameter.h"

namespace tarvesk::service {

RpcTypeDatastoreParameterArray::RpcTypeDatastoreParameterArray(core::DataStore& store, bool logValues)
{
    const QMap<QString, core::Parameter*>& parameters = store.getDatastoreParameters();
    for (core::Parameter* parameter : parameters) {
        if (!parameter->isEnabled())
            continue;
        if (logValues)
            parameter->logPidAndValue();
        addChild(new RpcTypeParameter(parameter));
    }
}

} // namespace tarvesk::service
