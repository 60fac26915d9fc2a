#include "protocol/usb/usb_string_descriptor.h"

namespace tarvesk::proto {

std::optional<QString> decodeUsbStringDescriptor(const unsigned char* data, int transferred, int size)
{
    if (!data || transferred < 2 || transferred > size)
        return std::nullopt;
    const int length = data[0];
    if (length < 2 || length > transferred)
        return std::nullopt;
    QString text;
    for (int i = 2; i + 1 < length; i += 2)
        text.append(QChar(ushort(data[i] | (data[i + 1] << 8))));
    return text;
}

} // namespace tarvesk::proto
