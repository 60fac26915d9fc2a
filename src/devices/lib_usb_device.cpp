#include "devices/lib_usb_device.h"

#include "core/itf_error.h"
#include "core/parameters/iparameter.h"
#include "interfaces/lib_usb_interface.h"
#include "log/logging_categories.h"
#include "protocol/usb/usb_string_descriptor.h"

namespace tarvesk::devices {

namespace {

#define QM_GLOG_CRITICAL() qCCritical(service::loggerGlog()).noquote() << GLOG_PREFIX
#define QM_GLOG_WARNING() qCWarning(service::loggerGlog()).noquote() << GLOG_PREFIX

// The bus needs at least this supply (volts) for the drivers behind the box.
constexpr double kMinimumDaliVoltage = 15.0;
constexpr int kStringBufferSize = 128;
constexpr uint16_t kStringLanguage = 9;

QString hex4(unsigned int value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char(' '));
}

} // namespace

LibUsbDevice::LibUsbDevice(core::Universe* universe)
    : UsbDevice(universe)
{ }

LibUsbDevice::~LibUsbDevice()
{
    if (isOpen())
        LibUsbDevice::deviceDisconnect();
    if (_device) {
        if (itf::LibUsbInterface* usb = getLibUsbInterface())
            usb->unreferenceDevice(_device);
        _device = nullptr;
    }
}

QString LibUsbDevice::getErrorString(int status)
{
    static const char* const names[] = {"LIBUSB_SUCCESS", "LIBUSB_ERROR_IO", "LIBUSB_ERROR_INVALID_PARAM",
        "LIBUSB_ERROR_ACCESS", "LIBUSB_ERROR_NO_DEVICE", "LIBUSB_ERROR_NOT_FOUND", "LIBUSB_ERROR_BUSY",
        "LIBUSB_ERROR_TIMEOUT", "LIBUSB_ERROR_OVERFLOW", "LIBUSB_ERROR_PIPE", "LIBUSB_ERROR_INTERRUPTED",
        "LIBUSB_ERROR_NO_MEM", "LIBUSB_ERROR_NOT_SUPPORTED"};
    if (status > 0 || -status >= int(sizeof(names) / sizeof(names[0])))
        return QString();
    return QString::fromLatin1(names[-status]);
}

itf::LibUsbInterface* LibUsbDevice::getLibUsbInterface() const
{
    return qobject_cast<itf::LibUsbInterface*>(getInterface());
}

void LibUsbDevice::setLibusbDevice(libusb_device* device)
{
    itf::LibUsbInterface* usb = getLibUsbInterface();
    if (!usb || device == _device)
        return;
    if (_device)
        usb->unreferenceDevice(_device);
    _device = device ? usb->referenceDevice(device) : nullptr;
}

bool LibUsbDevice::exists() const
{
    itf::LibUsbInterface* usb = getLibUsbInterface();
    libusb_device_descriptor descriptor = {};
    return usb && _device && usb->getLibUsb()->getDeviceDescriptor(_device, &descriptor) == 0;
}

int LibUsbDevice::tryOpen(libusb_device* device)
{
    itf::LibUsbInterface* usb = getLibUsbInterface();
    if (!usb)
        return LIBUSB_ERROR_NO_DEVICE;
    if (device != _device)
        setLibusbDevice(device);
    libusb_device_handle* handle = nullptr;
    const int result = usb->tryOpen(_device, &handle);
    if (result == 0)
        _handle = handle;
    return result;
}

int LibUsbDevice::tryClaim(libusb_device_handle* handle)
{
    const int result = getLibUsbInterface()->tryClaim(handle);
    if (result != 0) {
        QM_GLOG_CRITICAL() << QStringLiteral("Could not claim LibUSB device : %1").arg(result);
        setClaimed(false);
    } else {
        setClaimed(true);
        // The device classes make what hangs off the box once; on a reconnect
        // they only bring it back to life.
        initializeInterfaces();
    }
    setAttributeValue(QStringLiteral("opened"), isClaimed());
    return result;
}

