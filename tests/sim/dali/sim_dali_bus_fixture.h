#pragma once

#include "dali/sim_dali_bus.h"

#include <QByteArray>

#include <memory>
#include <optional>

namespace tarvesk::test {

// A bus with gear and the frames a controller sends, spelled as on the wire.
struct SimDaliBusFixture
{
    sim::SimDaliBus bus;

    std::shared_ptr<sim::SimDaliGear> add(const sim::SimDaliGearConfig& config = {})
    {
        auto gear = std::make_shared<sim::SimDaliGear>(config);
        bus.addGear(gear);
        return gear;
    }
    sim::SimDaliAnswer frame(quint8 first, quint8 second)
    {
        const char bytes[2] = {char(first), char(second)};
        return bus.transmit(QByteArray(bytes, 2));
    }
    void twice(quint8 first, quint8 second)
    {
        frame(first, second);
        frame(first, second);
    }
    // The answer byte, or nothing; a collision fails the caller's expectation.
    std::optional<int> query(quint8 first, quint8 second)
    {
        const sim::SimDaliAnswer a = frame(first, second);
        if (a.kind == sim::SimDaliAnswer::Collision)
            return -1;
        if (a.kind == sim::SimDaliAnswer::None)
            return std::nullopt;
        return a.value;
    }
    void store(quint8 address, quint8 opcode, quint8 value)
    {
        frame(0xA3, value); // DTR0
        twice(address, opcode);
    }
    void setSearchAddress(quint32 address)
    {
        frame(0xB1, quint8(address >> 16));
        frame(0xB3, quint8(address >> 8));
        frame(0xB5, quint8(address));
    }
};

} // namespace tarvesk::test
