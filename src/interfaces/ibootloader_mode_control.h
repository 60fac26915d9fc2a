#pragma once

namespace tarvesk::itf {

// Switches a driver from its application into its bootloader by writing two
// access codes into its special parameter 254: the prime unlock, which the
// driver acknowledges, then the start code, after which it restarts into the
// bootloader and cannot answer. Each bus interface that can reach a bootloader
// inherits this beside its interface base and says how an access command
// travels on its bus.
class IBootloaderModeControl
{
public:
    static constexpr int AccessParameter = 254;
    static constexpr int PrimeUnlockCode = 0x00C3;
    static constexpr int StartBootloaderCode = 0x00E6;
    static constexpr int StartAttempts = 5;
    static constexpr int SettleAfterStartMs = 5;

    virtual ~IBootloaderModeControl();

    // The prime unlock (its failure ends the start at once), then the start
    // code up to five times until one is taken; 0 or the failing status.
    virtual int startBootloader(int timeoutMs);
    // Sets entered to true first, then the start above; elapsedMs is not touched.
    virtual int startBootloader(int timeoutMs, bool& entered, int& elapsedMs);
    // Repeated start codes for a driver that only listens right after power-up;
    // ITF_ERR_UNSUPPORTED_FEATURE unless the interface has its own.
    virtual int sendBootloaderSpam(int timeMs, bool& entered, int& elapsedMs);
    // One write of the 16-bit value (high, low) into a special parameter.
    virtual int sendBootloaderModeAccessCommand(int parameter, int valueHigh, int valueLow, bool expectAnswer)
        = 0;
    // Prepares the bus before a start; nothing by default.
    virtual void initializeForEnterBootloader();

    int sendPrimeUnlock();
    int sendStartBootloader();
    // The prime unlock, then the mode written into parameter 254 (no answer awaited).
    int setSpecialVolatileMode(unsigned char mode);

protected:
    // The pause after a start; tests replace it.
    virtual void settle(int ms);
};

} // namespace tarvesk::itf
