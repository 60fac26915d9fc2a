#pragma once

#include "interfaces/idali.h"

namespace tarvesk::devices {

// The DALI port of a virtual device: commands go nowhere and every query is
// answered with 0xFE, so that the memory-bank actions of its parameters run
// without a bus.
class VirtualDaliInterface : public itf::IDali
{
public:
    static constexpr std::uint8_t Answer = 0xFE;

    void sendCommand(std::uint8_t, std::uint8_t) override { }
    void sendCommandTwice(std::uint8_t, std::uint8_t) override { }
    void sendSpecialCommand(std::uint8_t, std::uint8_t) override { }
    itf::DaliAnswer sendCommandExpectingAnswer(std::uint8_t, std::uint8_t) override { return Answer; }
    itf::DaliAnswer sendSpecialCommandExpectingAnswer(std::uint8_t, std::uint8_t) override { return Answer; }
};

} // namespace tarvesk::devices
