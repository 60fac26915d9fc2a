#pragma once

#include <QMetaType>

namespace tarvesk::core {

// Width of one raw memory access on a device.
enum NetworkResolution : int {
    ITF_RES_BYTE = 0, // 8 bits
    ITF_RES_WORD = 1, // 16 bits
    ITF_RES_LONG = 2  // 32 bits
};

} // namespace tarvesk::core

Q_DECLARE_METATYPE(tarvesk::core::NetworkResolution)
