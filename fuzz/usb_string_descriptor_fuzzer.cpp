// Decodes arbitrary bytes as a USB string descriptor, with every transferred
// count from what came down to nothing: no read past the bytes, no crash.
#include "protocol/usb/usb_string_descriptor.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 256)
        return 0;
    // A copy of exactly the input's size, so that the sanitizer sees any over-read.
    std::vector<unsigned char> buffer(data, data + size);
    for (int transferred = int(size); transferred >= 0; --transferred) {
        const auto text = tarvesk::proto::decodeUsbStringDescriptor(buffer.data(), transferred, int(size));
        if (text && text->size() > (transferred - 2) / 2)
            __builtin_trap();
    }
    return 0;
}
