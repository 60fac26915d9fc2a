#pragma once

#include "interfaces/idali.h"

namespace tarvesk::itf {

class DaliInterface;

// The IDali view of a DaliInterface: failing bus statuses become DaliExceptions
// named after the operation; only "no answer" to a query is an ordinary result.
// Holds a plain pointer: the interface makes its own bridge and outlives it.
class IDaliToDaliInterfaceBridge : public IDali
{
public:
    explicit IDaliToDaliInterfaceBridge(DaliInterface* daliInterface);
    ~IDaliToDaliInterfaceBridge() override;

    void sendCommand(std::uint8_t address, std::uint8_t opcode) override;
    void sendCommandTwice(std::uint8_t address, std::uint8_t opcode) override;
    void sendSpecialCommand(std::uint8_t command, std::uint8_t data) override;
    DaliAnswer sendCommandExpectingAnswer(std::uint8_t address, std::uint8_t opcode) override;
    DaliAnswer sendSpecialCommandExpectingAnswer(std::uint8_t command, std::uint8_t data) override;

private:
    DaliInterface* const _interface;
};

} // namespace tarvesk::itf
