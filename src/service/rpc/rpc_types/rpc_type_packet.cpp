#include "service/rpc/rpc_types/rpc_type_packet.h"

#include "protocol/raw_packet.h"
#include "service/rpc_array.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

RpcTypePacket::RpcTypePacket(
    proto::RawPacket* packet, QHash<QString, proto::PacketLookupTable*>* lookupTables)
{
    auto* bytes = new RpcArray;
    for (int i = 0; i < packet->getDataSize(); ++i)
        bytes->addChild(new RpcValue(int(packet->getUint8(i))));

    packet->calcVariables(lookupTables);
    auto* attributes = new RpcObject;
    for (auto it = packet->attributeBegin(); it != packet->attributeEnd(); ++it)
        attributes->addChild(it.key(), new RpcValue(it.value()));

    addChild(QStringLiteral("attributes"), attributes);
    addChild(QStringLiteral("bytes"), bytes);
    addChild(QStringLiteral("packet_log"), new RpcValue(packet->getPacketInformation(lookupTables)));
    addChild(QStringLiteral("byte_hex_string"), new RpcValue(packet->getHexString()));
    addChild(QStringLiteral("packet_type"), new RpcValue(packet->getPacketTypeIdentString()));
    if (proto::RawPacket* sub = packet->getSubPacket())
        addChild(QStringLiteral("sub_packet"), new RpcTypePacket(sub, lookupTables));
}

} // namespace tarvesk::service