int LibUsbDevice::getDeviceString(int index, QString& text)
{
    itf::LibUsbInterface* usb = getLibUsbInterface();
    libusb_device_handle* handle = getDeviceHandle();
    if (!usb || !handle)
        return core::ITF_ERR_NO_DEVICE;
    int result = 0;
    for (int attempt = 0; attempt < StringAttempts; ++attempt) {
        unsigned char buffer[kStringBufferSize] = {};
        result = usb->getLibUsb()->controlTransfer(handle, LIBUSB_ENDPOINT_IN, LIBUSB_REQUEST_GET_DESCRIPTOR,
            uint16_t((LIBUSB_DT_STRING << 8) | (index & 0xFF)), kStringLanguage, buffer, kStringBufferSize,
            StringTimeoutMs);
        if (result >= 0) {
            if (std::optional<QString> decoded
                = proto::decodeUsbStringDescriptor(buffer, result, kStringBufferSize)) {
                text = *decoded;
                return 0;
            }
            QM_GLOG_CRITICAL() << QStringLiteral("String descriptor %1 is malformed: length %2 in %3 bytes")
                                      .arg(index)
                                      .arg(result > 0 ? buffer[0] : 0)
                                      .arg(result);
            result = LIBUSB_ERROR_OVERFLOW;
            continue;
        }
        if (result == LIBUSB_ERROR_PIPE) {
            usb->clearHalt(handle);
            continue;
        }
        QM_GLOG_CRITICAL() << QStringLiteral("Could not retrieve product description, error: %1")
                                  .arg(getErrorString(result));
        usb->resetDevice(handle);
    }
    QM_GLOG_CRITICAL() << QStringLiteral("Something bad happened...  Error: %1").arg(getErrorString(result));
    return core::ITF_ERR_NO_DEVICE;
}

int LibUsbDevice::init()
{
    itf::LibUsbInterface* usb = getLibUsbInterface();
    if (!_device || !usb) {
        QM_GLOG_CRITICAL() << "Initializing USB device without device pointer";
        return core::ITF_ERR_NO_DEVICE;
    }
    libusb_device_descriptor descriptor = {};
    const int result = usb->getLibUsb()->getDeviceDescriptor(_device, &descriptor);
    if (result != 0) {
        QM_GLOG_CRITICAL()
            << QStringLiteral("Could not get USB device descriptor : %1").arg(getErrorString(result));
        return core::ITF_ERR_NO_DEVICE;
    }
    _vendorId = descriptor.idVendor;
    _usbProductId = descriptor.idProduct;
    setManufacturerString(QStringLiteral("VID: %1").arg(hex4(_vendorId)));
    setName(QStringLiteral("PID: %1").arg(hex4(_usbProductId)));
    setAttributeValue(QStringLiteral("VID"), int(_vendorId));
    setAttributeValue(QStringLiteral("PID"), int(_usbProductId));

    if (!isOpen() && !deviceConnect())
        return core::ITF_ERR_ACCESS;

    QString text;
    if (getDeviceString(descriptor.iProduct, text) == 0)
        setName(text);
    if (getDeviceString(descriptor.iManufacturer, text) != 0)
        return core::ITF_ERR_USB_HANGUP;
    setManufacturerString(text);
    setAttributeValue(QStringLiteral("name"), getName());
    setAttributeValue(QStringLiteral("manufacturer"), getManufacturerString());
    qCDebug(service::loggerGlog()).noquote() << GLOG_PREFIX
                                             << QStringLiteral("Created new libusb device \"%1\" - \"%2\"")
                                                    .arg(getManufacturerString(), getName());

    if (core::IParameter* voltage = getParameterInterface(QStringLiteral("dali_voltage_setting"))) {
        QVariant value;
        if (voltage->getValue(value, core::IParameter::UPDATE_YES) == 0
            && value.toDouble() < kMinimumDaliVoltage)
            voltage->setValue(kMinimumDaliVoltage, core::IParameter::UPDATE_YES);
    }
    return core::Device::init();
}

