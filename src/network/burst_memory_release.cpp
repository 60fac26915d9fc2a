#include "network/burst_memory_release.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace tarvesk::network {

bool BurstMemoryRelease::connectionsLeft(int count)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        // Closing its first connection, a burst is at its largest.
        if (count + 1 > most)
            most = count + 1;
        if (most < BurstSize || count > most / 8)
            return false;
        most = count;
    }
#ifdef __GLIBC__
    malloc_trim(0);
#endif
    return true;
}

} // namespace tarvesk::network
