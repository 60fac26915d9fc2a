#pragma once

namespace tarvesk::sim {

class SimBenchEntry;
class SimDriverCore;

// Fills what a driver core holds beyond its identity from a bench entry:
// "parameters", "unio_eeprom" and "dali_short_address".
void simFillDriverCore(SimBenchEntry& reader, SimDriverCore& core);

} // namespace tarvesk::sim
