#pragma once

#include "service/rpc_object.h"

#include <QHash>
#include <QString>

namespace tarvesk::proto {
class RawPacket;
class PacketLookupTable;
} // namespace tarvesk::proto

namespace tarvesk::service {

// One logged bus packet: its computed attributes, data bytes, description,
// hexadecimal form, type text and, when it carries one, its sub-packet
// (nested the same way). The packet computes its attributes from the tables,
// so it is changed; it is not kept.
class RpcTypePacket : public RpcObject
{
public:
    RpcTypePacket(proto::RawPacket* packet, QHash<QString, proto::PacketLookupTable*>* lookupTables);
};

} // namespace tarvesk::service
