#include "search/rdm_search.h"

#include "core/interface_type.h"
#include "core/itf_error.h"
#include "core/universe.h"
#include "interfaces/dmx/dmx_interface.h"
#include "log/logging_categories.h"
#include "protocol/dmx/rdm_packet.h"
#include "protocol/options.h"
#include "search/binary_search_node.h"
#include "search/rdm_search_result.h"
#include "search/search_results.h"

#include <memory>

namespace tarvesk::search {

namespace {

constexpr quint16 PidDiscUniqueBranch = 0x0001;
constexpr quint16 PidDiscUnMute = 0x0003;
constexpr int BreakTime = 176;
constexpr int DiscoveryAnswerTimeout = 4000;
const QString BroadcastUid = QStringLiteral("FFFFFFFFFFFF");

void toBytes(unsigned long long value, std::array<quint8, 6>& bytes)
{
    for (int i = 5; i >= 0; --i) {
        bytes[size_t(i)] = quint8(value & 0xFF);
        value >>= 8;
    }
}

} // namespace

RdmSearch::RdmSearch(core::Universe* universe)
    : UniverseSearcher(QStringLiteral("RDM search"), universe)
    , BinarySearch(0, MaxUid)
    , _dmx(universe ? qobject_cast<itf::DmxInterface*>(universe->getInterface(core::ITF_TYPE_DMX)) : nullptr)
{ }

RdmSearch::~RdmSearch() = default;

void RdmSearch::updateUIDArrays(BinarySearchNode* node)
{
    toBytes(node ? node->getMinValue() : 0, _lower);
    toBytes(node ? node->getMaxValue() : MaxUid, _upper);
}

int RdmSearch::unmuteAll(SearchType)
{
    updateUIDArrays(nullptr);
    return rdmUnmute(BroadcastUid) ? 0 : core::ITF_ERR_TRANSFER;
}

void RdmSearch::mute(BinarySearchNode* node)
{
    debugPrintMute(node);
    updateUIDArrays(node);
}

int RdmSearch::sendRdm(proto::RdmPacket* request, proto::RdmPacket** reply, bool expectAnswer)
{
    if (reply)
        *reply = nullptr;
    if (!_dmx)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    proto::Options options;
    options.addOption(proto::option::BreakTime, BreakTime);
    options.addOption(proto::option::ExpectAnswer, expectAnswer);
    if (expectAnswer)
        options.addOption(proto::option::AnswerTimeout, DiscoveryAnswerTimeout);
    proto::DmxPacket* received = nullptr;
    const int status = _dmx->sendDmx(request, &received, &options);
    std::unique_ptr<proto::DmxPacket> owned(received);
    if (status != core::ITF_OK)
        qCCritical(service::loggerGlog()).noquote() << GLOG_PREFIX << "Sending RDM command ? failed";
    if (owned && reply)
        *reply = new proto::RdmPacket(owned.get());
    return status;
}

proto::RdmPacket* RdmSearch::createRdmPacket(int pid, const QString& uid)
{
    auto packet = std::make_unique<proto::RdmPacket>();
    if (!packet->fromPid(quint16(pid)) || !packet->setUid(proto::RdmPacket::DestinationUidOffset, uid))
        return nullptr;
    packet->checksum_recalculate();
    return packet.release();
}

bool RdmSearch::rdmUnmute(const QString& uid)
{
    std::unique_ptr<proto::RdmPacket> packet(createRdmPacket(PidDiscUnMute, uid));
    return packet && sendRdm(packet.get(), nullptr, false) == core::ITF_OK;
}

int RdmSearch::search(SearchOptions*, SearchResults* results)
{
    int status = 0;
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        unmuteAll(SEARCH_ALL);
        proto::RdmPacket request;
        if (!request.fromPid(PidDiscUniqueBranch))
            return core::ITF_ERR_INVALID_PARAM;
        proto::RdmPacket* reply = nullptr;
        sendRdm(&request, &reply, true);
        std::unique_ptr<proto::RdmPacket> owned(reply);
        if (!owned || owned->getDataSize() == 0)
            continue;
        if (owned->isTimeoutEvent()) {
            status = core::ITF_ERR_NO_REPLY;
            continue;
        }
        QString uid;
        const int decoded = owned->decodeUid(uid);
        qCDebug(service::loggerGlog()).noquote() << QStringLiteral("%1 - %2").arg(decoded).arg(uid);
        if (decoded == 0) {
            if (results)
                results->append(new RdmSearchResult(getUniverse(), uid));
            break;
        }
    }
    return status;
}

} // namespace tarvesk::search
