#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tarvesk::itf {

// The status of a block access whose memory location gave no answer.
constexpr int MemoryLocationNoAnswer = -42;

// The outcome of a block read or write: a bus status (0 for success) and the
// bytes read (empty for writes and after any failure).
struct MemoryBlockResult
{
    MemoryBlockResult(int status = 0, std::vector<std::uint8_t> bytes = {}, std::string doubt = {})
        : status(status)
        , bytes(std::move(bytes))
        , doubt(std::move(doubt))
    { }

    int status = 0;
    std::vector<std::uint8_t> bytes;
    // Where and why the access failed in doubt (another master's traffic beside
    // ours moved the gear's memory pointer); empty for any other outcome.
    std::string doubt;
};

// Block access to the memory banks of DALI control gear. Reports failures as a
// status and never throws a DaliException.
//
// Declared here, beside the memory-bank actions that call it, so that the
// model does not include the interfaces that implement it.
class IDaliMemoryBank
{
public:
    virtual ~IDaliMemoryBank() = default;

    // Reads up to count bytes from bank/location on; with stopAtZero the read
    // ends after the first zero byte (the terminator of a text field).
    virtual MemoryBlockResult readMemoryBlock(std::uint8_t daliAddress, std::uint8_t bank,
        std::uint8_t location, std::uint8_t count, bool stopAtZero)
        = 0;
    virtual MemoryBlockResult writeMemoryBlock(
        std::uint8_t daliAddress, std::uint8_t bank, std::uint8_t location, std::vector<std::uint8_t> bytes)
        = 0;
};

} // namespace tarvesk::itf
