#include "interfaces/usb_vandrel_dorvane_interface.h"

#include "core/device.h"
#include "core/itf_error.h"
#include "core/parameters/parameter.h"
#include "core/parameters/raw_parameter_interface.h"
#include "interfaces/bootloader/usb_vandrel_bootloader.h"
#include "interfaces/bootloader/vandrel_bootloader_setup.h"
#include "interfaces/dmx/dmx_interface.h"
#include "interfaces/iusb_vandrel_device.h"
#include "interfaces/lib_usb_interface.h"
#include "log/logging_categories.h"
#include "protocol/dmx/dmx_packet.h"
#include "protocol/dorvane/dorvane_packet.h"
#include "protocol/options.h"
#include "protocol/usb/usb_vandrel_packet.h"
#include "protocol/usb/vandrel_box_parameter.h"
#include "protocol/usb/vandrel_dorvane_request.h"
#include "protocol/wystrel/wystrel_packet.h"

#include <memory>

namespace tarvesk::itf {

namespace {

const QString DorvaneModeParameter = QStringLiteral("dorvane_mode");
const QString DorvaneResetParameter = QStringLiteral("dorvane_reset");
const QString DorvaneRamInterface = QStringLiteral("dorvane_ram");
constexpr quint8 Dorvane2AccessCommand = 0x5B;
constexpr quint8 BridgeControl = 0x0B;
// Bytes 4 to 7 of the controller's answer are the driver's answer.
constexpr int AnswerOffset = 4;
constexpr int AnswerSize = 4;

void logCritical(const QString& text)
{
    qCCritical(service::loggerGlog()).noquote() << GLOG_PREFIX << text;
}

QString notWritten(int status)
{
    return QStringLiteral("Dorvane parameter not written correctly \"%1\" : \"%2\"")
        .arg(status)
        .arg(core::itfErrorToString(status));
}

} // namespace

UsbVandrelDorvaneInterface::UsbVandrelDorvaneInterface(core::Device* device, DmxInterface* dmx)
    : DorvaneInterface(device)
    , _dmx(dmx)
{ }

UsbVandrelDorvaneInterface::~UsbVandrelDorvaneInterface() = default;

QString UsbVandrelDorvaneInterface::stateText(DorvaneState state)
{
    switch (state) {
    case DORVANE_DISABLED:
        return QStringLiteral("off");
    case DORVANE_1_DEVICE:
        return QStringLiteral("dv1_device");
    case DORVANE_2_DEVICE:
    case DORVANE_2_LOGGER:
        return QStringLiteral("dv2_device");
    case DORVANE_1_HOST:
        return QStringLiteral("dv1_host");
    case DORVANE_2_HOST:
        return QStringLiteral("dv2_host");
    }
    return QString();
}

QString UsbVandrelDorvaneInterface::getDorvaneErrorString(int code)
{
    return proto::vandrelDorvaneErrorName(code);
}

void UsbVandrelDorvaneInterface::init()
{
    core::Device* device = getParentDevice();
    _vandrel = dynamic_cast<IUsbVandrelDevice*>(device);
    _transport = device ? qobject_cast<LibUsbInterface*>(device->getInterface()) : nullptr;
    if (!device)
        return;
    const std::pair<core::Device::Capability, core::InterfaceCapability> fromDevice[] = {
        {core::Device::CAP_VD_DV_MASTER, core::ITF_CAP_DV_MASTER},
        {core::Device::CAP_DV2, core::ITF_CAP_DV2},
        {core::Device::CAP_VD_DORVANE_ATOMIC_READ, core::ITF_CAP_DORVANE_ATOMIC_READ},
        {core::Device::CAP_VD_CORVALT_DALI, core::ITF_CAP_CORVALT_DALI},
    };
    for (const auto& [deviceCapability, interfaceCapability] : fromDevice) {
        if (device->hasCapability(deviceCapability) && !hasCapability(interfaceCapability))
            addCapability(interfaceCapability);
    }
    if (!device->hasCapability(core::Device::CAP_VD_FACTORY))
        return;
    if (!hasCapability(core::ITF_CAP_FACTORY))
        addCapability(core::ITF_CAP_FACTORY);
    if (device->hasCapability(core::Device::CAP_VD_PARAM_GETSET)
        && !hasCapability(core::ITF_CAP_PARAM_GETSET))
        addCapability(core::ITF_CAP_PARAM_GETSET);
    if (device->hasCapability(core::Device::CAP_VD_EMBEDDED_BOOTLOADER_FUNCTIONS)
        && !hasCapability(core::ITF_CAP_EMBEDDED_BOOTLOADER_FUNCTIONS))
        addCapability(core::ITF_CAP_EMBEDDED_BOOTLOADER_FUNCTIONS);
    _bootloader = createVandrelBootloader(
        *device, _transport, _vandrel, _dmx, true, device->hasCapability(core::Device::CAP_VD_BANANA_MODE));
    installBootloaderProxy(this, this, device, _bootloader,
        {BootloaderStateFactory::USE_VD_CHECK_READY, BootloaderStateFactory::USE_VD_MAKE_READY});
}

UsbVandrelDorvaneInterface::DorvaneState UsbVandrelDorvaneInterface::getDorvaneState() const
{
    core::Device* device = getParentDevice();
    core::IParameter* mode = device ? device->getParameterInterface(DorvaneModeParameter) : nullptr;
    QVariant value;
    if (!mode || mode->getValue(value, core::IParameter::UPDATE_YES) != core::ITF_OK)
        return DORVANE_DISABLED;
    const QString text = value.toString();
    for (DorvaneState state : {DORVANE_1_DEVICE, DORVANE_2_DEVICE, DORVANE_1_HOST, DORVANE_2_HOST}) {
        if (text == stateText(state))
            return state;
    }
    return DORVANE_DISABLED;
}

void UsbVandrelDorvaneInterface::setDorvaneState(DorvaneState state)
{
    core::Device* device = getParentDevice();
    const QString text = stateText(state);
    core::IParameter* mode = device ? device->getParameterInterface(DorvaneModeParameter) : nullptr;
    // A state without a text of the box is not written: an empty text would be refused anyway.
    if (!mode || text.isEmpty())
        return;
    if (!device->hasCapability(core::Device::CAP_VD_FIX_DORVANE_HANGUP))
        device->setStatus(core::Device::STATUS_DORVANE_RESET_TRIGGER, 1);
    mode->setValue(text, core::IParameter::UPDATE_YES);
}

bool UsbVandrelDorvaneInterface::isDorvaneDeviceConnected()
{
    core::Device* device = getParentDevice();
    if (!device || !device->isConnected())
        return false;
    for (int check = 1; check <= ConnectionChecks; ++check) {
        if (device->isStatusTrue(core::Device::STATUS_DORVANE_CONNECTED))
            return true;
        qCWarning(service::loggerGlog()).noquote()
            << QStringLiteral(GLOG_PREFIX "Dorvane status not connected, retry %1").arg(check);
        pause(ConnectionCheckPauseMs);
    }
    return false;
}

int UsbVandrelDorvaneInterface::sendDorvane(
    proto::DorvanePacket* packet, proto::DorvanePacket** reply, proto::Options* options, DorvaneAction action)
{
    core::Device* device = getParentDevice();
    if (!device || !_dmx)
        return core::ITF_ERR_NO_DEVICE;
    if (!packet)
        return core::ITF_ERR_INVALID_PARAM;
    proto::Options none;
    if (!options)
        options = &none;
    const bool master = options->isOptionTrue(proto::option::DorvaneMaster);
    if (!master && !isDorvaneDeviceConnected())
        return core::ITF_ERR_NO_DEVICE;
    const bool corvalt = !master && device->hasCapability(core::Device::CAP_VD_CORVALT_DALI)
        && options->isOptionTrue(proto::option::DorvaneCorvalt);
    const std::unique_ptr<proto::WystrelPacket> frame(
        proto::buildVandrelDorvaneFrame(*packet, action == DORVANE_ACTION_READ, corvalt));
    if (!frame)
        return core::ITF_ERR_INVALID_PARAM;

    options->addOption(proto::option::Internal, true);
    options->addOption(proto::option::ExpectAnswer, true);
    options->addOption(proto::option::RetryInvalid, true);
    options->addOption(proto::option::AnswerTimeout, AnswerTimeout);
    options->addOption(proto::option::IsDorvane, true);
    bool countGiven = false;
    const int count = options->getOption(proto::option::RetryCount).toInt(&countGiven);
    const int attempts = countGiven && count > 1 ? count : 1;
    // Each attempt goes out once: a repeat below would resend a frame the box
    // reported as carried before this loop could see that report.
    proto::Options once;
    once.addOptions(*options);
    once.addOption(proto::option::RetryCount, 1);
    const proto::PacketCheckIgnore ignore = options->hasOption(proto::option::DorvaneMaster)
            || !device->hasCapability(core::Device::CAP_VD_CORRECT_CHECKSUM)
        ? proto::CHECK_IGNORE_CHECKSUM
        : proto::CHECK_IGNORE_NONE;

    // The driver flagged the last attempt's answer: the error it reported (else 0).
    int flagged = 0;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        flagged = 0;
        proto::DmxPacket* received = nullptr;
        const int status = _dmx->sendDmx(frame.get(), &received, &once);
        const std::unique_ptr<proto::DmxPacket> answer(received);
        // A failed exchange (a transfer, or the wait for what the box reported)
        // may have left the frame carried: it is not sent again.
        if (status != core::ITF_OK)
            return status;
        if (!answer) {
            // The box carried the frame (or may have), and nothing it reported
            // says the driver did not act on it: a repeat could run it twice.
            logCritical(QStringLiteral("Expecting answer but answer packet is empty"));
            return core::ITF_ERR_NO_REPLY;
        }
        if (answer->isTimeoutEvent()) {
            logCritical(QStringLiteral("DMX time-out for internal wystrel comm."));
            if (reply)
                *reply = nullptr;
            continue;
        }
        proto::WystrelPacket wystrel(answer.get());
        const int code = wystrel.getUint8(6);
        const int check = wystrel.answer_isValid(ignore);
        // The driver had the frame: a repeat would run it again.
        if (check == core::ITF_ERR_PACKET_CHECKSUM)
            return check;
        if (check != core::ITF_OK) {
            if (code == proto::vandrel::VDERR_SLAVE_NO_REPLY_RECEIVED)
                return core::ITF_ERR_NO_REPLY;
            qCWarning(service::loggerGlog()).noquote()
                << QStringLiteral(GLOG_PREFIX "%1 retry %2")
                       .arg(core::dorvaneErrorToString(code))
                       .arg(countGiven && count > 0 ? attempt : attempt - 1);
            pause(InvalidAnswerPauseMs);
            continue;
        }
        if (wystrel.cmd_hasErrorFlag()) {
            qCWarning(service::loggerGlog()).noquote()
                << QStringLiteral(GLOG_PREFIX "Dorvane error flag detected: %1")
                       .arg(getDorvaneErrorString(code));
            wystrel.debugPrint();
            flagged = core::dorvaneErrorToItfError(code);
            continue;
        }
        if (reply)
            *reply = new proto::DorvanePacket(wystrel.getData() + AnswerOffset, AnswerSize);
        return core::ITF_OK;
    }
    // Attempts used up without a usable answer. An answer the driver flagged
    // was an answer: its error is reported, never "no reply".
    if (flagged != 0)
        return flagged;
    return core::ITF_ERR_NO_REPLY;
}

