#pragma once

#include "sim_bus_model.h"

#include <QJsonObject>
#include <QString>

#include <memory>

namespace tarvesk::sim {

// Builds one control gear on its own DALI bus model from a bench entry:
//
//   {"model": "dali_gear",
//    "short_address": 0..63,              optional; none when absent
//    "random_seed": 7,                    seed of RANDOMISE, default 1
//    "random_address": "0x123456",        optional; RANDOMISE always gives it (shared addresses)
//    "ignore_withdraw": false,
//    "answer_late": false,                backward frames after the answer window
//    "bus_supply": true,                  false: this gear's bus has no supply
//    "device_type_6": true,
//    "physical_minimum": 1,
//    "gtin": "0x0012345678901",           6 bytes
//    "firmware": [1, 0],                  major, minor (memory bank 0)
//    "identification_number": 1,
//    "banks": {"1": [0, 0, 0]}}           writable banks: their data from location 3 on
//
// Numbers are JSON numbers or texts ("0x..."). An unknown key or a value out of
// range refuses the entry with the reason.
std::shared_ptr<SimBusModel> createDaliGearFromBench(const QJsonObject& entry, QString* error);

} // namespace tarvesk::sim
