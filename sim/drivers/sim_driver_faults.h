#pragma once

namespace tarvesk::sim {

// How a simulated driver misbehaves, counted in answers: the next n answers
// are left out (the box records a time-out), carry a wrong checksum, or carry
// the error flag; the next n row writes of its bootloader are answered as taken
// but leave the flash as it was, or are refused (not written and not answered,
// as a bootloader still busy with the row before does). A count below 0 means
// "for ever". The cable of the box is pulled right after the n-th row written
// (0: never). A Dorvane driver may also be busy for its next n requests: it
// takes none of them, and the box reports the command not retrieved.
struct SimDriverFaults
{
    static constexpr int Forever = -1;

    int silent = 0;
    int badChecksum = 0;
    int errorFlag = 0;
    int rowNotProgrammed = 0;
    int rowRefused = 0;
    int unplugAfterRows = 0;
    int busy = 0;

    // Takes one answer's worth of a fault; true when it applies to this answer.
    static bool take(int& count)
    {
        if (count == 0)
            return false;
        if (count > 0)
            --count;
        return true;
    }
};

} // namespace tarvesk::sim
