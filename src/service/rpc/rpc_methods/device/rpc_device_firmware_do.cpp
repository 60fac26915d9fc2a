#include "service/rpc/rpc_methods/device/rpc_device_firmware_do.h"

#include "core/itf_error.h"
#include "core/network_interface.h"
#include "core/universe.h"
#include "devices/usb_vandrel_device.h"
#include "interfaces/bootloader/bootloader_proxy.h"
#include "interfaces/bootloader/ibootloader.h"
#include "interfaces/ibootloader_mode_control.h"
#include "log/logging_categories.h"
#include "service/json_rpc_exception.h"
#include "service/rpc_array.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_object.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <QByteArray>

namespace tarvesk::service {

namespace {

const QString StartBootloader = QStringLiteral("start_bl");
const QString StartApplication = QStringLiteral("start_app");
const QString ReadHardwareInfo = QStringLiteral("read_hw_info");
const QString ErasePage = QStringLiteral("erase_page");
const QString SetSpecialMode = QStringLiteral("set_p254");
const QString GetStatus = QStringLiteral("get_status");
constexpr int StartBootloaderTimeMs = 3000;

RpcArray* okArray(RpcObject* result = new RpcObject)
{
    result->addChild(QStringLiteral("status"), new RpcValue(QStringLiteral("ok")));
    auto* array = new RpcArray;
    array->addChild(result);
    return array;
}

[[noreturn]] void failWithStatus(const char* message, int status, int line)
{
    throw JsonRpcException(
        QString::fromLatin1(message).arg(status), RPC_ERROR_INTERNAL, QStringLiteral(__FILE__), line);
}

#define QM_FAIL_STATUS(message, status) failWithStatus((message), (status), __LINE__)

} // namespace

RpcDeviceFirmwareDo::RpcDeviceFirmwareDo()
    : RpcDeviceFirmware(QStringLiteral("device.firmware.do"))
{ }

QList<RpcRequestParameter> RpcDeviceFirmwareDo::inputParameters() const
{
    using E = RpcRequestEnums;
    return {
        RpcRequestParameter(E::PARAM_ACTION, QString(), true, E::TYPE_STRING,
            {StartBootloader, StartApplication, ReadHardwareInfo, ErasePage, SetSpecialMode, GetStatus}),
        RpcRequestParameter(E::PARAM_GENERAL_INPUT, 0, false),
        RpcRequestParameter(E::PARAM_INTERFACE_TYPE, QStringLiteral("dorvane"), false),
        RpcRequestParameter(E::PARAM_DEVICE_ID, 1, false, E::TYPE_INTEGER),
        RpcRequestParameter(E::PARAM_TEST_COMMAND, false, false),
    };
}

void RpcDeviceFirmwareDo::validateInputParameters(RpcRequest* request)
{
    // Whether the client gave it, before the default check fills it in.
    const bool given = request->getParam(QStringLiteral("general_input")) != nullptr;
    AbstractRpcMethod::validateInputParameters(request);
    const QString action = request->getParam(QStringLiteral("action"))->getStringValue();
    int first = 0;
    int last = 0;
    QString what;
    if (action == ErasePage) {
        first = FirstErasablePage;
        last = LastErasablePage;
        what = QStringLiteral("a page number");
    } else if (action == SetSpecialMode) {
        last = 0xFF;
        what = QStringLiteral("a mode");
    } else {
        return;
    }
    if (!given)
        QM_THROW_JSONRPC(QStringLiteral("Parameter 'general_input' not defined"), RPC_ERROR_INVALID_PARAMS);
    int value = 0;
    if (!wholeNumberIn(request->getParam(QStringLiteral("general_input")), first, last, value)) {
        QM_THROW_JSONRPC(QStringLiteral("Parameter 'general_input' of action '%1' must be %2 from %3 to %4")
                             .arg(action, what)
                             .arg(first)
                             .arg(last),
            RPC_ERROR_INVALID_PARAMS);
    }
}

RpcMethodError RpcDeviceFirmwareDo::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const QString action = request->getParam(QStringLiteral("action"))->getStringValue();
    if (action == StartBootloader)
        return startBootloaderMode(request, response);

