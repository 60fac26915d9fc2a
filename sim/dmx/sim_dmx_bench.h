#pragma once

#include "sim_bus_model.h"

#include <QJsonObject>
#include <QString>

#include <memory>

namespace tarvesk::sim {

// A Wystrel driver on the DMX line:
//
//   {"model": "wystrel_driver",
//    "uid": "0x00A1B2C3",                  its 32-bit Wystrel UID (GUID answer)
//    "version": 276, "product_id": 20, "oem_id": 1,
//    "skip_position": 0,                   0..255: the skip count it answers at
//    "local_id": 0,                        0..65535
//    "parameters": {"170": 105},           parameter number: 16-bit value
//    "unio_eeprom": [1, 2, 3],             UNI/O EEPROM from address 0
//    "dali_short_address": 0,              0..63: a DALI side behind its pass-through
//    "bootloader": {...},                  its bootloader and flash (sim/drivers/sim_driver_bench.h)
//    "presmonde": true,                    the memory of a Presmonde driver (sim/drivers/sim_driver_core.h)
//    "faults": {"silent": 0, "bad_checksum": 0, "error_flag": 0,    answers, -1 for ever
//               "row_not_programmed": 0,   row writes answered but not stored, -1 for ever
//               "row_refused": 0,          row writes neither stored nor answered, -1 for ever
//               "unplug_after_rows": 0}}   the box's cable is pulled after that many rows written
std::shared_ptr<SimBusModel> createWystrelDriverFromBench(const QJsonObject& entry, QString* error);

// An RDM responder on the DMX line:
//
//   {"model": "rdm_responder",
//    "uid": "0x7E2B00000042",              48 bits: manufacturer id, device id
//    "device_model_id": 1, "software_version": "0x00010000",
//    "model_description": "...", "manufacturer_label": "...", "device_label": "...",
//    "sensors": [{"type": 0, "unit": 1, "prefix": 1, "value": -55, "description": "Board"}],
//                                          value: signed 16-bit, -32768..32767
//    "faults": {...}}
std::shared_ptr<SimBusModel> createRdmResponderFromBench(const QJsonObject& entry, QString* error);

} // namespace tarvesk::sim
