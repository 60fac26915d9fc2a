#include "protocol/usb/usb_string_descriptor.h"

#include <gtest/gtest.h>

#include <vector>

using tarvesk::proto::decodeUsbStringDescriptor;

namespace {

TEST(UsbStringDescriptor, TheLengthByteMustFitWhatCame)
{
    const struct
    {
        const char* label;
        std::vector<unsigned char> bytes;
        int transferred;  // -1: all of bytes
        const char* text; // null: refused
    } cases[] = {
        {"\"Ab\"", {6, 3, 'A', 0, 'b', 0}, -1, "Ab"},
        {"empty", {2, 3}, -1, ""},
        {"odd length ignores the last byte", {5, 3, 'A', 0, 'b'}, -1, "A"},
        {"more came than claimed", {4, 3, 'A', 0, 'b', 0}, -1, "A"},
        {"U+00E9 little-endian", {4, 3, 0xE9, 0x00}, -1, "\xC3\xA9"},
        {"claims more than came", {8, 3, 'A', 0, 'b', 0}, -1, nullptr},
        {"shorter than its header", {1, 3, 'A', 0}, -1, nullptr},
        {"zero length", {0, 3}, -1, nullptr},
        {"one byte came", {6}, 1, nullptr},
        {"nothing came", {6, 3}, 0, nullptr},
        {"more came than the buffer holds", {2, 3}, 3, nullptr},
    };
    for (const auto& c : cases) {
        const int transferred = c.transferred < 0 ? int(c.bytes.size()) : c.transferred;
        const auto decoded = decodeUsbStringDescriptor(c.bytes.data(), transferred, int(c.bytes.size()));
        ASSERT_EQ(decoded.has_value(), c.text != nullptr) << c.label;
        if (c.text) {
            EXPECT_EQ(*decoded, QString::fromUtf8(c.text)) << c.label;
        }
    }
    EXPECT_FALSE(decodeUsbStringDescriptor(nullptr, 2, 2).has_value());
}

} // namespace
