#include "search/dmx_search.h"

#include "core/itf_error.h"
#include "core/universe.h"
#include "log/logging_categories.h"
#include "search/rdm_search.h"
#include "search/search_options.h"
#include "search/search_results.h"
#include "search/wystrel_search.h"

namespace tarvesk::search {

DmxSearch::DmxSearch(core::Universe* universe)
    : UniverseSearcher(QStringLiteral("DMX search"), universe)
{ }

DmxSearch::~DmxSearch() = default;

int DmxSearch::search(SearchOptions* options, SearchResults* results)
{
    if (!options || !results)
        return 0;
    // The caller's options serve other universes too: they stay as given.
    const bool any = !options->isSearchProtocolDefined();
    const bool rdm = any || options->containsSearchProtocol(SearchOptions::RDM);
    const bool wystrel = any || options->containsSearchProtocol(SearchOptions::WYSTREL);
    const QString name = getUniverse() ? getUniverse()->getName() : QString();

    if (rdm) {
        qCDebug(service::loggerGlog()).noquote()
            << QStringLiteral("Searching DMX universe \"%1\"using RDM").arg(name);
        RdmSearch discovery(getUniverse());
        for (int left = RdmRuns - 1; left >= 0 && results->size() == 0; --left) {
            discovery.search(options, results);
            if (results->size() == 0)
                qCDebug(service::loggerGlog()).noquote()
                    << QStringLiteral("No RDM devices found, retry %1").arg(left);
        }
        if (results->size() != 0)
            qCDebug(service::loggerGlog()).noquote()
                << QStringLiteral("Found %1 devices (RDM)").arg(results->size());
    }
    if (wystrel) {
        qCDebug(service::loggerGlog()).noquote()
            << QStringLiteral("Searching DMX universe \"%1\"using Wystrel").arg(name);
        WystrelSearch(getUniverse()).search(options, results);
        qCDebug(service::loggerGlog()).noquote()
            << QStringLiteral("Found %1 devices (Wystrel)").arg(results->size());
    }
    return rdm || wystrel ? 0 : core::ITF_ERR_UNSUPPORTED_FEATURE;
}

} // namespace tarvesk::search
