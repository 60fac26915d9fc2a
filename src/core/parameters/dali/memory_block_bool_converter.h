#pragma once

#include "core/parameters/dali/imemory_block_converter.h"

namespace tarvesk::core {

// One byte: 0 is false, 1 true; any other byte is kept as its number.
class MemoryBlockBoolConverter : public IMemoryBlockConverter
{
public:
    std::string getName() const override { return "bool"; }
    QVariant convert(const std::vector<unsigned char>& bytes, unsigned int length) override;
    std::vector<unsigned char> convert(const QVariant& value, unsigned int length) override;
};

} // namespace tarvesk::core
