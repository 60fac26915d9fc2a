#include "sim_dali_gear.h"

#include "sim_dali_timing.h"

namespace tarvesk::sim {

namespace {

// Special commands: the first byte of their frame.
enum Special : quint8 {
    Terminate = 0xA1,
    Dtr0 = 0xA3,
    Initialise = 0xA5,
    Randomise = 0xA7,
    Compare = 0xA9,
    Withdraw = 0xAB,
    SearchAddrH = 0xB1,
    SearchAddrM = 0xB3,
    SearchAddrL = 0xB5,
    ProgramShortAddress = 0xB7,
    VerifyShortAddress = 0xB9,
    QueryShortAddress = 0xBB,
    EnableDeviceType = 0xC1,
    Dtr1 = 0xC3,
    Dtr2 = 0xC5,
    WriteMemoryLocation = 0xC7,
    WriteMemoryLocationNoReply = 0xC9
};

// Opcodes after an address byte whose meaning the dispatch needs.
enum Opcode : quint8 {
    FirstConfiguration = 0x20,
    EnableWriteMemory = 0x81,
    QueryContentDtr0 = 0x98,
    QueryContentDtr1 = 0x9C,
    QueryContentDtr2 = 0x9D,
    FirstApplicationExtended = 0xE0,
    LastLedConfiguration = 0xE4
};

constexpr quint8 LedDeviceType = 6;
constexpr quint8 NoDeviceType = 254;
constexpr quint8 Version20 = 0x08;
constexpr quint8 LightSourceLed = 6;

bool isSpecialByte(quint8 first)
{
    return first >= 0xA0 && first <= 0xCB;
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

// Configuration commands act only when the same frame comes again within 100 ms
// with nothing in between: a single garbled frame must not change a setting.
bool SimDaliGear::takesRepeat(const Frame& frame) const
{
    if (isSpecialByte(frame.first))
        return frame.first == Initialise || frame.first == Randomise;
    if (frame.first >= 0xCC && frame.first <= 0xFB)
        return false;
    if ((frame.first & 0x01) == 0)
        return false; // direct arc power
    if (frame.second >= FirstConfiguration && frame.second <= EnableWriteMemory)
        return true;
    return frame.deviceType == LedDeviceType && frame.second >= FirstApplicationExtended
        && frame.second <= LastLedConfiguration;
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
    if (repeat)
        _pending.reset();
    else if (takesRepeat(frame))
        _pending = frame;
    else
        _pending.reset();

    if (isSpecialByte(frame.first))
        return special(frame, repeat);
    if (frame.first >= 0xCC && frame.first <= 0xFB)
        return std::nullopt; // reserved
    if (!isAddressed(frame.first))
        return std::nullopt;
    if ((frame.first & 0x01) == 0) {
        _writeEnabled = false;
        arcPower(frame.second);
        return std::nullopt;
    }
    return command(frame, repeat);
}

std::optional<quint8> SimDaliGear::special(const Frame& frame, bool confirmed)
{
    const quint8 data = frame.second;
    switch (frame.first) {
    case Dtr0:
    case Dtr1:
    case Dtr2:
    case WriteMemoryLocation:
    case WriteMemoryLocationNoReply:
        break; // these keep the memory open for writing
    default:
        _writeEnabled = false;
        break;
    }
    const bool initialising = _initialisation != Initialisation::Disabled;
    const bool selected = initialising && _randomAddress == _searchAddress;
    switch (frame.first) {
    case Terminate:
        _initialisation = Initialisation::Disabled;
        break;
    case Dtr0:
        _dtr[0] = data;
        break;
    case Dtr1:
        _dtr[1] = data;
        break;
    case Dtr2:
        _dtr[2] = data;
        break;
    case Initialise:
        if (confirmed
            && (data == 0x00 || (data == 0xFF && _shortAddress < 0)
                || (isShortAddressByte(data) && (data >> 1) == _shortAddress)))
            _initialisation = Initialisation::Enabled;
        break;
    case Randomise:
        if (confirmed && initialising)
            _randomAddress = _config.fixedRandomAddress ? (*_config.fixedRandomAddress & 0xFFFFFF)
                                                        : (_random() & 0xFFFFFF);
        break;
    case Compare:
        return yesIf(_initialisation == Initialisation::Enabled && _randomAddress <= _searchAddress);
    case Withdraw:
        if (_initialisation == Initialisation::Enabled && _randomAddress == _searchAddress
            && !_config.ignoreWithdraw)
            _initialisation = Initialisation::Withdrawn;
        break;
    case SearchAddrH:
    case SearchAddrM:
    case SearchAddrL:
        if (initialising) {
            const int shift = frame.first == SearchAddrH ? 16 : frame.first == SearchAddrM ? 8 : 0;
            _searchAddress = (_searchAddress & ~(0xFFu << shift)) | (quint32(data) << shift);
        }
        break;
    case ProgramShortAddress:
        if (selected && data == Mask)
            _shortAddress = -1;
        else if (selected && isShortAddressByte(data))
            _shortAddress = data >> 1;
        break;
    case VerifyShortAddress:
        return yesIf(initialising && isShortAddressByte(data) && (data >> 1) == _shortAddress);
    case QueryShortAddress:
        if (!selected)
            return std::nullopt;
        return _shortAddress < 0 ? Mask : quint8(_shortAddress * 2 + 1);
    case EnableDeviceType:
        _enabledDeviceType = data;
        break;
    case WriteMemoryLocation:
    case WriteMemoryLocationNoReply: {
        if (!_writeEnabled)
            return std::nullopt;
        const std::optional<quint8> stored = _memory.write(_dtr[1], _dtr[0], data);
        if (_memory.hasBank(_dtr[1]) && _dtr[0] < 0xFF)
            ++_dtr[0];
        return frame.first == WriteMemoryLocation ? stored : std::nullopt;
    }
    default:
        break;
    }
    return std::nullopt;
}

std::optional<quint8> SimDaliGear::command(const Frame& frame, bool confirmed)
{
    const quint8 opcode = frame.second;
    if (takesRepeat(frame) && !confirmed)
        return std::nullopt; // waits for its repeat
    if (opcode != QueryContentDtr0 && opcode != QueryContentDtr1 && opcode != QueryContentDtr2)
        _writeEnabled = false;
    if (opcode >= FirstApplicationExtended)
        return frame.deviceType == LedDeviceType && _config.deviceType6 ? ledCommand(opcode, confirmed)
                                                                        : std::nullopt;
    return standardCommand(opcode, confirmed);
}

std::optional<quint8> SimDaliGear::standardCommand(quint8 opcode, bool confirmed)
{
    if (opcode < FirstConfiguration) {
        _powerCycleSeen = false;
        switch (opcode) {
        case 0x00: // OFF
            _actualLevel = 0;
            break;
        case 0x01: // UP
        case 0x03: // STEP UP
            if (_actualLevel > 0 && _actualLevel < _maxLevel)
                ++_actualLevel;
            break;
        case 0x02: // DOWN
        case 0x04: // STEP DOWN
            if (_actualLevel > _minLevel)
                --_actualLevel;
            break;
        case 0x05:
            arcPower(_maxLevel);
            break;
        case 0x06:
            arcPower(_minLevel);
            break;
        case 0x07: // STEP DOWN AND OFF
            _actualLevel = _actualLevel <= _minLevel ? 0 : _actualLevel - 1;
            break;
        case 0x08: // ON AND STEP UP
            _actualLevel = _actualLevel == 0 ? _minLevel : qMin<quint8>(_actualLevel + 1, _maxLevel);
            break;
        case 0x0A:
            arcPower(_lastActiveLevel);
            break;
        default:
            if (opcode >= 0x10 && _scenes[opcode & 0x0F] != Mask)
                arcPower(_scenes[opcode & 0x0F]);
            break;
        }
        if (_actualLevel > 0)
            _lastActiveLevel = _actualLevel;
        return std::nullopt;
    }
    if (opcode <= EnableWriteMemory) {
        if (confirmed)
            configure(opcode);
        return std::nullopt;
    }
    return query(opcode);
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

void SimDaliGear::configure(quint8 opcode)
{
    const quint8 value = _dtr[0];
    switch (opcode) {
    case 0x20:
        reset();
        break;
    case 0x21: // STORE ACTUAL LEVEL IN DTR0
        _dtr[0] = _actualLevel;
        break;
    case 0x23: // SET OPERATING MODE: only the standard mode exists
        if (value == 0)
            _operatingMode = 0;
        break;
    case 0x24:
        _memory.reset(value);
        break;
    case 0x2A:
        _maxLevel = qBound<quint8>(_minLevel, value, 254);
        _actualLevel = qMin(_actualLevel, _maxLevel);
        break;
    case 0x2B:
        _minLevel = qBound<quint8>(_config.physicalMinimum, value, _maxLevel);
        if (_actualLevel > 0)
            _actualLevel = qMax(_actualLevel, _minLevel);
        break;
    case 0x2C:
        _systemFailureLevel = value;
        break;
    case 0x2D:
        _powerOnLevel = value;
        break;
    case 0x2E:
        _fadeTime = qMin<quint8>(value, 15);
        break;
    case 0x2F:
        _fadeRate = value == 0 ? 1 : qMin<quint8>(value, 15);
        break;
    case 0x30:
        _extendedFadeTime = value > 0x4F ? 0 : value;
        break;
    case 0x80: // SET SHORT ADDRESS
        if (value == Mask)
            _shortAddress = -1;
        else if (isShortAddressByte(value))
            _shortAddress = value >> 1;
        break;
    case EnableWriteMemory:
        _writeEnabled = true;
        break;
    default:
        if (opcode >= 0x40 && opcode <= 0x4F)
            _scenes[opcode & 0x0F] = value;
        else if (opcode >= 0x50 && opcode <= 0x5F)
            _scenes[opcode & 0x0F] = Mask;
        else if (opcode >= 0x60 && opcode <= 0x6F)
            _groups |= quint16(1u << (opcode & 0x0F));
        else if (opcode >= 0x70 && opcode <= 0x7F)
            _groups &= quint16(~(1u << (opcode & 0x0F)));
        break; // SAVE PERSISTENT VARIABLES, IDENTIFY DEVICE: nothing to do
    }
}

std::optional<quint8> SimDaliGear::query(quint8 opcode)
{
    if (opcode >= 0xB0 && opcode <= 0xBF)
        return _scenes[opcode & 0x0F];
    switch (opcode) {
    case 0x90:
        return status();
    case 0x91: // QUERY CONTROL GEAR PRESENT
        return Yes;
    case 0x92:
        return yesIf(_lampFailure);
    case 0x93:
        return yesIf(_actualLevel > 0);
    case 0x94:
        return yesIf(_limitError);
    case 0x95:
        return yesIf(isResetState());
    case 0x96:
        return yesIf(_shortAddress < 0);
    case 0x97:
        return Version20;
    case QueryContentDtr0:
        return _dtr[0];
    case 0x99:
        return _config.deviceType6 ? LedDeviceType : NoDeviceType;
    case 0x9A:
        return _config.physicalMinimum;
    case 0x9B: // QUERY POWER FAILURE
        return yesIf(_powerCycleSeen);
    case QueryContentDtr1:
        return _dtr[1];
    case QueryContentDtr2:
        return _dtr[2];
    case 0x9E:
        return _operatingMode;
    case 0x9F:
        return LightSourceLed;
    case 0xA0:
        return _actualLevel;
    case 0xA1:
        return _maxLevel;
    case 0xA2:
        return _minLevel;
    case 0xA3:
        return _powerOnLevel;
    case 0xA4:
        return _systemFailureLevel;
    case 0xA5:
        return quint8((_fadeTime << 4) | _fadeRate);
    case 0xA6:
        return yesIf(_operatingMode >= 0x80);
    case 0xA8:
        return _extendedFadeTime;
    case 0xC0:
        return quint8(_groups & 0xFF);
    case 0xC1:
        return quint8(_groups >> 8);
    case 0xC2:
        return quint8(_randomAddress >> 16);
    case 0xC3:
        return quint8(_randomAddress >> 8);
    case 0xC4:
        return quint8(_randomAddress);
    case 0xC5: { // READ MEMORY LOCATION
        if (!_memory.hasBank(_dtr[1]))
            return std::nullopt;
        const std::optional<quint8> value = _memory.read(_dtr[1], _dtr[0]);
        if (_dtr[0] < 0xFF)
            ++_dtr[0];
        return value;
    }
    default:
        return std::nullopt; // QUERY NEXT DEVICE TYPE (one type only), QUERY CONTROL GEAR FAILURE, reserved
    }
}

std::optional<quint8> SimDaliGear::ledCommand(quint8 opcode, bool confirmed)
{
    const quint8 value = _dtr[0];
    constexpr quint8 MinFastFadeTime = 1;
    switch (opcode) {
    case 0xE1:
    case 0xE2:
        if (confirmed)
            _currentProtectorEnabled = opcode == 0xE1;
        return std::nullopt;
    case 0xE3: // SELECT DIMMING CURVE: standard (0) or linear (1)
        if (confirmed && value <= 1)
            _dimmingCurve = value;
        return std::nullopt;
    case 0xE4: // STORE DTR AS FAST FADE TIME
        if (confirmed)
            _fastFadeTime = value == 0 ? 0 : qBound<quint8>(MinFastFadeTime, value, 27);
        return std::nullopt;
    case 0xED: // QUERY GEAR TYPE: integrated power supply, AC supply possible
        return 0x05;
    case 0xEE:
        return _dimmingCurve;
    case 0xEF: // QUERY POSSIBLE OPERATING MODES: AM, output current controlled
        return 0x06;
    case 0xF0: // QUERY FEATURES: short/open circuit detection, current protector, thermal shut down
        return 0x33;
    case 0xF1:
        return _ledFailureStatus;
    case 0xF9: // QUERY REFERENCE RUNNING
        return std::nullopt;
    case 0xFB:
        return yesIf(_currentProtectorEnabled);
    case 0xFC: // QUERY OPERATING MODE: current controlled, non-logarithmic curve bit
        return quint8(0x04 | (_dimmingCurve == 1 ? 0x10 : 0x00));
    case 0xFD:
        return _fastFadeTime;
    case 0xFE:
        return MinFastFadeTime;
    case 0xFF: // QUERY EXTENDED VERSION NUMBER
        return Version20;
    default:
        break;
    }
    if (opcode >= 0xF2 && opcode <= 0xFA) {
        // One failure status bit each; bit 7 (reference measurement failed) answers at 0xFA.
        const int bit = opcode == 0xFA ? 7 : opcode - 0xF2;
        return yesIf(_ledFailureStatus & (1u << bit));
    }
    return std::nullopt;
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
