#pragma once

#include "sim_dali_memory_banks.h"

#include <QtGlobal>

#include <optional>

namespace tarvesk::sim {

// How one simulated control gear is built, including the ways in which real
// gear misbehave.
struct SimDaliGearConfig
{
    static constexpr int NoShortAddress = -1;

    int shortAddress = NoShortAddress; // 0..63, or none
    quint16 groups = 0;                // group membership, bit g for group g
    // Seed of the generator behind RANDOMISE; gear with equal seeds draw equal addresses.
    quint32 randomSeed = 1;
    // When set, RANDOMISE always gives this address: gear that share it cannot
    // be told apart by the binary search.
    std::optional<quint32> fixedRandomAddress;
    // Gear that stays in the search after WITHDRAW.
    bool ignoreWithdraw = false;
    // Gear that lets this many PROGRAM SHORT ADDRESS pass before it takes one.
    int ignoreProgramShortAddress = 0;
    // Gear whose backward frames start after the answer window has closed.
    bool answerLate = false;
    // The box reports this gear's backward frames that long (host time) after
    // the forward frame, and the records after them later still: a box that
    // put the frame on a busy line late. 0: at once.
    int answerAfterMs = 0;
    // LED module control gear (IEC 62386-207, device type 6); otherwise no device type.
    bool deviceType6 = true;
    quint8 physicalMinimum = 1;
    SimDaliMemoryBanks::Identity identity;
};

} // namespace tarvesk::sim
