#include "sim_dorvane_driver.h"

#include "dali/sim_dali_gear.h"

namespace tarvesk::sim {

namespace {

constexpr quint8 BridgeControl = 0x0B;
constexpr quint8 LegacyControl = 0x0A;
constexpr quint8 TakeValue = 0x58;
constexpr quint8 ReadAddress = 0x59;
constexpr quint8 WriteSpecial = 0x5B;
constexpr quint8 WriteAddress = 0x5F;
constexpr quint8 DaliFrameMask = 0xFC;
constexpr quint8 DaliFrame = 0x40;
constexpr quint8 LegacyWordBit = 0x80;
constexpr quint8 ModuleAnswered = 0x81;
constexpr quint8 ModuleSilent = 0x80;
// Where a legacy driver keeps its identity.
constexpr quint16 LegacyVersion = 18, LegacySubversion = 31, LegacyProductId = 97, LegacyOemId = 96;

quint8 byteAt(const QByteArray& bytes, int i)
{
    return i < bytes.size() ? quint8(bytes.at(i)) : 0;
}

QByteArray answerOf(quint8 b0, quint8 b1, quint8 b2, quint8 b3)
{
    QByteArray answer;
    for (quint8 b : {b0, b1, b2, b3})
        answer.append(char(b));
    return answer;
}

} // namespace

SimDorvaneDriver::SimDorvaneDriver()
    : SimDorvaneDriver(Config())
{ }

SimDorvaneDriver::SimDorvaneDriver(const Config& config)
    : _core(config.identity)
    , _faults(config.faults)
    , _legacy(config.legacy)
    , _corvalt(config.corvalt)
{
    for (int channel : config.daliChannels) {
        SimDaliGearConfig gear;
        gear.groups = quint16(1u << channel);
        _channels.push_back(std::make_shared<SimDaliGear>(gear));
    }
    if (_legacy) {
        _core.setParameter(LegacyVersion, config.identity.version & 0xFF);
        _core.setParameter(LegacySubversion, quint16(config.subversion));
        _core.setParameter(LegacyProductId, config.identity.productId);
        _core.setParameter(LegacyOemId, config.identity.oemId);
    }
}

SimDorvaneDriver::~SimDorvaneDriver() = default;

SimDorvaneAnswer SimDorvaneDriver::dorvaneRequest(const QByteArray& request, bool read)
{
    if (SimDriverFaults::take(_faults.busy))
        return {SimDorvaneAnswer::NotTaken, {}};
    ++_requests;
    if (_core.inBootloader())
        return SimDorvaneAnswer::none(); // the bootloader speaks only Wystrel frames
    std::optional<QByteArray> answer;
    if ((byteAt(request, 0) & DaliFrameMask) == DaliFrame && byteAt(request, 1) == BridgeControl)
        answer = daliRequest(request, read);
    else if (_legacy)
        answer = legacyRequest(request, read);
    else
        answer = bridgeRequest(request);
    if (!answer || SimDriverFaults::take(_faults.silent))
        return SimDorvaneAnswer::none();
    if (SimDriverFaults::take(_faults.errorFlag))
        return {SimDorvaneAnswer::ErrorFlag, *answer};
    if (SimDriverFaults::take(_faults.badChecksum))
        return {SimDorvaneAnswer::BadChecksum, *answer};
    return SimDorvaneAnswer::answer(*answer);
}

std::optional<QByteArray> SimDorvaneDriver::bridgeRequest(const QByteArray& request)
{
    if (byteAt(request, 1) != BridgeControl)
        return std::nullopt;
    const quint8 low = byteAt(request, 2);
    const quint8 high = byteAt(request, 3);
    const quint16 word = quint16(low | high << 8);
    switch (byteAt(request, 0)) {
    case ReadAddress: {
        quint16 value = 0;
        if (!_core.readParameter(word, value))
            return std::nullopt;
        return answerOf(ReadAddress, BridgeControl, quint8(value & 0xFF), quint8(value >> 8));
    }
    case TakeValue:
        _latched = word;
        break;
    case WriteAddress:
        if (!_core.writeParameter(word, _latched))
            return std::nullopt;
        break;
    case WriteSpecial:
        // The bridge acknowledges a start code before the driver restarts into its bootloader.
        if (low != SimDriverCore::SpecialParameter
            || (!_core.writeSpecial(quint16(high << 8 | (_latched & 0xFF))) && !_core.inBootloader()))
            return std::nullopt;
        break;
    default:
        return std::nullopt;
    }
    return request.left(4);
}

std::optional<QByteArray> SimDorvaneDriver::legacyRequest(const QByteArray& request, bool read)
{
    if (byteAt(request, 1) != LegacyControl)
        return std::nullopt;
    const quint8 first = byteAt(request, 0);
    const bool word = first & LegacyWordBit;
    // The legacy parameter space: addresses 0 to 127, unset ones read 0.
    const quint16 address = first & 0x7F;
    const quint16 value = _core.parameter(address);
    if (!read) {
        const quint16 written
            = word ? quint16(byteAt(request, 2) | byteAt(request, 3) << 8) : byteAt(request, 2);
        _core.setParameter(address, written);
        return request.left(4).leftJustified(4, '\0');
    }
    return answerOf(first, LegacyControl, quint8(value & 0xFF), word ? quint8(value >> 8) : 0);
}

std::optional<QByteArray> SimDorvaneDriver::daliRequest(const QByteArray& request, bool read)
{
    const QByteArray forward = answerOf(byteAt(request, 3), byteAt(request, 2), 0, 0).left(2);
    std::optional<quint8> backward;
    if (SimDaliGear* gear = _core.daliGear())
        backward = gear->receive(forward);
    for (const auto& channel : _channels) {
        const std::optional<quint8> answer = channel->receive(forward);
        if (!backward)
            backward = answer;
    }
    if (_corvalt)
        return answerOf(byteAt(request, 0), BridgeControl, backward ? ModuleAnswered : ModuleSilent,
            backward.value_or(0));
    if (backward)
        return answerOf(byteAt(request, 0), BridgeControl, *backward, 0);
    // A DALI command is acknowledged as every other write is; only a query
    // without a backward frame goes unanswered.
    if (!read)
        return request.left(4);
    return std::nullopt;
}

std::optional<QByteArray> SimDorvaneDriver::dorvaneWystrelFrame(const QByteArray& frame)
{
    return simApplyFaults(_faults, _core.wystrelCommand(frame, &_faults));
}

bool SimDorvaneDriver::readDorvaneParameter(quint16 number, quint16& value)
{
    if (_core.inBootloader() || SimDriverFaults::take(_faults.silent))
        return false;
    // The special parameter reads back the last code it took.
    if (number == SimDriverCore::SpecialParameter) {
        value = _core.lastSpecialValue();
        return true;
    }
    return _core.readParameter(number, value);
}

// The box's own parameter set reaches the special parameter as the bridge's
// WriteSpecial does: unlock, dump of the RAM buffer, start of the bootloader.
bool SimDorvaneDriver::writeDorvaneParameter(quint16 number, quint16 value)
{
    if (_core.inBootloader() || SimDriverFaults::take(_faults.silent))
        return false;
    if (number == SimDriverCore::SpecialParameter)
        return _core.writeSpecial(value);
    return _core.writeParameter(number, value);
}

} // namespace tarvesk::sim