bool LibUsbDevice::deviceConnect()
{
    itf::LibUsbInterface* usb = getLibUsbInterface();
    if (isOpen() && isClaimed() && isConnected())
        return true;
    // A handle left from a connect that failed half-way is not opened twice.
    if (isOpen())
        deviceDisconnect();
    const int opened = usb ? tryOpen(_device) : LIBUSB_ERROR_NO_DEVICE;
    if (opened != 0) {
        setConnectionStatus(DISCONNECTED);
        QM_GLOG_WARNING() << QStringLiteral("Could not open device with VID/PID %1:%2 Error: %3")
                                 .arg(getManufacturerString(), getName(), getErrorString(opened));
        return false;
    }
    libusb_device_handle* handle = getDeviceHandle();

    // "Not supported" (no kernel drivers on this platform) means none is in
    // the way; an active one is detached, or the claim cannot succeed.
    int kernelDriver = usb->getLibUsb()->kernelDriverActive(handle, itf::LibUsbInterface::InterfaceNumber);
    if (kernelDriver == 1) {
        qCDebug(service::loggerGlog()).noquote() << "Device busy...detaching...";
        const int detached
            = usb->getLibUsb()->detachKernelDriver(handle, itf::LibUsbInterface::InterfaceNumber);
        kernelDriver = detached == LIBUSB_ERROR_NOT_SUPPORTED ? 0 : detached;
        if (kernelDriver != 0)
            qCDebug(service::loggerGlog()).noquote()
                << QStringLiteral("Could not detach kernel driver for %1: %2 Error: %3")
                       .arg(getManufacturerString(), getName(), getErrorString(detached));
    } else if (kernelDriver == LIBUSB_ERROR_NOT_SUPPORTED) {
        kernelDriver = 0;
    } else if (kernelDriver < 0) {
        qCDebug(service::loggerGlog()).noquote()
            << QStringLiteral("Kernel driver active, Error: %1").arg(getErrorString(kernelDriver));
    }

    const int claimed = kernelDriver == 0 ? tryClaim(handle) : LIBUSB_ERROR_BUSY;
    if (claimed == 0 && kernelDriver == 0) {
        setConnectionStatus(CONNECTED);
        return true;
    }
    // Nothing is kept open for a device that could not be connected.
    deviceDisconnect();
    return false;
}

bool LibUsbDevice::deviceDisconnect()
{
    if (!isOpen())
        QM_GLOG_CRITICAL() << "Trying to close libusb device without a handle";
    else
        closeHandle();
    setConnectionStatus(DISCONNECTED);
    return true;
}

void LibUsbDevice::closeHandle()
{
    libusb_device_handle* handle = getDeviceHandle();
    itf::LibUsbInterface* usb = getLibUsbInterface();
    if (!handle || !usb)
        return;
    if (isClaimed()) {
        qCDebug(service::loggerGlog()).noquote()
            << QStringLiteral("Releasing libusb interface \"%1\" - \"%2\"")
                   .arg(getManufacturerString(), getName());
        const int released = usb->releaseClaim(handle);
        if (released != 0)
            QM_GLOG_WARNING() << QStringLiteral(
                "Could not release interface for device with VID/PID %1 - %2 Error: %3")
                                     .arg(getManufacturerString(), getName(), getErrorString(released));
        setClaimed(false);
    }
    qCDebug(service::loggerGlog()).noquote()
        << QStringLiteral("Closing libusb device \"%1\" - \"%2\"").arg(getManufacturerString(), getName());
    _handle = nullptr;
    usb->closeDevice(handle);
}

#undef QM_GLOG_CRITICAL
#undef QM_GLOG_WARNING

} // namespace tarvesk::devices
