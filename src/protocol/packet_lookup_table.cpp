#include "protocol/packet_lookup_table.h"

namespace tarvesk::proto {

PacketLookupTable::PacketLookupTable(QObject* parent)
    : QObject(parent)
{ }

PacketLookupTable::~PacketLookupTable() = default;

} // namespace tarvesk::proto
