#pragma once

namespace tarvesk::service {

// The JSON-RPC 2.0 error codes that the service answers with.
enum RpcErrorCode {
    RPC_ERROR_PARSE = -32700,
    RPC_ERROR_INVALID_REQUEST = -32600,
    RPC_ERROR_METHOD_NOT_FOUND = -32601,
    RPC_ERROR_INVALID_PARAMS = -32602,
    RPC_ERROR_INTERNAL = -32603,
    RPC_ERROR_SERVER = -32000,
};

} // namespace tarvesk::service
