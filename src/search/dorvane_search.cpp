#include "search/dorvane_search.h"

#include "core/universe.h"
#include "interfaces/dorvane/dorvane_interface.h"
#include "log/logging_categories.h"
#include "search/dorvane_master_device_search.h"
#include "search/dorvane_slave_device_search.h"
#include "search/search_options.h"
#include "search/search_results.h"

namespace tarvesk::search {

DorvaneSearch::DorvaneSearch(core::Universe* universe)
    : UniverseSearcher(QStringLiteral("Dorvane search"), universe)
    , _master(std::make_unique<DorvaneMasterDeviceSearch>(universe))
    , _slave(std::make_unique<DorvaneSlaveDeviceSearch>(universe))
{ }

DorvaneSearch::~DorvaneSearch() = default;

int DorvaneSearch::search(SearchOptions* options, SearchResults* results)
{
    core::Universe* universe = getUniverse();
    auto* dorvane = universe
        ? qobject_cast<itf::DorvaneInterface*>(universe->getInterface(core::ITF_TYPE_DORVANE))
        : nullptr;
    if (!dorvane || !options || !results)
        return 0;
    if (!options->isSearchProtocolDefined()) {
        options->addSearchProtocol(SearchOptions::DV1_HOST);
        options->addSearchProtocol(SearchOptions::DV2_HOST);
        qCDebug(service::loggerGlog()).noquote() << "!isSearchProtocolDefined";
    }
    const itf::DorvaneInterface::DorvaneState state = dorvane->getDorvaneState();
    qCDebug(service::loggerGlog()).noquote() << QStringLiteral("DV state %1").arg(int(state));
    if (state == itf::DorvaneInterface::DORVANE_DISABLED || state == itf::DorvaneInterface::DORVANE_2_LOGGER)
        return 0;
    options->debugPrint();

    int status = 0;
    if (options->containsSearchProtocol(SearchOptions::DV1_HOST)
        || options->containsSearchProtocol(SearchOptions::DV2_HOST)) {
        status = _master->search(options, results);
        qCDebug(service::loggerGlog()).noquote() << QStringLiteral("Found %1 devices").arg(results->size());
    }
    if (options->containsSearchProtocol(SearchOptions::DV1_DEVICE)
        || options->containsSearchProtocol(SearchOptions::DV2_DEVICE)) {
        if (!dorvane->hasCapability(core::ITF_CAP_DV_MASTER)) {
            qCDebug(service::loggerGlog()).noquote() << "Dorvane master not supported, skipping search";
            return status;
        }
        status = _slave->search(options, results);
        qCDebug(service::loggerGlog()).noquote() << QStringLiteral("Found %1 devices").arg(results->size());
    }
    return status;
}

} // namespace tarvesk::search