int UsbVandrelDorvaneInterface::sendBootloaderModeAccessCommand(
    int parameter, int valueHigh, int valueLow, bool expectAnswer)
{
    if (!isDorvaneDeviceConnected())
        return core::ITF_ERR_NO_DEVICE;
    if (getDorvaneState() != DORVANE_2_DEVICE)
        return DorvaneInterface::sendBootloaderModeAccessCommand(
            parameter, valueHigh, valueLow, expectAnswer);
    core::Device* device = getParentDevice();
    if (!device) {
        logCritical(QStringLiteral("No Vandrel device for Dorvane 2 writes"));
        return core::ITF_ERR_NO_DEVICE;
    }
    core::RawParameterInterface* ram = device->getRawParameterInterface(DorvaneRamInterface);
    if (!ram) {
        logCritical(
            QStringLiteral("No raw interface \"%1\" device for Dorvane 2 writes").arg(DorvaneRamInterface));
        return core::ITF_ERR_NO_DEVICE;
    }
    const int target = ram->setParameter(core::ITF_RES_WORD, Dorvane2TargetAddress, unsigned(parameter));
    if (target != core::ITF_OK) {
        logCritical(notWritten(target));
        return target;
    }
    const unsigned char bytes[]
        = {Dorvane2AccessCommand, BridgeControl, quint8(valueLow & 0xFF), quint8(valueLow & 0xFF)};
    proto::DorvanePacket frame(bytes, 4);
    proto::Options options;
    options.addOption(proto::option::RetryCount, Dorvane2AccessRetries);
    options.addOption(proto::option::ExpectAnswer, expectAnswer);
    options.addOption(proto::option::DorvaneCorvalt, true);
    options.addOption(proto::option::AnswerTimeout, Dorvane2AccessAnswerTimeout);
    proto::DorvanePacket* reply = nullptr;
    const int status = sendDorvane(&frame, &reply, &options, DORVANE_ACTION_WRITE);
    delete reply;
    if (status != core::ITF_OK) {
        logCritical(notWritten(status));
        return status;
    }
    return core::ITF_OK;
}

