#pragma once

#include <cstdint>
#include <optional>

namespace tarvesk::itf {

// The answer of a DALI query: nothing, or one backward-frame byte.
using DaliAnswer = std::optional<std::uint8_t>;

// A small DALI command port for the memory-bank machinery. Every failure is a
// DaliException; "nobody answered" is an ordinary result of the two queries.
// The first byte of each frame is passed through as given (address byte or
// special-command byte).
class IDali
{
public:
    virtual ~IDali() = default;

    virtual void sendCommand(std::uint8_t address, std::uint8_t opcode) = 0;
    // A configuration command: the frame goes out twice.
    virtual void sendCommandTwice(std::uint8_t address, std::uint8_t opcode) = 0;
    virtual void sendSpecialCommand(std::uint8_t command, std::uint8_t data) = 0;
    virtual DaliAnswer sendCommandExpectingAnswer(std::uint8_t address, std::uint8_t opcode) = 0;
    virtual DaliAnswer sendSpecialCommandExpectingAnswer(std::uint8_t command, std::uint8_t data) = 0;
};

} // namespace tarvesk::itf
