#include "sim_driver_bench.h"

#include "dali/sim_dali_gear.h"
#include "sim_bench_entry.h"
#include "sim_driver_core.h"

namespace tarvesk::sim {

void simFillDriverCore(SimBenchEntry& reader, SimDriverCore& core)
{
    const auto parameters = reader.numberMap("parameters", 0xFFFF, 0xFFFF);
    for (auto it = parameters.constBegin(); it != parameters.constEnd(); ++it)
        core.setParameter(quint16(it.key()), quint16(it.value()));
    const QByteArray unio = reader.bytes("unio_eeprom", 0x10000);
    for (int i = 0; i < unio.size(); ++i)
        core.setUnioByte(i, quint8(unio.at(i)));
    if (const auto address = reader.number("dali_short_address", 0, 63)) {
        SimDaliGearConfig config;
        config.shortAddress = int(*address);
        core.setDaliGear(std::make_shared<SimDaliGear>(config));
    }
}

} // namespace tarvesk::sim
