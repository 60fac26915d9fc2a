#include "service/rpc/rpc_methods/universe/rpc_universe_search.h"

#include "core/device.h"
#include "core/itf_error.h"
#include "core/network_interface.h"
#include "core/universe.h"
#include "core/universe_manager.h"
#include "devices/usb_vandrel_device_factory.h"
#include "interfaces/lib_usb_interface.h"
#include "log/logging_categories.h"
#include "search/search_result.h"
#include "search/search_results.h"
#include "search/universe_searcher.h"
#include "search/usb_search_options.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_types/rpc_type_device.h"
#include "service/rpc_array.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_object.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"
#include "service/string_exception.h"

#include <QMutexLocker>

#include <memory>
#include <vector>

namespace tarvesk::service {

namespace {

const QString kInterfaceType = QStringLiteral("interface_type");
const QString kUniverseId = QStringLiteral("universe_id");

} // namespace

RpcUniverseSearch::RpcUniverseSearch()
    : AbstractRpcMethod(QStringLiteral("universe.search"))
{ }

QList<RpcRequestParameter> RpcUniverseSearch::inputParameters() const
{
    return {
        RpcRequestParameter(RpcRequestEnums::PARAM_INTERFACE_TYPE, QVariant(), false),
        RpcRequestParameter(RpcRequestEnums::PARAM_UNIVERSE_ID, QVariant(), false),
        RpcRequestParameter(RpcRequestEnums::PARAM_SUBDEVICES, false, false),
        RpcRequestParameter(RpcRequestEnums::PARAM_SEARCH_METHOD, QStringLiteral("all"), false),
        RpcRequestParameter(RpcRequestEnums::PARAM_SEARCH_STEP_NAME, QVariant(), false),
        RpcRequestParameter(RpcRequestEnums::PARAM_SEARCH_PROTOCOL, QVariant(), false),
        RpcRequestParameter(RpcRequestEnums::PARAM_DEBUG_LEVEL, 0, false),
    };
}

void RpcUniverseSearch::validateInputParameters(RpcRequest* request)
{
    AbstractRpcMethod::validateInputParameters(request);
    RpcValue* type = request->getParam(kInterfaceType);
    const bool hasId = request->hasParameter(kUniverseId);
    if (type && hasId) {
        qWarning().noquote() << QStringLiteral("Only one of two provided parameters ('%1' or '%2') should be "
                                               "provided for method '%3'. interface_type %4 will be ignored.")
                                    .arg(kInterfaceType, kUniverseId, getName(), type->getStringValue());
    }
    if (!type && !hasId) {
        QM_THROW_STRING(
            QStringLiteral("At least one of two parameters ('%1' or '%2') must be provided for method '%3'")
                .arg(kInterfaceType, kUniverseId, QStringLiteral("universe.search")));
    }
}

QList<core::Universe*> RpcUniverseSearch::selectUniverses(RpcRequest* request) const
{
    QList<core::Universe*> selected;
    if (RpcValue* idValue = request->getParam(kUniverseId)) {
        bool ok = false;
        const int id = idValue->toInteger(&ok);
        qCDebug(service::rpcServerMethod()).noquote() << QStringLiteral(" ** universe_id: %1 ").arg(id);
        auto* universe
            = ok ? qobject_cast<core::Universe*>(core::UniverseManager::instance().getItem(id)) : nullptr;
        if (!universe)
            QM_THROW_JSONRPC(QStringLiteral("Universe with id %1 not found").arg(id), RPC_ERROR_INTERNAL);
        selected.append(universe);
        return selected;
    }
    const QString type = request->getParam(kInterfaceType)->getStringValue();
    qCDebug(service::rpcServerMethod()).noquote() << QStringLiteral(" ** interface_type: \"%1\" ").arg(type);
    QList<core::Item*> items;
    core::UniverseManager::instance().getItemListByAttribute(items, kInterfaceType, type);
    for (core::Item* item : qAsConst(items)) {
        if (auto* universe = qobject_cast<core::Universe*>(item))
            selected.append(universe);
    }
    return selected;
}

void RpcUniverseSearch::readOptions(RpcRequest* request, search::SearchOptions& options)
{
    RpcValue* method = request->getParam(QStringLiteral("search_method"));
    if (method && method->getType() == RpcValue::RPC_VALUE_STRING) {
        const auto value = search::SearchOptions::methodFromString(method->getStringValue().toLower());
        if (value == search::SearchOptions::INVALID_METHOD) {
            QM_THROW_JSONRPC(
                QStringLiteral("Unknown option for 'search_method': %1").arg(method->getStringValue()),
                RPC_ERROR_INTERNAL);
        }
        options.setSearchMethod(value);
        RpcValue* step = request->getParam(QStringLiteral("search_step_name"));
        if (value == search::SearchOptions::STEP && step)
            options.setSearchStepName(step->getStringValue());
    }

    RpcValue* protocol = request->getParam(QStringLiteral("search_protocol"));
    if (protocol && protocol->getType() == RpcValue::RPC_VALUE_STRING) {
        const auto value = search::SearchOptions::protocolFromString(protocol->getStringValue().toLower());
        if (value == search::SearchOptions::INVALID_PROTOCOL) {
            QM_THROW_JSONRPC(
                QStringLiteral("Unknown option for 'search_protocol': %1").arg(protocol->getStringValue()),
                RPC_ERROR_INTERNAL);
        }
        options.addSearchProtocol(value);
    } else if (protocol && protocol->getArrayValue()) {
        for (RpcValue* element : *protocol->getArrayValue()) {
            if (element && element->getType() == RpcValue::RPC_VALUE_STRING)
                options.addSearchProtocol(
                    search::SearchOptions::protocolFromString(element->getStringValue().toLower()));
        }
    }

    if (RpcValue* subdevices = request->getParam(QStringLiteral("subdevices")))
        options.setSearchSubdevices(subdevices->getBoolValue());
}

RpcMethodError RpcUniverseSearch::handleRequest(RpcRequest* request, RpcResponse* response)
{
    QMutexLocker lock(&_searchMutex);
    const QList<core::Universe*> universes = selectUniverses(request);

    core::NetworkInterface* first
        = universes.isEmpty() ? nullptr : universes.first()->getInterface(core::ITF_TYPE_DEFAULT);
    std::unique_ptr<search::SearchOptions> options;
    if (first && first->getInterfaceType() == core::ITF_TYPE_USB) {
        auto usbOptions = std::make_unique<search::UsbSearchOptions>();
        devices::UsbVandrelDeviceFactory::registerIn(*usbOptions);
        options = std::move(usbOptions);
    } else {
        options = std::make_unique<search::SearchOptions>(
            search::SearchOptions::ALL, QList<search::SearchOptions::SearchProtocol>(), false);
    }
    readOptions(request, *options);

    const bool named = request->hasParameter(kUniverseId);
    auto reply = std::make_unique<RpcArray>();
    for (core::Universe* universe : universes) {
        if (options->getSearchMethod() == search::SearchOptions::ALL)
            universe->clearDevices(false);
        searchUniverse(universe, options.get(), reply.get(), named);
    }
    if (named && request->hasParameter(kInterfaceType)) {
        auto* warning = new RpcObject;
        warning->addChild(QStringLiteral("warning"),
            new RpcValue(QStringLiteral("Only one of two provided parameters ('interface_type' or "
                                        "'universe_id') should be provided for "
                                        "method 'universe.search'. 'interface_type' value will be ignored. "
                                        "Support will be deprecated "
                                        "in future QMS versions.")));
        reply->addChild(warning);
    }
    response->setResultValue(reply.release());
    return {};
}

void RpcUniverseSearch::searchUniverse(
    core::Universe* universe, search::SearchOptions* options, RpcArray* reply, bool namedUniverse)
{
    for (int pass = 1; pass <= MaxPasses; ++pass) {
        search::UniverseSearcher* searcher = universe->getSearcher();
        if (!searcher)
            return;
        const bool lastPass = pass == MaxPasses;
        itf::LibUsbInterface* hungUp = nullptr;
        int hangUps = 0;
        // The devices of this pass join the universe only once the pass is
        // over: after a hang-up libusb is reset and the universe searched
        // again, and a device kept open would keep the reset from happening.
        std::vector<std::unique_ptr<core::Device>> found;
        QStringList warnings;
        {
            search::SearchResults results;
            const int status = searcher->search(options, &results);
            if (status != 0) {
                qWarning().noquote() << QStringLiteral("Search failed, error code %1").arg(status);
                // The client asked for this universe (an empty reply would read
                // as an empty bus), or asked for something no searcher does.
                const bool refused = status == core::ITF_ERR_INVALID_PARAM;
                if (namedUniverse || refused) {
                    QStringList reasons(core::itfErrorToString(status));
                    reasons << results.warnings();
                    QM_THROW_JSONRPC(QStringLiteral("Search of universe %1 \"%2\" failed: %3")
                                         .arg(universe->getId())
                                         .arg(universe->getName(), reasons.join(QLatin1Char(' '))),
                        refused ? RPC_ERROR_INVALID_PARAMS : RPC_ERROR_INTERNAL);
                }
                return;
            }
            qCDebug(service::rpcServerMethod()).noquote() << "Found devices:";
            for (search::SearchResult* result : results) {
                std::unique_ptr<core::Device> device(result->createDevice());
                if (!device)
                    continue;
                if (device->initializeDeviceInfo(_database.get()) != 0) {
                    qWarning().noquote() << "Could not create device from search result.";
                    continue;
                }
                const int init = device->init();
                if (init == 0) {
                    found.push_back(std::move(device));
                } else if (init == core::ITF_ERR_USB_HANGUP) {
                    if (auto* usb = qobject_cast<itf::LibUsbInterface*>(device->getInterface())) {
                        qWarning().noquote() << "USB hangup detected, resetting libusb";
                        hungUp = usb;
                        ++hangUps;
                    } else {
                        qWarning().noquote() << "Cast error .. not a libusb interface";
                    }
                }
            }
            warnings = results.warnings();
            // Searched again after the reset: what this pass found goes, and
            // lets go of its USB devices with the results.
            if (hangUps > 0 && !lastPass)
                found.clear();
        }
        // Every pass with a hang-up resets libusb, once the results and the
        // devices of the pass have let go of their USB devices: libusb cannot
        // be closed while they are held (it is skipped, and logged, while
        // devices found earlier still hold theirs).
        if (hangUps > 0)
            hungUp->reset();
        if (hangUps > 0 && !lastPass)
            continue;

        for (std::unique_ptr<core::Device>& device : found) {
            core::Device* added = device.release();
            // Refused by the device manager: listed nowhere, so it goes.
            if (!universe->addDevice(added)) {
                delete added;
                continue;
            }
            reply->addChild(new RpcTypeDevice(added));
            qCDebug(service::rpcServerMethod()).noquote()
                << QStringLiteral(" - %1 %2").arg(added->getName(), added->getRevisionString());
        }
        // What the searcher could not settle follows the devices it found.
        for (const QString& text : warnings) {
            auto* warning = new RpcObject;
            warning->addChild(QStringLiteral("warning"), new RpcValue(text));
            reply->addChild(warning);
        }
        if (hangUps == 0)
            return;
        break;
    }
    qCWarning(service::loggerGlog()).noquote()
        << GLOG_PREFIX
        << QStringLiteral("USB still hung up after %1 searches of universe \"%2\"")
               .arg(MaxPasses)
               .arg(universe->getName());
}

} // namespace tarvesk::service
