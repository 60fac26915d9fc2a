#include "sim_dali_gear.h"

#include "sim_dali_timing.h"

#include "protocol/dali/dali_command_table.h"

#include <string_view>

namespace tarvesk::sim {

namespace {

using Dali = proto::DaliCommandTable;
using Kind = proto::DaliCommandKind;

// The opcode of a command of the LED module set (device type 6).
constexpr quint8 led(std::string_view name)
{
    return Dali::opcode(name, Dali::LedDeviceType);
}

constexpr quint8 NoDeviceType = 254;
constexpr quint8 Version20 = 0x08;
constexpr quint8 LightSourceLed = 6;

bool isSpecialByte(quint8 first)
{
    return first >= 0xA0 && first <= 0xCB;
}

bool isReservedByte(quint8 first)
{
    return first >= 0xCC && first <= 0xFB;
}

bool isShortAddressByte(quint8 data)
{
    return (data & 0x81) == 0x01; // 0AAAAAA1
}

} // namespace

SimDaliGear::SimDaliGear(const SimDaliGearConfig& config)
    : _config(config)
    , _random(config.randomSeed)
    , _shortAddress(config.shortAddress >= 0 && config.shortAddress < 64 ? config.shortAddress : -1)
    , _minLevel(config.physicalMinimum)
{
    _scenes.fill(Mask);
    _memory.setIdentity(config.identity);
    _groups = config.groups;
}

std::optional<quint8> SimDaliGear::yesIf(bool condition)
{
    return condition ? std::optional<quint8>(Yes) : std::nullopt;
}

bool SimDaliGear::isAddressed(quint8 addressByte) const
{
    if (addressByte >= 0xFE)
        return true; // broadcast
    if (addressByte >= 0xFC)
        return _shortAddress < 0; // broadcast to gear without a short address
    if ((addressByte & 0xE0) == 0x80)
        return (_groups >> ((addressByte >> 1) & 0x0F)) & 1;
    if (addressByte < 0x80)
        return (addressByte >> 1) == _shortAddress;
    return false;
}

// The command a frame carries under the device type enabled for it; none for
// direct arc power and reserved codes.
const proto::DaliCommand* SimDaliGear::commandOf(const Frame& frame)
{
    if (isSpecialByte(frame.first))
        return Dali::find(Kind::Special, frame.first);
    if (isReservedByte(frame.first) || (frame.first & 0x01) == 0)
        return nullptr;
    return Dali::find(Kind::Standard, frame.second, frame.deviceType);
}

std::optional<quint8> SimDaliGear::receive(const QByteArray& frameBytes, double nowUs)
{
    if (frameBytes.size() != 2) {
        // 24-bit frames are for control devices, not for gear.
        _pending.reset();
        _enabledDeviceType = 0;
        return std::nullopt;
    }
    Frame frame {quint8(frameBytes[0]), quint8(frameBytes[1]), 0, nowUs};
    const bool repeat
        = _pending && *_pending == frame && nowUs - _pending->atUs <= SimDaliTiming::SendTwiceWindowUs;
    // ENABLE DEVICE TYPE holds for the next command, and for its repeat.
    frame.deviceType = repeat ? _pending->deviceType : _enabledDeviceType;
    _enabledDeviceType = 0;
    const proto::DaliCommand* command = commandOf(frame);
    // Configuration commands act only when the same frame comes again within
    // 100 ms with nothing in between: a single garbled frame must not change a setting.
    if (repeat)
        _pending.reset();
    else if (command && command->sendTwice())
        _pending = frame;
    else
        _pending.reset();

    if (isSpecialByte(frame.first))
        return special(frame, command, repeat);
    if (isReservedByte(frame.first))
        return std::nullopt;
    if (!isAddressed(frame.first))
        return std::nullopt;
    if ((frame.first & 0x01) == 0) {
        _writeEnabled = false;
        arcPower(frame.second);
        return std::nullopt;
    }
    return addressed(frame, command, repeat);
}

std::optional<quint8> SimDaliGear::special(
    const Frame& frame, const proto::DaliCommand* command, bool confirmed)
{
    const quint8 data = frame.second;
    switch (frame.first) {
    case Dali::special("DTR0"):
    case Dali::special("DTR1"):
    case Dali::special("DTR2"):
    case Dali::special("WRITE MEMORY LOCATION"):
    case Dali::special("WRITE MEMORY LOCATION - NO REPLY"):
        break; // these keep the memory open for writing
    default:
        _writeEnabled = false;
        break;
    }
    if (!command)
        return std::nullopt;
    const bool initialising = _initialisation != Initialisation::Disabled;
    const bool selected = initialising && _randomAddress == _searchAddress;
    switch (command->code) {
    case Dali::special("TERMINATE"):
        _initialisation = Initialisation::Disabled;
        break;
    case Dali::special("DTR0"):
        _dtr[0] = data;
        break;
    case Dali::special("DTR1"):
        _dtr[1] = data;
        break;
    case Dali::special("DTR2"):
        _dtr[2] = data;
        break;
    case Dali::special("INITIALISE"):
        if (confirmed
            && (data == 0x00 || (data == 0xFF && _shortAddress < 0)
                || (isShortAddressByte(data) && (data >> 1) == _shortAddress)))
            _initialisation = Initialisation::Enabled;
        break;
    case Dali::special("RANDOMISE"):
        if (confirmed && initialising)
            _randomAddress = _config.fixedRandomAddress ? (*_config.fixedRandomAddress & 0xFFFFFF)
                                                        : (_random() & 0xFFFFFF);
        break;
    case Dali::special("COMPARE"):
        return yesIf(_initialisation == Initialisation::Enabled && _randomAddress <= _searchAddress);
    case Dali::special("WITHDRAW"):
        if (_initialisation == Initialisation::Enabled && _randomAddress == _searchAddress
            && !_config.ignoreWithdraw)
            _initialisation = Initialisation::Withdrawn;
        break;
    case Dali::special("SEARCHADDRH"):
    case Dali::special("SEARCHADDRM"):
    case Dali::special("SEARCHADDRL"):
        if (initialising) {
            int shift = 0; // SEARCHADDRL
            if (command->code == Dali::special("SEARCHADDRH"))
                shift = 16;
            else if (command->code == Dali::special("SEARCHADDRM"))
                shift = 8;
            _searchAddress = (_searchAddress & ~(0xFFu << shift)) | (quint32(data) << shift);
        }
        break;
    case Dali::special("PROGRAM SHORT ADDRESS"):
        if (selected && data == Mask)
            _shortAddress = -1;
        else if (selected && isShortAddressByte(data) && _config.ignoreProgramShortAddress > 0)
            --_config.ignoreProgramShortAddress;
        else if (selected && isShortAddressByte(data))
            _shortAddress = data >> 1;
        break;
    case Dali::special("VERIFY SHORT ADDRESS"):
        return yesIf(initialising && isShortAddressByte(data) && (data >> 1) == _shortAddress);
    case Dali::special("QUERY SHORT ADDRESS"):
        if (!selected)
            return std::nullopt;
        return _shortAddress < 0 ? Mask : quint8(_shortAddress * 2 + 1);
    case Dali::special("ENABLE DEVICE TYPE"):
        _enabledDeviceType = data;
        break;
    case Dali::special("WRITE MEMORY LOCATION"):
    case Dali::special("WRITE MEMORY LOCATION - NO REPLY"): {
        if (!_writeEnabled)
            return std::nullopt;
        const std::optional<quint8> stored = _memory.write(_dtr[1], _dtr[0], data);
        if (_memory.hasBank(_dtr[1]) && _dtr[0] < 0xFF)
            ++_dtr[0];
        return command->expectsAnswer() ? stored : std::nullopt;
    }
    default:
        break; // PING: nothing to do for gear that has a short address
    }
    return std::nullopt;
}

std::optional<quint8> SimDaliGear::addressed(
    const Frame& frame, const proto::DaliCommand* command, bool confirmed)
{
    if (command && command->sendTwice() && !confirmed)
        return std::nullopt; // waits for its repeat
    switch (frame.second) {
    case Dali::opcode("QUERY CONTENT DTR0"):
    case Dali::opcode("QUERY CONTENT DTR1"):
    case Dali::opcode("QUERY CONTENT DTR2"):
        break; // reading back the DTRs keeps the memory open for writing
    default:
        _writeEnabled = false;
        break;
    }
    if (!command)
        return std::nullopt; // reserved, or the extension of a device type not enabled
    if (command->deviceType == Dali::LedDeviceType)
        return _config.deviceType6 ? ledCommand(*command, confirmed) : std::nullopt;
    const quint8 index = quint8(frame.second - command->code);
    if (command->sendTwice()) {
        configure(*command, index);
        return std::nullopt;
    }
    if (command->expectsAnswer())
        return query(*command, index);
    levelCommand(*command, index);
    return std::nullopt;
}

void SimDaliGear::levelCommand(const proto::DaliCommand& command, quint8 index)
{
    _powerCycleSeen = false;
    switch (command.code) {
    case Dali::opcode("OFF"):
        _actualLevel = 0;
        break;
    case Dali::opcode("UP"):
    case Dali::opcode("STEP UP"):
        if (_actualLevel > 0 && _actualLevel < _maxLevel)
            ++_actualLevel;
        break;
    case Dali::opcode("DOWN"):
    case Dali::opcode("STEP DOWN"):
        if (_actualLevel > _minLevel)
            --_actualLevel;
        break;
    case Dali::opcode("RECALL MAX LEVEL"):
        arcPower(_maxLevel);
        break;
    case Dali::opcode("RECALL MIN LEVEL"):
        arcPower(_minLevel);
        break;
    case Dali::opcode("STEP DOWN AND OFF"):
        _actualLevel = _actualLevel <= _minLevel ? 0 : _actualLevel - 1;
        break;
    case Dali::opcode("ON AND STEP UP"):
        _actualLevel = _actualLevel == 0 ? _minLevel : qMin<quint8>(_actualLevel + 1, _maxLevel);
        break;
    case Dali::opcode("GO TO LAST ACTIVE LEVEL"):
        arcPower(_lastActiveLevel);
        break;
    case Dali::opcode("GO TO SCENE"):
        if (_scenes[index] != Mask)
            arcPower(_scenes[index]);
        break;
    default:
        break; // ENABLE DAPC SEQUENCE: nothing fades here
    }
    if (_actualLevel > 0)
        _lastActiveLevel = _actualLevel;
}

void SimDaliGear::arcPower(quint8 level)
{
    if (level == Mask)
        return; // stop fading: nothing fades here
    _powerCycleSeen = false;
    if (level == 0) {
        _actualLevel = 0;
        _limitError = false;
        return;
    }
    _limitError = level < _minLevel || level > _maxLevel;
    _actualLevel = qBound(_minLevel, level, _maxLevel);
    _lastActiveLevel = _actualLevel;
}

void SimDaliGear::configure(const proto::DaliCommand& command, quint8 index)
{
    const quint8 value = _dtr[0];
    switch (command.code) {
    case Dali::opcode("RESET"):
        reset();
        break;
    case Dali::opcode("STORE ACTUAL LEVEL IN DTR0"):
        _dtr[0] = _actualLevel;
        break;
    case Dali::opcode("SET OPERATING MODE"): // only the standard mode exists
        if (value == 0)
            _operatingMode = 0;
        break;
    case Dali::opcode("RESET MEMORY BANK"):
        _memory.reset(value);
        break;
    case Dali::opcode("SET MAX LEVEL"):
        _maxLevel = qBound<quint8>(_minLevel, value, 254);
        _actualLevel = qMin(_actualLevel, _maxLevel);
        break;
    case Dali::opcode("SET MIN LEVEL"):
        _minLevel = qBound<quint8>(_config.physicalMinimum, value, _maxLevel);
        if (_actualLevel > 0)
            _actualLevel = qMax(_actualLevel, _minLevel);
        break;
    case Dali::opcode("SET SYSTEM FAILURE LEVEL"):
        _systemFailureLevel = value;
        break;
    case Dali::opcode("SET POWER ON LEVEL"):
        _powerOnLevel = value;
        break;
    case Dali::opcode("SET FADE TIME"):
        _fadeTime = qMin<quint8>(value, 15);
        break;
    case Dali::opcode("SET FADE RATE"):
        _fadeRate = value == 0 ? 1 : qMin<quint8>(value, 15);
        break;
    case Dali::opcode("SET EXTENDED FADE TIME"):
        _extendedFadeTime = value > 0x4F ? 0 : value;
        break;
    case Dali::opcode("SET SCENE"):
        _scenes[index] = value;
        break;
    case Dali::opcode("REMOVE FROM SCENE"):
        _scenes[index] = Mask;
        break;
    case Dali::opcode("ADD TO GROUP"):
        _groups |= quint16(1u << index);
        break;
    case Dali::opcode("REMOVE FROM GROUP"):
        _groups &= quint16(~(1u << index));
        break;
    case Dali::opcode("SET SHORT ADDRESS"):
        if (value == Mask)
            _shortAddress = -1;
        else if (isShortAddressByte(value))
            _shortAddress = value >> 1;
        break;
    case Dali::opcode("ENABLE WRITE MEMORY"):
        _writeEnabled = true;
        break;
    default:
        break; // SAVE PERSISTENT VARIABLES, IDENTIFY DEVICE: nothing to do
    }
}

std::optional<quint8> SimDaliGear::query(const proto::DaliCommand& command, quint8 index)
{
    switch (command.code) {
    case Dali::opcode("QUERY STATUS"):
        return status();
    case Dali::opcode("QUERY CONTROL GEAR PRESENT"):
        return Yes;
    case Dali::opcode("QUERY LAMP FAILURE"):
        return yesIf(_lampFailure);
    case Dali::opcode("QUERY LAMP POWER ON"):
        return yesIf(_actualLevel > 0);
    case Dali::opcode("QUERY LIMIT ERROR"):
        return yesIf(_limitError);
    case Dali::opcode("QUERY RESET STATE"):
        return yesIf(isResetState());
    case Dali::opcode("QUERY MISSING SHORT ADDRESS"):
        return yesIf(_shortAddress < 0);
    case Dali::opcode("QUERY VERSION NUMBER"):
        return Version20;
    case Dali::opcode("QUERY CONTENT DTR0"):
        return _dtr[0];
    case Dali::opcode("QUERY DEVICE TYPE"):
        return _config.deviceType6 ? Dali::LedDeviceType : NoDeviceType;
    case Dali::opcode("QUERY PHYSICAL MINIMUM"):
        return _config.physicalMinimum;
    case Dali::opcode("QUERY POWER FAILURE"):
        return yesIf(_powerCycleSeen);
    case Dali::opcode("QUERY CONTENT DTR1"):
        return _dtr[1];
    case Dali::opcode("QUERY CONTENT DTR2"):
        return _dtr[2];
    case Dali::opcode("QUERY OPERATING MODE"):
        return _operatingMode;
    case Dali::opcode("QUERY LIGHT SOURCE TYPE"):
        return LightSourceLed;
    case Dali::opcode("QUERY ACTUAL LEVEL"):
        return _actualLevel;
    case Dali::opcode("QUERY MAX LEVEL"):
        return _maxLevel;
    case Dali::opcode("QUERY MIN LEVEL"):
        return _minLevel;
    case Dali::opcode("QUERY POWER ON LEVEL"):
        return _powerOnLevel;
    case Dali::opcode("QUERY SYSTEM FAILURE LEVEL"):
        return _systemFailureLevel;
    case Dali::opcode("QUERY FADE TIME/FADE RATE"):
        return quint8((_fadeTime << 4) | _fadeRate);
    case Dali::opcode("QUERY MANUFACTURER SPECIFIC MODE"):
        return yesIf(_operatingMode >= 0x80);
    case Dali::opcode("QUERY EXTENDED FADE TIME"):
        return _extendedFadeTime;
    case Dali::opcode("QUERY SCENE LEVEL"):
        return _scenes[index];
    case Dali::opcode("QUERY GROUPS 0-7"):
        return quint8(_groups & 0xFF);
    case Dali::opcode("QUERY GROUPS 8-15"):
        return quint8(_groups >> 8);
    case Dali::opcode("QUERY RANDOM ADDRESS (H)"):
        return quint8(_randomAddress >> 16);
    case Dali::opcode("QUERY RANDOM ADDRESS (M)"):
        return quint8(_randomAddress >> 8);
    case Dali::opcode("QUERY RANDOM ADDRESS (L)"):
        return quint8(_randomAddress);
    case Dali::opcode("READ MEMORY LOCATION"): {
        if (!_memory.hasBank(_dtr[1]))
            return std::nullopt;
        const std::optional<quint8> value = _memory.read(_dtr[1], _dtr[0]);
        if (_dtr[0] < 0xFF)
            ++_dtr[0];
        return value;
    }
    default:
        return std::nullopt; // QUERY NEXT DEVICE TYPE (one type only), QUERY CONTROL GEAR FAILURE
    }
}

std::optional<quint8> SimDaliGear::ledCommand(const proto::DaliCommand& command, bool confirmed)
{
    const quint8 value = _dtr[0];
    constexpr quint8 MinFastFadeTime = 1;
    // One bit of the failure status byte each.
    const auto failure = [this](int bit) { return yesIf(_ledFailureStatus & (1u << bit)); };
    switch (command.code) {
    case led("ENABLE CURRENT PROTECTOR"):
    case led("DISABLE CURRENT PROTECTOR"):
        if (confirmed)
            _currentProtectorEnabled = command.code == led("ENABLE CURRENT PROTECTOR");
        return std::nullopt;
    case led("SELECT DIMMING CURVE"): // standard (0) or linear (1)
        if (confirmed && value <= 1)
            _dimmingCurve = value;
        return std::nullopt;
    case led("STORE DTR AS FAST FADE TIME"):
        if (confirmed)
            _fastFadeTime = value == 0 ? 0 : qBound<quint8>(MinFastFadeTime, value, 27);
        return std::nullopt;
    case led("QUERY GEAR TYPE"): // integrated power supply, AC supply possible
        return 0x05;
    case led("QUERY DIMMING CURVE"):
        return _dimmingCurve;
    case led("QUERY POSSIBLE OPERATING MODES"): // AM, output current controlled
        return 0x06;
    case led("QUERY FEATURES"): // short/open circuit detection, current protector, thermal shut down
        return 0x33;
    case led("QUERY FAILURE STATUS"):
        return _ledFailureStatus;
    case led("QUERY SHORT CIRCUIT"):
        return failure(0);
    case led("QUERY OPEN CIRCUIT"):
        return failure(1);
    case led("QUERY LOAD DECREASE"):
        return failure(2);
    case led("QUERY LOAD INCREASE"):
        return failure(3);
    case led("QUERY CURRENT PROTECTOR ACTIVE"):
        return failure(4);
    case led("QUERY THERMAL SHUT DOWN"):
        return failure(5);
    case led("QUERY THERMAL OVERLOAD"):
        return failure(6);
    case led("QUERY REFERENCE MEASUREMENT FAILED"):
        return failure(7);
    case led("QUERY CURRENT PROTECTOR ENABLED"):
        return yesIf(_currentProtectorEnabled);
    case led("QUERY OPERATING MODE"): // current controlled, non-logarithmic curve bit
        return quint8(0x04 | (_dimmingCurve == 1 ? 0x10 : 0x00));
    case led("QUERY FAST FADE TIME"):
        return _fastFadeTime;
    case led("QUERY MIN FAST FADE TIME"):
        return MinFastFadeTime;
    case led("QUERY EXTENDED VERSION NUMBER"):
        return Version20;
    default:
        return std::nullopt; // REFERENCE SYSTEM POWER, QUERY REFERENCE RUNNING: no reference measurement
    }
}

void SimDaliGear::reset()
{
    _actualLevel = 254;
    _lastActiveLevel = 254;
    _powerOnLevel = 254;
    _systemFailureLevel = 254;
    _minLevel = _config.physicalMinimum;
    _maxLevel = 254;
    _fadeTime = 0;
    _fadeRate = 7;
    _extendedFadeTime = 0;
    _operatingMode = 0;
    _scenes.fill(Mask);
    _groups = 0;
    _randomAddress = NoRandomAddress;
    _searchAddress = NoRandomAddress;
    _limitError = false;
    _dimmingCurve = 0;
    _fastFadeTime = 0;
    _currentProtectorEnabled = true;
}

bool SimDaliGear::isResetState() const
{
    for (quint8 scene : _scenes) {
        if (scene != Mask)
            return false;
    }
    return _powerOnLevel == 254 && _systemFailureLevel == 254 && _minLevel == _config.physicalMinimum
        && _maxLevel == 254 && _fadeTime == 0 && _fadeRate == 7 && _extendedFadeTime == 0
        && _operatingMode == 0 && _groups == 0 && _randomAddress == NoRandomAddress
        && _searchAddress == NoRandomAddress && _dimmingCurve == 0 && _fastFadeTime == 0;
}

quint8 SimDaliGear::status() const
{
    quint8 bits = 0;
    if (_lampFailure)
        bits |= 0x02;
    if (_actualLevel > 0)
        bits |= 0x04;
    if (_limitError)
        bits |= 0x08;
    if (isResetState())
        bits |= 0x20;
    if (_shortAddress < 0)
        bits |= 0x40;
    if (_powerCycleSeen)
        bits |= 0x80;
    return bits;
}

void SimDaliGear::busPowerLost()
{
    _pending.reset();
    _enabledDeviceType = 0;
    if (_systemFailureLevel == Mask)
        return;
    _actualLevel = _systemFailureLevel == 0 ? 0 : qBound(_minLevel, _systemFailureLevel, _maxLevel);
}

void SimDaliGear::powerUp()
{
    _powerCycleSeen = true;
    _initialisation = Initialisation::Disabled;
    _searchAddress = NoRandomAddress;
    _dtr = {};
    _enabledDeviceType = 0;
    _writeEnabled = false;
    _pending.reset();
    _limitError = false;
    _memory.powerUp();
    if (_powerOnLevel != Mask)
        _actualLevel = _powerOnLevel == 0 ? 0 : qBound(_minLevel, _powerOnLevel, _maxLevel);
}

} // namespace tarvesk::sim
