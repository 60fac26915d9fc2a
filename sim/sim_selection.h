#pragma once

#include "sim_lib_usb.h"

#include <QString>

#include <memory>

namespace tarvesk::sim {

// The environment variable that names a bench file. When it is set, the service
// talks to the simulated boxes of that file instead of real USB hardware.
constexpr char BenchEnvironmentVariable[] = "QM_SIM_BENCH";

// Call once at start-up, before any USB transport is created. Without the
// variable nothing changes (real libusb) and the result is true. With it, the
// bench is loaded and installed as the process's libusb; a file that cannot be
// used gives false and the reason in `error`, and nothing is installed.
bool installBenchFromEnvironment(QString* error = nullptr);

// The bench installed by the call above, or null.
std::shared_ptr<SimLibUsb> installedBench();

} // namespace tarvesk::sim
