#pragma once

#include "core/item_list.h"

namespace tarvesk::core {

class Universe;

// The process-wide list of all universes. Removing a universe deletes it, and
// with it its devices, its searcher and its interfaces.
class UniverseManager : public ItemList
{
public:
    // Created on first use; lives until the process ends.
    static UniverseManager& instance();

    // Makes every device of the universe mortal and removes it, then removes the
    // universe itself without force. False when the universe stays (immortal,
    // or not in this list).
    bool cleanupUniverse(Universe* universe);

private:
    UniverseManager() = default;
};

} // namespace tarvesk::core
