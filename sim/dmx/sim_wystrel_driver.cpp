#include "sim_wystrel_driver.h"

namespace tarvesk::sim {

namespace {

constexpr quint8 StartCode = 0xD0;
constexpr quint8 NormalBit = 0x08;
constexpr quint8 DirectionBit = 0x80;
constexpr quint8 SpiCode = 0x03;
constexpr int FrameSize = 9;

} // namespace

SimWystrelDriver::SimWystrelDriver()
    : SimWystrelDriver(Config())
{ }

SimWystrelDriver::SimWystrelDriver(const Config& config)
    : _core(config.identity)
    , _faults(config.faults)
    , _skipPosition(config.skipPosition)
    , _localId(config.localId)
{ }

SimWystrelDriver::~SimWystrelDriver() = default;

bool SimWystrelDriver::isAddressed(const QByteArray& frame) const
{
    const quint8 command = quint8(frame.at(1));
    const quint8 b2 = quint8(frame.at(2));
    const quint8 b3 = quint8(frame.at(3));
    if ((command & 0x07) == SpiCode && !(command & 0x10))
        return _skipPosition == 0; // an SPI frame carries no address
    if (!(command & NormalBit))
        return b2 == _skipPosition && b3 == (_localId & 0xFF);
    return _skipPosition == 0 && quint16(b2 << 8 | b3) == _localId;
}

std::optional<QByteArray> SimWystrelDriver::dmxFrame(const QByteArray& frame)
{
    if (frame.size() < FrameSize || quint8(frame.at(0)) != StartCode || !simWystrelChecksumValid(frame))
        return std::nullopt;
    const quint8 command = quint8(frame.at(1));
    const bool isCommand = bool(command & DirectionBit) != bool(command & NormalBit);
    if (!isCommand || !isAddressed(frame))
        return std::nullopt;
    std::optional<QByteArray> answer = simApplyFaults(_faults, _core.wystrelCommand(frame, &_faults));
    if (answer)
        ++_answered;
    return answer;
}

} // namespace tarvesk::sim
