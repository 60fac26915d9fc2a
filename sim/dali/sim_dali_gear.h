#pragma once

#include "sim_dali_gear_config.h"
#include "sim_dali_memory_banks.h"

#include <QByteArray>
#include <QtGlobal>

#include <array>
#include <optional>
#include <random>

namespace tarvesk::proto {
struct DaliCommand;
} // namespace tarvesk::proto

namespace tarvesk::sim {

// One DALI control gear (IEC 62386-102) with the LED module extension of
// IEC 62386-207 (device type 6): addressing, DTR0/1/2, the commissioning
// commands, the queries and configuration stores, memory banks with their lock
// byte. It sees every forward frame on its bus and answers with a backward
// frame or stays silent. Not thread-safe: the bus that owns it serialises frames.
class SimDaliGear
{
public:
    static constexpr quint8 Yes = 0xFF;
    static constexpr quint8 Mask = 0xFF;
    static constexpr quint32 NoRandomAddress = 0xFFFFFF;

    enum class Initialisation { Disabled, Enabled, Withdrawn };

    explicit SimDaliGear(const SimDaliGearConfig& config = SimDaliGearConfig());

    // One forward frame; nowUs (the bus clock) times the repeat of configuration commands.
    std::optional<quint8> receive(const QByteArray& frame, double nowUs = 0.0);
    // The bus lost its supply: the gear goes to its system failure level.
    void busPowerLost();
    // A mains power cycle.
    void powerUp();

    SimDaliMemoryBanks& memory() { return _memory; }
    void setLampFailure(bool failure) { _lampFailure = failure; }
    // IEC 62386-207 failure status bits (short circuit, open circuit, ...).
    void setLedFailureStatus(quint8 bits) { _ledFailureStatus = bits; }
    void setRandomAddress(quint32 address) { _randomAddress = address & 0xFFFFFF; }
    void setIgnoreWithdraw(bool ignore) { _config.ignoreWithdraw = ignore; }
    void setAnswerLate(bool late) { _config.answerLate = late; }
    bool answersLate() const { return _config.answerLate; }
    int answerAfterMs() const { return _config.answerAfterMs; }

    int shortAddress() const { return _shortAddress; }
    quint32 randomAddress() const { return _randomAddress; }
    Initialisation initialisation() const { return _initialisation; }
    quint8 actualLevel() const { return _actualLevel; }
    quint8 dtr0() const { return _dtr[0]; }
    quint16 groups() const { return _groups; }
    quint8 dimmingCurve() const { return _dimmingCurve; }
    bool writeEnabled() const { return _writeEnabled; }

private:
    struct Frame
    {
        quint8 first = 0;
        quint8 second = 0;
        quint8 deviceType = 0; // enabled for this frame
        double atUs = 0.0;
        bool operator==(const Frame& other) const { return first == other.first && second == other.second; }
    };

    bool isAddressed(quint8 addressByte) const;
    static const proto::DaliCommand* commandOf(const Frame& frame);
    // `command` is null for a reserved code.
    std::optional<quint8> special(const Frame& frame, const proto::DaliCommand* command, bool confirmed);
    std::optional<quint8> addressed(const Frame& frame, const proto::DaliCommand* command, bool confirmed);
    // `index` is the scene or group number of a command that carries one.
    void levelCommand(const proto::DaliCommand& command, quint8 index);
    void configure(const proto::DaliCommand& command, quint8 index);
    std::optional<quint8> query(const proto::DaliCommand& command, quint8 index);
    std::optional<quint8> ledCommand(const proto::DaliCommand& command, bool confirmed);
    void arcPower(quint8 level);
    void reset();
    bool isResetState() const;
    quint8 status() const;
    static std::optional<quint8> yesIf(bool condition);

    SimDaliGearConfig _config;
    SimDaliMemoryBanks _memory;
    std::mt19937 _random;

    // Addressing and commissioning.
    int _shortAddress;
    quint32 _randomAddress = NoRandomAddress;
    quint32 _searchAddress = NoRandomAddress;
    Initialisation _initialisation = Initialisation::Disabled;
    std::array<quint8, 3> _dtr = {};
    quint8 _enabledDeviceType = 0;
    bool _writeEnabled = false;
    // A configuration command waiting for its repeat.
    std::optional<Frame> _pending;

    // Light output and its settings.
    quint8 _actualLevel = 254;
    quint8 _lastActiveLevel = 254;
    quint8 _powerOnLevel = 254;
    quint8 _systemFailureLevel = 254;
    quint8 _minLevel;
    quint8 _maxLevel = 254;
    quint8 _fadeTime = 0;
    quint8 _fadeRate = 7;
    quint8 _extendedFadeTime = 0;
    quint8 _operatingMode = 0;
    std::array<quint8, 16> _scenes;
    quint16 _groups = 0;
    bool _limitError = false;
    bool _lampFailure = false;
    bool _powerCycleSeen = true;

    // LED module (device type 6).
    quint8 _dimmingCurve = 0;
    quint8 _fastFadeTime = 0;
    quint8 _ledFailureStatus = 0;
    bool _currentProtectorEnabled = true;
};

} // namespace tarvesk::sim
