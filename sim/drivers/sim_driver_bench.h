#pragma once

namespace tarvesk::sim {

class SimBenchEntry;
class SimDriverCore;

// Fills what a driver core holds beyond its identity from a bench entry:
// "parameters", "unio_eeprom", "dali_short_address", "presmonde" (true: the
// memory of a Presmonde driver, see SimDriverCore) and "bootloader":
//
//   "bootloader": {"device_id": "0x302B",     word 0x8006 (the chip's device id)
//                  "version": 5,             bootloader version byte of row reads
//                  "core_end": 2048, "page_count": 8,   answer to the page count (1..8)
//                  "system_type": 291, "hardware_type": 69,   12 bits each
//                  "idle_timeout_ms": 0,     0: the bootloader waits until told to start the application
//                  "in_bootloader": false,   true: the driver starts in its bootloader
//                  "modules": [{"id": 0, "version": 3, "subversion": 1, "size": 6, "start": 512}],
//                  "words": {"1928": 5}}     flash words by address (0..16383, 0x8000..0x803F), 14 bits
void simFillDriverCore(SimBenchEntry& reader, SimDriverCore& core);

} // namespace tarvesk::sim
