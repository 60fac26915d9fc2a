#pragma once

#include <mutex>

namespace tarvesk::network {

// Gives the memory a burst of connections used back to the system once most
// of them have ended. Every connection has a thread of its own, and the
// allocator hands memory back only from the top of a heap: what the pieces
// of a burst left free stays resident below any piece that lives on (a
// method object made on first use, a session), and a restart that meets a
// burst makes many such pieces, each time somewhere else. One trim after the
// burst returns every free page, wherever it lies; it costs a few
// milliseconds, so it comes once per burst, not per connection.
class BurstMemoryRelease
{
public:
    // Bursts smaller than this leave too little behind to be worth a trim.
    static constexpr int BurstSize = 64;

    // Told the connections left each time one ends; trims (on the calling
    // thread) when they fell to an eighth of the most since the last trim
    // and that was a burst. Returns whether it trimmed.
    bool connectionsLeft(int count);

private:
    std::mutex mutex;
    int most = 0; // guarded by mutex: the most connections since the last trim
};

} // namespace tarvesk::network
