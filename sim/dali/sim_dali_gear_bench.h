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
//    "answer_after_ms": 0,                the box reports the backward frames that late (host time)
//    "bus_supply": true,                  false: this gear's bus has no supply
//    "device_type_6": true,
//    "physical_minimum": 1,
//    "gtin": "0x0012345678901",           6 bytes
//    "firmware": [1, 0],                  major, minor (memory bank 0)
//    "identification_number": 1,
//    "banks": {"1": [0, 0, 0]},           banks 1..255: their data from location 3 on
//    "energy_step": 16}                   the active energy of bank 202 grows by this at every read
//                                         of the bank (bank 202 must hold locations 5 to 10)
//
// Banks 201 to 207 are D4i banks: they take writes only where IEC 62386-250
// to 253 allow it, and 202 to 204 latch their data while their lock byte
// holds 0xAA (SimDaliMemoryBanks). Every other bank takes writes throughout.
//
// Numbers are JSON numbers or texts ("0x..."). An unknown key or a value out of
// range refuses the entry with the reason.
std::shared_ptr<SimBusModel> createDaliGearFromBench(const QJsonObject& entry, QString* error);

} // namespace tarvesk::sim
