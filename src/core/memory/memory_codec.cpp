#include "core/memory/memory_codec.h"

namespace tarvesk::core {

QList<int> FlashMemoryDecoder::decode(const QList<int>& words) const
{
    QList<int> bytes;
    if (words.size() % 2 != 0)
        return bytes;
    bytes.reserve(words.size() / 2 * 3);
    for (int i = 0; i < words.size(); i += 2) {
        const int a = words.at(i);
        const int b = words.at(i + 1);
        bytes << (a & 0xFF) << (b & 0xFF) << (((a >> 8) & 0x0F) | ((b >> 4) & 0xF0));
    }
    return bytes;
}

} // namespace tarvesk::core
