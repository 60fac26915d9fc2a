#pragma once

#include <QVariant>

#include <string>
#include <vector>

namespace tarvesk::core {

// Turns the bytes of a DALI memory-bank block into a parameter value and back.
// Every conversion error is a ParameterError; nothing is produced in part.
class IMemoryBlockConverter
{
public:
    virtual ~IMemoryBlockConverter() = default;

    virtual std::string getName() const = 0;
    // Device to value: at most `length` bytes.
    virtual QVariant convert(const std::vector<unsigned char>& bytes, unsigned int length) = 0;
    // Value to device: exactly the bytes to write.
    virtual std::vector<unsigned char> convert(const QVariant& value, unsigned int length) = 0;
};

} // namespace tarvesk::core
