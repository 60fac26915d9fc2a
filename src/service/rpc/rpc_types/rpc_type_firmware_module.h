#pragma once

#include "service/rpc_object.h"

namespace tarvesk::core {
class FirmwareModule;
}

namespace tarvesk::service {

// One firmware module as the module methods list it, with the device address
// it belongs to and, for the two known addresses, the family that sits there.
class RpcTypeFirmwareModule : public RpcObject
{
public:
    RpcTypeFirmwareModule(const core::FirmwareModule* module, unsigned char deviceAddress);

    // A new module (the caller owns it, no image) from such an object. The
    // keys "module_id", "module_size", "module_version" and
    // "module_subversion" are required; "raw_filename", when present,
    // overrides what it carries, and "module_encryption" is applied last.
    core::FirmwareModule* fromRpcObject() const;
    // The same from any object of that shape (a client's); null when one of
    // the four required keys is missing or not a whole number.
    static core::FirmwareModule* fromRpcObject(const RpcObject& object);
};

} // namespace tarvesk::service
