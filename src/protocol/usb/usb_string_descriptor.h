#pragma once

#include <QString>

#include <optional>

namespace tarvesk::proto {

// A USB string descriptor as a device sends it: byte 0 its length (bLength),
// byte 1 the descriptor type, then UTF-16LE code units. The length byte is the
// device's word, so it is checked against the bytes that came (transferred)
// and the buffer (size): a descriptor that claims more, or less than its
// header, is refused. An odd trailing byte is ignored.
std::optional<QString> decodeUsbStringDescriptor(const unsigned char* data, int transferred, int size);

} // namespace tarvesk::proto
