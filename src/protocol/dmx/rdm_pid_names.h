#pragma once

#include <QString>

namespace tarvesk::proto {

// Names of the standard RDM parameter ids: "E120_..." for ANSI E1.20 and
// "E137_1_..." for ANSI E1.37-1; the empty text for any other id.
QString rdmPidName(quint16 pid);

// The parameter ids of ANSI E1.20 that the packets refer to by name.
enum RdmPid : quint16 {
    E120_DISC_UNIQUE_BRANCH = 0x0001,
    E120_DISC_MUTE = 0x0002,
    E120_DISC_UN_MUTE = 0x0003,
    E120_STATUS_MESSAGES = 0x0030,
    E120_DEVICE_INFO = 0x0060,
    E120_DEVICE_MODEL_DESCRIPTION = 0x0080,
    E120_MANUFACTURER_LABEL = 0x0081,
    E120_DEVICE_LABEL = 0x0082,
    E120_SENSOR_DEFINITION = 0x0200,
    E120_SENSOR_VALUE = 0x0201
};

} // namespace tarvesk::proto
