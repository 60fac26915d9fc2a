#pragma once

#include "core/parameters/dali/imemory_block_converter.h"

namespace tarvesk::core {

// A big-endian unsigned number of up to 8 bytes.
class MemoryBlockIntegerConverter : public IMemoryBlockConverter
{
public:
    std::string getName() const override { return "integer"; }
    QVariant convert(const std::vector<unsigned char>& bytes, unsigned int length) override;
    std::vector<unsigned char> convert(const QVariant& value, unsigned int length) override;
};

} // namespace tarvesk::core
