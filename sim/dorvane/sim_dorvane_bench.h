#pragma once

#include "sim_bus_model.h"

#include <QJsonObject>
#include <QString>

#include <memory>

namespace tarvesk::sim {

// A driver on the Dorvane port, of the current or the legacy generation:
//
//   {"model": "dorvane_driver" | "dorvane_legacy_driver",
//    "version": 276, "product_id": 20, "oem_id": 1,
//    "subversion": 3,                      legacy drivers (parameter 31)
//    "corvalt": false,                     a Corvalt DALI module reports its answers
//    "parameters": {"16358": 5},           parameter number: 16-bit value
//    "dali_short_address": 0,              0..63: a DALI side behind the DALI frames
//    "dali_channels": [0, 1, 3],           channels that answer on that DALI side (DALI groups)
//    "bootloader": {...},                  its bootloader and flash (sim/drivers/sim_driver_bench.h),
//                                          reached in Wystrel frames through the box (banana mode)
//    "presmonde": true,                    the memory of a Presmonde driver (sim/drivers/sim_driver_core.h)
//    "faults": {"silent": 0, "bad_checksum": 0, "error_flag": 0,
//               "row_not_programmed": 0, "row_refused": 0, "unplug_after_rows": 0}}
std::shared_ptr<SimBusModel> createDorvaneDriverFromBench(const QJsonObject& entry, QString* error);
std::shared_ptr<SimBusModel> createDorvaneLegacyDriverFromBench(const QJsonObject& entry, QString* error);

// A slave module behind the Dorvane port:
//
//   {"model": "dv1_slave" | "dv2_slave",
//    "index": 1,                           dv2: 1..8, the module address
//    "ram": {"28": "0x0114"},              RAM words, big-endian at address and address + 1
//    "eeprom": [1, 2, 3]}                  EEPROM from address 0
std::shared_ptr<SimBusModel> createDv1SlaveFromBench(const QJsonObject& entry, QString* error);
std::shared_ptr<SimBusModel> createDv2SlaveFromBench(const QJsonObject& entry, QString* error);

} // namespace tarvesk::sim
