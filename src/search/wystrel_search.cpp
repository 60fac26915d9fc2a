#include "search/wystrel_search.h"

#include "core/interface_type.h"
#include "core/itf_error.h"
#include "core/universe.h"
#include "interfaces/dmx/dmx_interface.h"
#include "log/logging_categories.h"
#include "protocol/options.h"
#include "protocol/wystrel/wystrel_packet.h"
#include "search/search_options.h"
#include "search/search_results.h"
#include "search/wystrel_search_result.h"

#include <memory>

namespace tarvesk::search {

namespace {

constexpr int GuidRetries = 15;

} // namespace

WystrelSearch::WystrelSearch(core::Universe* universe)
    : UniverseSearcher(QStringLiteral("Wystrel search"), universe)
{ }

WystrelSearch::~WystrelSearch() = default;

int WystrelSearch::search(SearchOptions* options, SearchResults* results)
{
    if (!checkDevice(0, 0, results))
        return 0;
    if (!options || !options->getSearchSubdevices())
        return 0;
    for (int skip = 1; skip <= MaxSkipCount; ++skip) {
        if (!checkDevice(0, skip, results))
            break;
    }
    return 0;
}

bool WystrelSearch::checkDevice(int localId, int skipCount, SearchResults* results)
{
    auto* dmx = getUniverse()
        ? qobject_cast<itf::DmxInterface*>(getUniverse()->getInterface(core::ITF_TYPE_DMX))
        : nullptr;
    if (!dmx)
        return false;
    proto::WystrelPacket request(proto::WystrelPacket::WY_CMD_GUID);
    request.setSkipCount(quint8(skipCount));
    request.setLid(quint16(localId));
    request.checksum_recalculate();
    proto::Options options;
    options.addOption(proto::option::AnswerTimeout, answerTimeoutFor(skipCount));
    options.addOption(proto::option::ExpectAnswer, true);
    options.addOption(proto::option::RetryCount, GuidRetries);
    proto::DmxPacket* received = nullptr;
    const int status = dmx->sendDmx(&request, &received, &options);
    std::unique_ptr<proto::DmxPacket> owned(received);
    if (status != core::ITF_OK)
        return false;
    if (!owned || owned->getDataSize() == 0 || owned->isTimeoutEvent()) {
        qCDebug(service::loggerGlog()) << "No reply for GUID";
        return false;
    }
    const proto::WystrelPacket answer(owned.get());
    if (!answer.cmd_isAnswer() || !answer.cmd_isGUID() || !answer.checksum_isValid()) {
        qCWarning(service::loggerGlog()).noquote() << GLOG_PREFIX << "Invalid reply for GUID";
        return false;
    }
    const quint32 uid = answer.getUid();
    qCDebug(service::loggerGlog()).noquote() << QStringLiteral("Found a device with UID %1").arg(uid);
    if (results)
        results->append(new WystrelSearchResult(getUniverse(), int(uid), localId, skipCount));
    return true;
}

} // namespace tarvesk::search
