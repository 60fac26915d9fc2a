#pragma once

#include "core/parameters/dali/imemory_block_converter.h"

namespace tarvesk::core {

// UTF-8 text padded with zero bytes to the field length; read, it ends at its
// first zero byte.
class MemoryBlockStringConverter : public IMemoryBlockConverter
{
public:
    std::string getName() const override { return "string"; }
    QVariant convert(const std::vector<unsigned char>& bytes, unsigned int length) override;
    std::vector<unsigned char> convert(const QVariant& value, unsigned int length) override;
};

} // namespace tarvesk::core
