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
//         "registers": {"4": 0, "41": 354},          further firmware registers
//         "parameters": {"2": 7},                    the box's own parameters
//         "status_block": [1, 2, 3],                 up to 63 bytes
//         "dali": [{"model": "name", ...}],          bus models by name
//         "dmx": [...], "dorvane": [...]
//       }
//     ]
//   }
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
