#include "search/dorvane_master_device_search.h"

#include "core/itf_error.h"
#include "core/universe.h"
#include "devices/dorvane_device_raw_brask_interface.h"
#include "devices/dorvane_legacy_device_raw_brask_interface.h"
#include "interfaces/dorvane/dorvane_interface.h"
#include "log/logging_categories.h"
#include "search/dorvane_search_result.h"
#include "search/search_options.h"
#include "search/search_results.h"

#include <memory>

namespace tarvesk::search {

DorvaneMasterDeviceSearch::DorvaneMasterDeviceSearch(core::Universe* universe)
    : UniverseSearcher(QStringLiteral("Dorvane search"), universe)
{ }

int DorvaneMasterDeviceSearch::search(SearchOptions* options, SearchResults* results)
{
    core::Universe* universe = getUniverse();
    auto* dorvane = universe
        ? qobject_cast<itf::DorvaneInterface*>(universe->getInterface(core::ITF_TYPE_DORVANE))
        : nullptr;
    if (!dorvane || !options || !results)
        return 0;
    if (!dorvane->isDorvaneDeviceConnected()) {
        if (options->containsSearchProtocol(SearchOptions::DV1_HOST)) {
            qCDebug(service::loggerGlog()).noquote() << "Switching to Dorvane 1";
            dorvane->setDorvaneState(itf::DorvaneInterface::DORVANE_1_DEVICE);
        } else if (options->containsSearchProtocol(SearchOptions::DV2_HOST)) {
            qCDebug(service::loggerGlog()).noquote() << "Switching to Dorvane 2";
            dorvane->setDorvaneState(itf::DorvaneInterface::DORVANE_2_DEVICE);
        }
    }
    if (!dorvane->isDorvaneDeviceConnected())
        return 0;
    const itf::DorvaneInterface::DorvaneState state = dorvane->getDorvaneState();
    searchDorvaneType(dorvane, true, options, results);
    if (results->size() == 0 && state == itf::DorvaneInterface::DORVANE_1_DEVICE)
        searchDorvaneType(dorvane, false, options, results);
    return 0;
}

int DorvaneMasterDeviceSearch::searchDorvaneType(
    itf::DorvaneInterface* dorvane, bool current, SearchOptions*, SearchResults* results)
{
    // A probe without a device: it logs to no device and owns nothing else.
    const QString name = QStringLiteral("just for searchin");
    std::unique_ptr<core::RawParameterInterface> probe;
    if (current)
        probe = std::make_unique<devices::DorvaneDeviceRawBraskInterface>(nullptr, name, dorvane);
    else
        probe = std::make_unique<devices::DorvaneLegacyDeviceRawBraskInterface>(
            nullptr, name, dorvane, nullptr);
    unsigned int value = 0;
    const int status = current ? probe->getParameter(core::ITF_RES_WORD, 0, value)
                               : probe->getParameter(core::ITF_RES_BYTE, LegacyVersionAddress, value);
    probe.reset();
    if (status != 0) {
        qCCritical(service::loggerGlog()).noquote() << QStringLiteral(" *GLOG* Dorvane search error (%1): %2")
                                                           .arg(status, 10)
                                                           .arg(core::itfErrorToString(status));
        return status;
    }
    const unsigned version = value & 0x1FF;
    if (current && version >= CurrentFrom) {
        qCDebug(service::loggerGlog()).noquote() << "Found a device";
        results->append(new DorvaneSearchResult(getUniverse(), true));
    } else if (version != 0) {
        qCDebug(service::loggerGlog()).noquote() << "Found a device";
        results->append(new DorvaneSearchResult(getUniverse(), false));
    }
    return 0;
}

} // namespace tarvesk::search
