#include "search/dali_search.h"

#include "core/device.h"
#include "core/interface_type.h"
#include "core/itf_error.h"
#include "core/universe.h"
#include "devices/dali_device.h"
#include "interfaces/dali_interface.h"
#include "log/logging_categories.h"
#include "protocol/dali/dali_command_table.h"
#include "search/binary_search_node.h"
#include "search/dali_search_result.h"
#include "search/search_options.h"
#include "search/search_results.h"

#include <QRegularExpression>

namespace tarvesk::search {

namespace {

using Dali = proto::DaliCommandTable;

constexpr uchar Broadcast = 0xFF;
constexpr uchar NoShortAddress = 0xFF;
constexpr uchar Yes = 0xFF;
constexpr int BroadcastQuery = 255;

constexpr uchar SearchAddressCommand[3]
    = {Dali::special("SEARCHADDRH"), Dali::special("SEARCHADDRM"), Dali::special("SEARCHADDRL")};

uchar addressByteOf(int shortAddress)
{
    return static_cast<uchar>((shortAddress * 2 + 1) & 0xFF);
}

} // namespace

DaliSearch::DaliSearch(core::Universe* universe)
    : UniverseSearcher(QStringLiteral("DALI search"), universe)
    , BinarySearch(0, MaxRandomAddress)
{
    setInferRightHalves(true);
}

DaliSearch::~DaliSearch() = default;

QString DaliSearch::hex(unsigned long long address)
{
    return QStringLiteral("0x%1").arg(address, 6, 16, QLatin1Char('0'));
}

bool DaliSearch::isStepName(const QString& name) const
{
    static const QRegularExpression query(QStringLiteral("^query_(0|[1-9][0-9]?)$"));
    const QRegularExpressionMatch match = query.match(name);
    if (match.hasMatch())
        return match.captured(1).toInt() < ShortAddressCount;
    return name == QLatin1String("initialise_all") || name == QLatin1String("initialise_new")
        || name == QLatin1String("search_single") || name == QLatin1String("end_search");
}

int DaliSearch::search(SearchOptions* options, SearchResults* results)
{
    _options = options;
    _results = results;
    _failure = 0;
    _frames = 0;
    _budgetNoted = false;
    _stepDeadline = QDeadlineTimer(MaxStepMs);
    if (!_dali && getUniverse())
        _dali = qobject_cast<itf::DaliInterface*>(getUniverse()->getInterface(core::ITF_TYPE_DALI));
    if (!options)
        return 0;
    if (!_dali)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;

    int status = 0;
    switch (options->getSearchMethod()) {
    case SearchOptions::ALL:
        status = searchAddress(BroadcastQuery, options, results);
        break;
    case SearchOptions::EXISTING:
        for (int a = 0; a < ShortAddressCount && status == 0; ++a)
            status = searchAddress(a, options, results);
        break;
    case SearchOptions::STEP: {
        const QString name = options->getSearchStepName();
        if (!isStepName(name)) {
            if (results)
                results->addWarning(QStringLiteral("Unknown search step \"%1\"").arg(name));
            status = core::ITF_ERR_INVALID_PARAM;
            break;
        }
        // The binary search lives on COMPAREs: without answers it would find nothing.
        if (name != QLatin1String("end_search") && !_dali->hasCapability(core::ITF_CAP_DALI_REPLY_SUPPORT)) {
            status = core::ITF_ERR_UNSUPPORTED_FEATURE;
            break;
        }
        // Initialising takes every short address away: the devices made for them are gone.
        if (name.startsWith(QLatin1String("initialise_")) && getUniverse())
            getUniverse()->clearDevices(false);
        doStep(name);
        status = _failure;
        break;
    }
    default:
        break;
    }
    // The box answers "no supply" as a failed transfer; say which, so the
    // client does not read it as a broken cable.
    core::Device* box = _dali->getParentDevice();
    if (status == core::ITF_ERR_TRANSFER && results && box
        && !box->isStatusTrue(core::Device::STATUS_DALI_CONNECTED))
        results->addWarning(QStringLiteral("The DALI bus has no supply"));
    _options = nullptr;
    _results = nullptr;
    return status;
}

int DaliSearch::searchAddress(int shortAddress, SearchOptions* options, SearchResults* results)
{
    Q_UNUSED(options)
    if (!_dali)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    if (!_dali->hasCapability(core::ITF_CAP_DALI_REPLY_SUPPORT))
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    const int address = shortAddress * 2 + 1;
    const uchar addressByte = shortAddress == BroadcastQuery ? Broadcast : addressByteOf(shortAddress);
    if (hasDeviceAt(addressByte))
        return 0; // asked before: one device per address
    uchar answer = 0;
    const int failureBefore = _failure;
    switch (query(addressByte, Dali::opcode("QUERY CONTROL GEAR PRESENT"), &answer)) {
    case Reply::None:
        return 0;
    case Reply::Failed: {
        const int status = _failure;
        _failure = failureBefore;
        return status;
    }
    case Reply::Collision:
        // Several gear answered: presence for certain, but they share the address.
        if (shortAddress != BroadcastQuery && results)
            results->addWarning(QStringLiteral("Several gear answer at short address %1").arg(shortAddress));
        break;
    case Reply::Answer:
        if (answer != Yes)
            return 0;
        break;
    }
    if (results)
        results->append(new DaliSearchResult(getUniverse(), address));
    return 0;
}

bool DaliSearch::hasDeviceAt(int addressByte) const
{
    if (!getUniverse())
        return false;
    for (core::Device* device : getUniverse()->getDevices()) {
        const auto* dali = dynamic_cast<devices::DaliDevice*>(device);
        if (dali && dali->getAddress() == addressByte)
            return true;
    }
    return false;
}

bool DaliSearch::fail(int status)
{
    if (_failure == 0)
        _failure = status;
    stopPass();
    return false;
}

bool DaliSearch::command(uchar first, uchar second)
{
    if (_failure)
        return false;
    ++_frames;
    const int status = _dali->sendCommand(first, second);
    return status == core::ITF_OK || fail(status);
}

bool DaliSearch::commandTwice(uchar first, uchar second)
{
    if (_failure)
        return false;
    _frames += 2;
    const int status = _dali->sendCommandTwice(first, second);
    return status == core::ITF_OK || fail(status);
}

DaliSearch::Reply DaliSearch::query(uchar first, uchar second, uchar* answer)
{
    if (_failure)
        return Reply::Failed;
    ++_frames;
    const int status = _dali->queryCommand(first, second, answer, false);
    switch (status) {
    case core::ITF_OK:
        return Reply::Answer;
    case core::ITF_ERR_NO_REPLY:
        return Reply::None;
    case core::ITF_ERR_PACKET_FRAME:
        return Reply::Collision;
    default:
        fail(status);
        return Reply::Failed;
    }
}

DaliSearch::Reply DaliSearch::compare()
{
    return query(Dali::special("COMPARE"), 0x00);
}

bool DaliSearch::setSearchAddress(unsigned long long address, bool force)
{
    for (int i = 0; i < 3; ++i) {
        const int byte = int((address >> (16 - 8 * i)) & 0xFF);
        if (!force && _searchAddress[size_t(i)] == byte)
            continue;
        // Unknown until the gear have it: a failed send leaves the cache unsure.
        _searchAddress[size_t(i)] = -1;
        if (!command(SearchAddressCommand[i], uchar(byte)))
            return false;
        _searchAddress[size_t(i)] = byte;
    }
    return true;
}

BinarySearch::BinarySearchCondition DaliSearch::compareAt(unsigned long long address)
{
    if (!setSearchAddress(address, false))
        return SEARCH_FAILED;
    const Reply reply = compare();
    QString outcome;
    BinarySearchCondition condition = NO_REPLY;
    switch (reply) {
    case Reply::Answer:
        condition = SINGLE_REPLY;
        outcome = QStringLiteral(" : %1").arg(_dali->getLastAnswer(), 2, 16, QLatin1Char(' '));
        break;
    case Reply::Collision:
        condition = MULTIPLE_REPLIES;
        outcome = QStringLiteral(" : Frame error");
        break;
    case Reply::None:
        outcome = QStringLiteral(" : No reply");
        break;
    case Reply::Failed:
        return SEARCH_FAILED;
    }
    qCDebug(service::coreInterface()).noquote() << QStringLiteral("Search address [%1 %2 %3]")
                                                       .arg(_searchAddress[0], 2, 16, QLatin1Char('0'))
                                                       .arg(_searchAddress[1], 2, 16, QLatin1Char('0'))
                                                       .arg(_searchAddress[2], 2, 16, QLatin1Char('0'))
            + outcome;
    return condition;
}

int DaliSearch::unmuteAll(SearchType type)
{
    Q_UNUSED(type)
    _foundCount = 0;
    _usedShortAddresses.reset();
    _pass = 1;
    _passIssues.clear();
    _repeatPass = false;
    _outOfAddresses = false;
    // Every gear loses its short address and draws a new random address. The
    // gear need up to 100 ms for the draw before they answer COMPARE; the three
    // search address frames and RECALL MIN LEVEL take longer than that on the
    // wire (four settling times and frames of at least 29 ms each), so no
    // extra wait is needed.
    const bool sent = command(Dali::special("DTR0"), NoShortAddress)
        && commandTwice(Broadcast, Dali::opcode("SET SHORT ADDRESS"))
        && commandTwice(Dali::special("INITIALISE"), 0x00) && commandTwice(Dali::special("RANDOMISE"), 0x00)
        && setSearchAddress(MaxRandomAddress, true) && command(Broadcast, Dali::opcode("RECALL MIN LEVEL"));
    if (!sent) {
        stopPass();
        return _failure;
    }
    return 0;
}

bool DaliSearch::nextPass()
{
    const auto giveUp = [this] {
        if (_results) {
            for (const QString& issue : qAsConst(_passIssues))
                _results->addWarning(issue);
        }
        _passIssues.clear();
        _repeatPass = false;
        return false;
    };
    if (_failure || _outOfAddresses || !_repeatPass || _pass >= MaxPasses)
        return giveUp();
    ++_pass;
    _passIssues.clear();
    _repeatPass = false;
    // Only gear still without a short address take part again, with new random
    // addresses. The frames before the first COMPARE outlast the draw (above).
    const bool sent = command(Dali::special("TERMINATE"), 0x00)
        && commandTwice(Dali::special("INITIALISE"), NoShortAddress)
        && commandTwice(Dali::special("RANDOMISE"), 0x00) && setSearchAddress(MaxRandomAddress, true);
    if (!sent)
        return false;
    newTree();
    return true;
}

void DaliSearch::finalise()
{
    commandTwice(Dali::special("TERMINATE"), 0x00);
}

BinarySearch::BinarySearchCondition DaliSearch::checkCondition(BinarySearchNode* node)
{
    if (_failure)
        return SEARCH_FAILED;
    if (_frames >= MaxFramesPerStep || _stepDeadline.hasExpired()) {
        if (!_budgetNoted && _results) {
            _results->addWarning(QStringLiteral("The search step stopped after %1 frames; \"search_single\" "
                                                "goes on from there")
                                     .arg(_frames));
        }
        _budgetNoted = true;
        return STEP_PAUSED;
    }
    return compareAt(node->getMaxValue());
}

int DaliSearch::nextFreeShortAddress() const
{
    for (int a = 0; a < ShortAddressCount; ++a) {
        if (!_usedShortAddresses.test(size_t(a)))
            return a;
    }
    return -1;
}

void DaliSearch::notePassIssue(const QString& text)
{
    _passIssues.append(text);
    _repeatPass = true;
}

bool DaliSearch::finalCheck(BinarySearchNode* node)
{
    const unsigned long long address = node->getMinValue();
    _programmed = false;
    // An inferred leaf was never asked: it may hold nothing, one gear or several.
    const BinarySearchCondition condition
        = node->wasInferred() ? compareAt(address) : BinarySearchCondition(node->getLastCondition());
    switch (condition) {
    case SINGLE_REPLY:
        break;
    case MULTIPLE_REPLIES:
        notePassIssue(QStringLiteral("Several gear share the random address %1; none of them was given a "
                                     "short address")
                          .arg(hex(address)));
        withdrawAndConfirm(address);
        return false;
    default:
        return false;
    }
    if (nextFreeShortAddress() < 0) {
        _outOfAddresses = true;
        if (_results) {
            _results->addWarning(QStringLiteral("More than %1 gear answer: no short address is left for the "
                                                "gear at random address %2")
                                     .arg(ShortAddressCount)
                                     .arg(hex(address)));
        }
        stopPass();
        return false;
    }
    return true;
}

void DaliSearch::mute(BinarySearchNode* node)
{
    debugPrintMute(node);
    _programmed = false;
    const int shortAddress = nextFreeShortAddress();
    const uchar addressByte = addressByteOf(shortAddress);
    if (!command(Dali::special("PROGRAM SHORT ADDRESS"), addressByte))
        return;
    // Handed out once per search, whatever the gear made of it.
    _usedShortAddresses.set(size_t(shortAddress));
    uchar answer = 0;
    const Reply reply = query(Dali::special("QUERY SHORT ADDRESS"), 0x00, &answer);
    if (reply == Reply::Failed)
        return;
    if (reply == Reply::Answer && answer == addressByte) {
        if (!command(addressByte, Dali::opcode("RECALL MAX LEVEL")))
            return;
        ++_foundCount;
        _programmed = true;
        _lastShortAddress = shortAddress;
        if (_results)
            _results->append(new DaliSearchResult(getUniverse(), addressByte));
        return;
    }
    // Whoever took the address may not keep it unconfirmed: two gear could share it.
    if (!command(Dali::special("PROGRAM SHORT ADDRESS"), NoShortAddress))
        return;
    notePassIssue(QStringLiteral("The gear at random address %1 did not take short address %2")
                      .arg(hex(node->getMinValue()))
                      .arg(shortAddress));
}

bool DaliSearch::finalVerify(BinarySearchNode* node)
{
    return withdrawAndConfirm(node->getMinValue()) && _programmed;
}

bool DaliSearch::withdrawAndConfirm(unsigned long long address)
{
    if (!command(Dali::special("WITHDRAW"), 0x00))
        return false;
    // The search address still is this address: nobody may answer any more.
    switch (compare()) {
    case Reply::None:
        return true;
    case Reply::Failed:
        return false;
    case Reply::Answer:
    case Reply::Collision:
        break;
    }
    // Such gear answer every later COMPARE, which would make every range look
    // occupied: this pass ends. Addressed gear stay out of the next pass.
    const QString text
        = QStringLiteral("The gear at random address %1 does not withdraw from the search").arg(hex(address));
    if (_programmed && _results)
        _results->addWarning(text + QStringLiteral("; it was given short address %1").arg(_lastShortAddress));
    else
        _passIssues.append(text);
    _repeatPass = true;
    stopPass();
    return false;
}

void DaliSearch::queryStep(int number)
{
    const int status = searchAddress(number, _options, _results);
    if (status != 0)
        fail(status);
}

} // namespace tarvesk::search
