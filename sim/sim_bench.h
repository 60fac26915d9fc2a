#pragma once

#include "sim_lib_usb.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace tarvesk::sim {

// Reads a bench file: the simulated boxes and what is on their buses.
//
//   {
//     "timing": "instant" | "bus",                  optional, default "instant"
//     "boxes": [
//       {
//         "release": "0x2014",                       USB bcdDevice, default 0x2014
//         "firmware": 21, "subversion": 12,          registers 0 and 1
//         "capabilities": "0x20",                    register 3, default 0
//         "serial": 1001,                            registers 6 and 7
//         "manufacturer": "...", "product": "...",   USB strings
//         "serial_text": "...",                      optional USB serial string
//         "vendor_id": "0x04D8", "product_id": "0xFF00",
//         "registers": {"4": 0, "48": 2},            further firmware registers (48: the Dorvane
//                                                    mode on release 0x2014, 0 off, 1 dv1_host,
//                                                    2 dv1_device, 3 dv2_host, 4 dv2_device)
//         "dorvane_ram": {"16": 4},                  words of the box's Dorvane controller by byte
//                                                    address (16: the mode on older releases, bits
//                                                    0x45: 0x04 dv1_device, 0x05 dv1_host, 0x40
//                                                    dv2_device, 0x41 dv2_host)
//         "status_block": [1, 2, 3],                 up to 63 bytes
//         "dali": [{"model": "name", ...}],          bus models by name
//         "dmx": [...], "dorvane": [...],
//         "monitor_hold_back": {"one_in": 20,       optional: after one request in 20 (drawn
//           "min_ms": 1, "max_ms": 300, "seed": 7}    with the seed) the host's next monitor pass
//                                                    comes 1 (min_ms) to 300 ms late, as on a busy
//                                                    host: request threads go on meanwhile
//         "drop_records": {"after": 10,               optional: the box's first 10 records (0 if
//           "count": 200}                            left out) reach the monitor stream, the 200
//                                                    after them are lost, as on a box whose record
//                                                    buffer overflowed
//         "fail_polls": {"after": 0, "count": 1}     optional: the box's first 0 monitor polls (0 if
//                                                    left out) work, the 1 after them fail with an
//                                                    I/O error (a disturbed cable) before they
//                                                    reach the box, whose records stay
//         "dmx_recorded_after_line": true            optional, default false: the box records each
//                                                    DMX frame once the line has carried it (break,
//                                                    mark after break, slots, in real time, one
//                                                    frame after the other), after the DALI records
//                                                    made meanwhile, as the hardware does
//       }
//     ]
//   }
//
// Bus models (their keys at the top of their headers):
//   "dali":    "dali_gear"                                    sim/dali/sim_dali_gear_bench.h
//              "dali_master" (another master on the bus)      sim/dali/sim_dali_master.h
//                  every period, or just ahead of the box's frames
//   "dmx":     "wystrel_driver", "rdm_responder"              sim/dmx/sim_dmx_bench.h
//   "dorvane": "dorvane_driver", "dorvane_legacy_driver",     sim/dorvane/sim_dorvane_bench.h
//              "dv1_slave", "dv2_slave"
//
// A "wystrel_driver" or "dorvane_driver" may carry a "bootloader" (its flash,
// modules and datastore words; keys in sim/drivers/sim_driver_bench.h). The
// box's bootloader report (spam and status from firmware 18, start and stop
// from 20) acts on the driver on its Dorvane port; older boxes refuse it.
//
// In a device mode (dv1_device, dv2_device) the driver on the Dorvane port
// answers the box's Dorvane requests and its parameter report; in a host mode
// (dv1_host, dv2_host) the slave modules answer its SPI frames. Bit 0x02 of
// register 4 is set while no driver is connected in a device mode.
//
// Numbers are JSON numbers or texts ("0x2014", "21"). Every key is checked: an
// unknown key, a value out of range or an unknown bus model is an error that
// names the place, never a silent default.
class SimBench
{
public:
    static std::shared_ptr<SimLibUsb> loadFile(const QString& path, QString* error);
    static std::shared_ptr<SimLibUsb> loadJson(const QByteArray& json, QString* error);
};

} // namespace tarvesk::sim
