#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>

namespace tarvesk::proto {

// A client's raw Dorvane request and the 4-byte frame that goes to the box's
// bridge: the command byte, the bridge control byte 0x0B and the two data
// bytes in swapped order. A 4-byte request x0 x1 x2 x3 gives x1 0x0B x3 x2
// (x0 is not sent); a 3-byte request x0 x1 x2 gives x0 0x0B x2 x1. The answer
// to a 3-byte request comes back in the request's own layout: bytes 0, 3 and 2
// of the answer frame.
namespace dorvane_raw {

constexpr quint8 BridgeControl = 0x0B;
constexpr int MinRequestSize = 3;
constexpr int MaxRequestSize = 4;

// The frame, or nothing for a request that is not 3 or 4 bytes long.
std::optional<QByteArray> frame(const QByteArray& request);
// The answer as a 3-byte request reads it; bytes past the answer's end read as 0.
QByteArray shortAnswer(const QByteArray& answer);

} // namespace dorvane_raw

} // namespace tarvesk::proto