int UsbVandrelDorvaneInterface::exchangeBoxParameter(
    bool set, quint16 number, quint16 setValue, quint16& value)
{
    if (!_transport || !_vandrel)
        return core::ITF_ERR_NO_DEVICE;
    const proto::VandrelReport bytes
        = set ? proto::vandrelBoxParameterSet(number, setValue) : proto::vandrelBoxParameterGet(number);
    proto::UsbVandrelPacket request(bytes.data(), int(bytes.size()));
    if (set)
        request.debugPrint();
    proto::UsbVandrelPacket reply;
    const int status = _transport->transferPacket(_vandrel->getDeviceHandle(), &request, &reply);
    if (status != core::ITF_OK)
        return status;
    const int result = proto::vandrelBoxParameterStatus(reply.getUint8(6));
    if (result == core::ITF_OK)
        value = reply.getUint16(7);
    return result;
}

int UsbVandrelDorvaneInterface::getParameter(
    core::NetworkResolution resolution, int address, unsigned int& value)
{
    quint16 read = 0;
    const int status = exchangeBoxParameter(false, quint16(address), 0, read);
    if (status == core::ITF_OK)
        value = resolution == core::ITF_RES_BYTE ? (read & 0xFF) : read;
    return status;
}

int UsbVandrelDorvaneInterface::setParameter(core::NetworkResolution, int address, unsigned int value)
{
    quint16 unused = 0;
    return exchangeBoxParameter(true, quint16(address), quint16(value), unused);
}