    itf::BootloaderProxy* proxy = nullptr;
    getBootloaderProxy(request, &proxy, action == ErasePage || action == ReadHardwareInfo);
    if (!proxy) {
        QM_THROW_JSONRPC(QStringLiteral("No bootloader proxy channel found to communicate with device."),
            RPC_ERROR_INTERNAL);
    }
    qCDebug(rpcServerMethod()).noquote()
        << QStringLiteral("Executing method \"%1\" with action \"%2\" through %3")
               .arg(getName(), action, proxy->getDeviceConnectionDescription());

    if (action == GetStatus) {
        getStatus(proxy, response);
        return {};
    }
    itf::IBootloader* bootloader = proxy->getBootloaderInterface();
    const int unsupported = core::ITF_ERR_UNSUPPORTED_FEATURE;
    if (action == ErasePage) {
        const int page = request->getParam(QStringLiteral("general_input"))->getIntegerValue();
        const int status = bootloader ? bootloader->erasePage(quint8(page)) : unsupported;
        if (status != core::ITF_OK)
            QM_FAIL_STATUS("Could not erase page via bootloader mode. error %1", status);
        response->setResultValue(okArray());
    } else if (action == ReadHardwareInfo) {
        unsigned short first = 0;
        unsigned short second = 0;
        const int status = bootloader ? bootloader->getHardwareSystemInfo(first, second) : unsupported;
        if (status != core::ITF_OK)
            QM_FAIL_STATUS("Could not get hardware system info via bootloader mode. error %1", status);
        auto* attributes = new RpcObject;
        attributes->addChild(QStringLiteral("init_system_info_0"), new RpcValue(unsigned(first)));
        attributes->addChild(QStringLiteral("init_system_info_1"), new RpcValue(unsigned(second)));
        auto* result = new RpcObject;
        result->addChild(QStringLiteral("attributes"), attributes);
        response->setResultValue(okArray(result));
    } else if (action == SetSpecialMode) {
        const int mode = request->getParam(QStringLiteral("general_input"))->getIntegerValue();
        auto* control = dynamic_cast<itf::IBootloaderModeControl*>(proxy->getTargetInterface());
        const int status = control ? control->setSpecialVolatileMode(quint8(mode)) : unsupported;
        if (status != core::ITF_OK)
            QM_FAIL_STATUS("Action could not be executed via bootloader mode. error %1", status);
        response->setResultValue(okArray());
    } else if (action == StartApplication) {
        const int status = bootloader ? bootloader->stopBootloaderMode() : unsupported;
        if (status != core::ITF_OK)
            QM_FAIL_STATUS("Action could not be executed via bootloader mode. error %1", status);
        response->setResultValue(okArray());
    }
    return {};
}

RpcMethodError RpcDeviceFirmwareDo::startBootloaderMode(RpcRequest* request, RpcResponse* response)
{
    core::Universe* universe = nullptr;
    getBootloaderUniverseByRequest(request, &universe);
    core::NetworkInterface* itf = universe ? universe->getInterface(core::ITF_TYPE_DEFAULT) : nullptr;
    auto* control = dynamic_cast<itf::IBootloaderModeControl*>(itf);
    if (!control)
        QM_THROW_JSONRPC(QStringLiteral("No bootloader mode control"), RPC_ERROR_INTERNAL);
    bool ok = false;
    int error = 0;
    const int status = control->startBootloader(StartBootloaderTimeMs, ok, error);
    if (status != core::ITF_OK)
        QM_FAIL_STATUS("Could not enter bootloader mode. error %1", status);
    response->setResultValue(okArray());
    return {};
}

void RpcDeviceFirmwareDo::getStatus(itf::BootloaderProxy* proxy, RpcResponse* response)
{
    core::NetworkInterface* target = proxy->getTargetInterface();
    auto* vandrel = qobject_cast<devices::UsbVandrelDevice*>(target ? target->getParentDevice() : nullptr);
    if (!vandrel) {
        QM_THROW_JSONRPC(QStringLiteral("Action 'get_status' needs a Vandrel interface device; %1 is none")
                             .arg(proxy->getDeviceConnectionDescription()),
            RPC_ERROR_INVALID_PARAMS);
    }
    QByteArray bytes;
    const int status = vandrel->getStatusData(bytes);
    if (status != core::ITF_OK)
        QM_FAIL_STATUS("Could not read the status of the Vandrel interface. error %1", status);
    auto* values = new RpcArray;
    for (char byte : bytes)
        values->addChild(new RpcValue(int(qint8(byte))));
    auto* result = new RpcObject;
    result->addChild(QStringLiteral("status"), values);
    response->setResultValue(result);
}

} // namespace tarvesk::service
