#include "protocol/wystrel/wystrel_parameter_table.h"

#include <iterator>

namespace tarvesk::proto {

namespace {

constexpr WystrelParameterInfo kParameters[] = {
    {0, 1, 0, 0, "Info"},
    {1, 0, 0, 31, "Show"},
    {2, 1, 0, 511, "Start address"},
    {3, 0, 0, 0, "DMX timeout"},
    {4, 0, 1, 16, "Netw res"},
    {5, 0, 1, 1, "Show running"},
    {6, 0, 0, 0, "Ext inp"},
    {8, 0, 0, 0, "Switch: alt show"},
    {9, 0, 0, 0, "Master dim"},
    {10, 1, 0, 0, "Startup R"},
    {11, 1, 0, 0, "Startup G"},
    {12, 1, 0, 0, "Startup B"},
    {13, 1, 0, 0, "Startup W"},
    {18, 0, 1, 32, "Wystrel compatibility"},
    {20, 0, 0, 0, "?"},
    {21, 0, 0, 0, "?"},
    {22, 0, 0, 0, "?"},
    {23, 0, 0, 0, "?"},
    {24, 0, 0, 0, "?"},
    {25, 0, 0, 0, "?"},
    {26, 0, 0, 0, "?"},
    {27, 0, 0, 0, "?"},
    {50, 0, 1, 64, "Active 10V"},
    {51, 0, 0, 0, "Show speed"},
    {52, 0, 0, 0, "Group count"},
    {53, 0, 1, 64, "Gamma curve"},
    {54, 0, 0, 0, "Daisy-chain cluster mode: slave count"},
    {55, 0, 0, 15, "Interpol"},
    {57, 0, 1, 32, "Network termination"},
    {59, 0, 0, 0, "Daisy-chain mode"},
    {60, 0, 0, 0, "Scaling R"},
    {61, 0, 0, 0, "Scaling G"},
    {62, 0, 0, 0, "Scaling B"},
    {63, 0, 0, 0, "Scaling W"},
    {68, 0, 1, 128, "Dim curve"},
    {69, 0, 0, 0, "?"},
    {71, 0, 0, 0, "?"},
    {72, 0, 0, 0, "DMX footprint"},
    {73, 0, 1, 128, "Show chase"},
    {74, 0, 0, 0, "Cell count"},
    {75, 0, 0, 0, "?"},
    {76, 0, 1, 0, "Block external DMX setpoint"},
    {77, 0, 1, 8, "Wash (on/off)"},
    {78, 0, 0, 0, "?"},
    {80, 0, 0, 7, "Mapping R"},
    {81, 0, 0, 7, "Mapping G"},
    {82, 0, 0, 7, "Mapping B"},
    {83, 0, 0, 7, "Mapping W"},
    {100, 0, 0, 0, "?"},
    {101, 0, 0, 0, "Vsup req"},
    {110, 0, 0, 0, "?"},
    {150, 0, 0, 0, "Hardware type"},
    {151, 0, 0, 0, "?"},
    {153, 0, 0, 0, "?"},
    {155, 0, 0, 0, "?"},
    {156, 0, 0, 0, "?"},
    {157, 0, 0, 0, "Throttling temp"},
    {158, 0, 1, 0, "Auto vsup disabled"},
    {159, 0, 0, 0, "?"},
    {160, 0, 0, 0, "?"},
    {161, 0, 0, 0, "?"},
    {162, 1, 0, 0, "Analog in multiplier"},
    {163, 1, 0, 0, "Analog in offset"},
    {167, 0, 0, 0, "Power scale factor"},
    {170, 0, 0, 0, "Current 1"},
    {171, 0, 0, 0, "Current 2"},
    {172, 0, 0, 0, "Current 3"},
    {173, 0, 0, 0, "Current 4"},
    {230, 0, 0, 0, "UI param"},
};

} // namespace

const WystrelParameterInfo* findWystrelParameter(quint16 number)
{
    for (const WystrelParameterInfo& entry : kParameters) {
        if (entry.number == number)
            return &entry;
    }
    return nullptr;
}

int wystrelParameterCount()
{
    return int(std::size(kParameters));
}

} // namespace tarvesk::proto
