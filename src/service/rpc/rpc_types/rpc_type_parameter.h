#pragma once

#include "service/rpc_array.h"
#include "service/rpc_object.h"

#include <vector>

namespace tarvesk::core {
class IParameter;
class Parameter;
} // namespace tarvesk::core

namespace tarvesk::service {

// One parameter as the parameter methods return it: identity, type, the held
// value (never read from the device here) with its hexadecimal and raw forms,
// limits, scale and unit for numbers, options for enums, and the flags.
class RpcTypeParameter : public RpcObject
{
public:
    explicit RpcTypeParameter(core::Parameter* parameter);

    // The low 32 bits as a non-negative number in hex, padded to the width of
    // the resolution (2, 4, 8 digits); a value whose low 32 bits are negative
    // as its 64-bit two's complement.
    static QString hexValue(qint64 value, int resolution);
    // A memory-bank field's value in hex, the whole field: two digits for
    // each of its bytes (an 8-byte identification number has sixteen).
    static QString memoryFieldHexValue(quint64 value, unsigned length);
};

// A list of parameters, each a RpcTypeParameter, in list order.
class RpcTypeParameterArray : public RpcArray
{
public:
    explicit RpcTypeParameterArray(const std::vector<core::IParameter*>& parameters);
};

} // namespace tarvesk::service
