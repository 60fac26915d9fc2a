#pragma once

#include <QString>

namespace tarvesk::proto {

// One entry of the Wystrel parameter table.
struct WystrelParameterInfo
{
    quint16 number;
    quint8 is16Bit; // 1 when the value uses both value bytes
    quint8 isBit;   // 1 when the parameter is one bit of a byte
    quint16 mask;
    const char* name;
};

// The entry of a parameter number, or null for a number not in the table.
const WystrelParameterInfo* findWystrelParameter(quint16 number);
int wystrelParameterCount();

} // namespace tarvesk::proto
