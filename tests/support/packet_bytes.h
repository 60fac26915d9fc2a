#pragma once

#include "protocol/raw_packet.h"

#include <QList>

#include <vector>

namespace tarvesk::test {

// A frame as a row of byte values, for tables of expected frames.
using Bytes = std::vector<int>;

inline Bytes bytesOf(const proto::RawPacket& p)
{
    const QList<int> list = p.getByteList();
    return Bytes(list.cbegin(), list.cend());
}

} // namespace tarvesk::test