int UsbVandrelDorvaneInterface::startBootloader(int timeoutMs, bool& entered, int& elapsedMs)
{
    auto* functions = qobject_cast<UsbVandrelBootloader*>(_bootloader);
    if (hasCapability(core::ITF_CAP_EMBEDDED_BOOTLOADER_FUNCTIONS) && functions)
        return functions->sendFirmwareFunction(
            UsbVandrelBootloader::FUNCTION_START_BOOTLOADER, timeoutMs, entered, elapsedMs);
    return DorvaneInterface::startBootloader(timeoutMs, entered, elapsedMs);
}

int UsbVandrelDorvaneInterface::sendBootloaderSpam(int timeMs, bool& entered, int& elapsedMs)
{
    // Each kind of bootloader has its own spam; a box without the functions
    // never gets a function request it does not know.
    if (hasCapability(core::ITF_CAP_FACTORY) && _bootloader)
        return _bootloader->sendBootloaderSpam(timeMs, entered, elapsedMs);
    return core::ITF_ERR_UNSUPPORTED_FEATURE;
}

void UsbVandrelDorvaneInterface::initializeForEnterBootloader()
{
    core::Device* device = getParentDevice();
    if (!device || device->hasCapability(core::Device::CAP_CORRECT_DV_MASTER_STATE))
        return;
    if (auto* reset = dynamic_cast<core::Parameter*>(device->getParameterInterface(DorvaneResetParameter)))
        device->setParamCallback(reset, 1);
    pause(ResetPauseMs);
}

} // namespace tarvesk::itf
