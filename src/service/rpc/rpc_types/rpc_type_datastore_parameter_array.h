#pragma once

#include "service/rpc_array.h"

namespace tarvesk::core {
class DataStore;
} // namespace tarvesk::core

namespace tarvesk::service {

// The enabled parameters of a datastore, each a RpcTypeParameter, in name
// order; with logValues each is also written to the log with its value.
class RpcTypeDatastoreParameterArray : public RpcArray
{
public:
    RpcTypeDatastoreParameterArray(core::DataStore& store, bool logValues);
};

} // namespace tarvesk::service
