#include "search/dorvane_slave_device_search.h"

#include "core/device.h"
#include "core/itf_error.h"
#include "core/parameters/iparameter.h"
#include "core/universe.h"
#include "interfaces/dmx/spi_interface.h"
#include "log/logging_categories.h"
#include "protocol/options.h"
#include "protocol/spi/spi_packet.h"
#include "search/dorvane_slave_search_result.h"
#include "search/search_options.h"
#include "search/search_results.h"

#include <QThread>

#include <memory>

namespace tarvesk::search {

namespace {

// One frame to the modules; true when it went out and a module answered.
bool answered(itf::SpiInterface* spi, proto::SpiPacket& frame)
{
    proto::Options options;
    options.addOption(proto::option::ExpectAnswer, true);
    options.addOption(proto::option::DorvaneMaster, true);
    proto::SpiPacket* reply = nullptr;
    const int status = spi->sendSpi(&frame, &reply, &options);
    std::unique_ptr<proto::SpiPacket> answer(reply);
    return status == 0 && answer;
}

} // namespace

DorvaneSlaveDeviceSearch::DorvaneSlaveDeviceSearch(core::Universe* universe)
    : UniverseSearcher(QStringLiteral("Dorvane slave device search"), universe)
{ }

void DorvaneSlaveDeviceSearch::pause(int ms)
{
    QThread::msleep(unsigned(ms));
}

int DorvaneSlaveDeviceSearch::search(SearchOptions* options, SearchResults* results)
{
    core::Universe* universe = getUniverse();
    auto* spi
        = universe ? qobject_cast<itf::SpiInterface*>(universe->getInterface(core::ITF_TYPE_SPI)) : nullptr;
    if (!spi || !options || !results)
        return 0;
    core::Device* box = spi->getParentDevice();
    core::IParameter* mode = box ? box->getParameterInterface(QStringLiteral("dorvane_mode")) : nullptr;
    // Both generations are looked for whichever of the two the client named.
    const bool asked = options->containsSearchProtocol(SearchOptions::DV2_DEVICE)
        || options->containsSearchProtocol(SearchOptions::DV1_DEVICE);
    if (!asked)
        return 0;

    if (box && box->hasCapability(core::Device::CAP_DV2) && mode) {
        const int status = mode->setValue(QStringLiteral("dv2_host"), core::IParameter::UPDATE_YES);
        if (status != 0) {
            qCWarning(service::loggerGlog()).noquote()
                << QStringLiteral("Dorvane 2 host mode refused: %1").arg(core::itfErrorToString(status));
            return status;
        }
        pause(ModeSettleMs);
        for (int index = FirstIndex; index <= LastIndex; ++index) {
            proto::SpiPacket statusFrame;
            statusFrame.DV2_setStatusCommand(0, 0, 0, false);
            answered(spi, statusFrame);
            proto::SpiPacket read;
            read.DV2_setReadCommand(quint8(index), ProbeRegister, 1, true);
            if (answered(spi, read))
                results->append(new DorvaneSlaveSearchResult(universe, itf::SPI_DEVICE_DV2, index));
        }
    }
    if (results->size() == 0 && mode) {
        const int status = mode->setValue(QStringLiteral("dv1_host"), core::IParameter::UPDATE_YES);
        if (status != 0) {
            qCWarning(service::loggerGlog()).noquote()
                << QStringLiteral("Dorvane 1 host mode refused: %1").arg(core::itfErrorToString(status));
            return status;
        }
        proto::SpiPacket read;
        read.setReadRam16(1, ProbeRegister);
        if (answered(spi, read))
            results->append(new DorvaneSlaveSearchResult(universe, itf::SPI_DEVICE_DV1, 0));
    }
    return 0;
}

} // namespace tarvesk::search
