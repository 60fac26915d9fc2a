#include "sim_lib_usb.h"

#include "protocol/usb/vandrel_commands.h"
#include "sim_logging.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace tarvesk::sim {

namespace {

constexpr int MaxViolations = 200;
constexpr unsigned char EndpointOut = 0x01;
constexpr unsigned char EndpointIn = 0x81;

bool takePlanned(std::deque<int>& queue, int* error)
{
    if (queue.empty())
        return false;
    *error = queue.front();
    queue.pop_front();
    return true;
}

QString hex(int value)
{
    return QStringLiteral("0x%1").arg(value, 2, 16, QLatin1Char('0'));
}

} // namespace

SimLibUsb::SimLibUsb(SimTiming timing)
    : _timing(timing)
{ }

SimLibUsb::~SimLibUsb() = default;

std::shared_ptr<SimVandrelBox> SimLibUsb::addBox(const SimBoxConfig& config)
{
    auto box = std::make_shared<SimVandrelBox>(config);
    addBox(box);
    return box;
}

void SimLibUsb::addBox(std::shared_ptr<SimVandrelBox> box)
{
    if (!box)
        return;
    box->setTiming(_timing);
    std::lock_guard<std::mutex> locker(_mutex);
    _boxes.push_back(std::move(box));
}

std::vector<std::shared_ptr<SimVandrelBox>> SimLibUsb::boxes() const
{
    std::lock_guard<std::mutex> locker(_mutex);
    return _boxes;
}

SimBusStats SimLibUsb::busStats() const
{
    SimBusStats total;
    for (const auto& box : boxes()) {
        const SimBusStats stats = box->busStats();
        total.daliFrames += stats.daliFrames;
        total.dmxFrames += stats.dmxFrames;
        total.busTimeUs += stats.busTimeUs;
    }
    return total;
}

void SimLibUsb::failInit(int libusbError, int times)
{
    std::lock_guard<std::mutex> locker(_mutex);
    for (int i = 0; i < times; ++i)
        _initFaults.push_back(libusbError);
}

void SimLibUsb::failDeviceList(int libusbError, int times)
{
    std::lock_guard<std::mutex> locker(_mutex);
    for (int i = 0; i < times; ++i)
        _listFaults.push_back(libusbError);
}

QStringList SimLibUsb::violations() const
{
    std::lock_guard<std::mutex> locker(_mutex);
    return _violations;
}

void SimLibUsb::clearViolations()
{
    std::lock_guard<std::mutex> locker(_mutex);
    _violations.clear();
}

int SimLibUsb::contextCount(bool live) const
{
    std::lock_guard<std::mutex> locker(_mutex);
    int count = 0;
    for (const auto& context : _contexts)
        count += context->live == live ? 1 : 0;
    return count;
}

int SimLibUsb::openHandleCount() const
{
    std::lock_guard<std::mutex> locker(_mutex);
    int count = 0;
    for (const auto& handle : _handles)
        count += handle->live ? 1 : 0;
    return count;
}

void SimLibUsb::violation(const QString& text)
{
    qCCritical(simLog()).noquote() << "libusb misuse:" << text;
    if (_violations.size() < MaxViolations)
        _violations.append(text);
}

SimLibUsb::Context* SimLibUsb::findContext(libusb_context* context, const char* call)
{
    auto it = _contextIndex.find(context);
    if (it == _contextIndex.end()) {
        violation(QStringLiteral("%1 with an unknown context").arg(QLatin1String(call)));
        return nullptr;
    }
    if (!it->second->live) {
        violation(QStringLiteral("%1 with a context that has ended").arg(QLatin1String(call)));
        return nullptr;
    }
    return it->second;
}

SimLibUsb::Device* SimLibUsb::findDevice(libusb_device* device, const char* call)
{
    auto it = _deviceIndex.find(device);
    if (it == _deviceIndex.end()) {
        violation(QStringLiteral("%1 with an unknown device").arg(QLatin1String(call)));
        return nullptr;
    }
    if (!it->second->live) {
        violation(QStringLiteral("%1 with a device that was released").arg(QLatin1String(call)));
        return nullptr;
    }
    return it->second;
}

SimLibUsb::Handle* SimLibUsb::findHandle(libusb_device_handle* handle, const char* call)
{
    auto it = _handleIndex.find(handle);
    if (it == _handleIndex.end()) {
        violation(QStringLiteral("%1 with an unknown handle").arg(QLatin1String(call)));
        return nullptr;
    }
    if (!it->second->live) {
        violation(QStringLiteral("%1 with a handle that was closed").arg(QLatin1String(call)));
        return nullptr;
    }
    return it->second;
}

bool SimLibUsb::isPresent(const Device* device) const
{
    return device->box->isPlugged() && device->box->plugGeneration() == device->generation;
}

void SimLibUsb::release(Device* device)
{
    if (--device->references == 0)
        device->live = false;
}

int SimLibUsb::init(libusb_context** context)
{
    std::lock_guard<std::mutex> locker(_mutex);
    int error = 0;
    if (takePlanned(_initFaults, &error))
        return error;
    if (!context) {
        violation(QStringLiteral("init without a context pointer (the default context is not used)"));
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    _contexts.push_back(std::make_unique<Context>());
    Context* created = _contexts.back().get();
    _contextIndex.emplace(created, created);
    *context = reinterpret_cast<libusb_context*>(created);
    return LIBUSB_SUCCESS;
}

void SimLibUsb::exit(libusb_context* context)
{
    std::lock_guard<std::mutex> locker(_mutex);
    Context* found = findContext(context, "exit");
    if (!found)
        return;
    int held = 0;
    int open = 0;
    for (const auto& device : _devices)
        held += (device->live && device->context == found) ? 1 : 0;
    for (const auto& handle : _handles)
        open += (handle->live && handle->device->context == found) ? 1 : 0;
    if (held > 0 || open > 0) {
        violation(
            QStringLiteral("exit while %1 devices are referenced and %2 handles open; they are now invalid")
                .arg(held)
                .arg(open));
    }
    for (auto& handle : _handles) {
        if (handle->device->context == found)
            handle->live = false;
    }
    for (auto& device : _devices) {
        if (device->context == found)
            device->live = false;
    }
    found->live = false;
}

ssize_t SimLibUsb::getDeviceList(libusb_context* context, libusb_device*** list)
{
    std::lock_guard<std::mutex> locker(_mutex);
    int error = 0;
    if (takePlanned(_listFaults, &error))
        return error;
    Context* found = findContext(context, "get_device_list");
    if (!found || !list)
        return LIBUSB_ERROR_INVALID_PARAM;
    std::vector<Device*> listed;
    for (const auto& box : _boxes) {
        if (!box->isPlugged())
            continue;
        // libusb hands out the same device object while anything still holds it.
        Device* device = nullptr;
        for (const auto& candidate : _devices) {
            if (candidate->live && candidate->context == found && candidate->box == box
                && candidate->generation == box->plugGeneration()) {
                device = candidate.get();
            }
        }
        if (!device) {
            _devices.push_back(std::make_unique<Device>(Device {found, box, box->plugGeneration()}));
            device = _devices.back().get();
            _deviceIndex.emplace(device, device);
        }
        ++device->references;
        listed.push_back(device);
    }
    auto** array = new libusb_device*[listed.size() + 1];
    for (size_t i = 0; i < listed.size(); ++i)
        array[i] = toLibUsb(listed[i]);
    array[listed.size()] = nullptr;
    *list = array;
    return static_cast<ssize_t>(listed.size());
}

void SimLibUsb::freeDeviceList(libusb_device** list, int unrefDevices)
{
    if (!list)
        return;
    {
        std::lock_guard<std::mutex> locker(_mutex);
        for (libusb_device** entry = list; unrefDevices && *entry; ++entry) {
            if (Device* device = findDevice(*entry, "free_device_list"))
                release(device);
        }
    }
    delete[] list;
}

int SimLibUsb::getDeviceDescriptor(libusb_device* device, libusb_device_descriptor* descriptor)
{
    std::lock_guard<std::mutex> locker(_mutex);
    Device* found = findDevice(device, "get_device_descriptor");
    if (!found || !descriptor)
        return LIBUSB_ERROR_INVALID_PARAM;
    if (const int error = found->box->beginCall(SimCall::GetDescriptor))
        return error;
    found->box->fillDescriptor(descriptor);
    return LIBUSB_SUCCESS;
}

libusb_device* SimLibUsb::refDevice(libusb_device* device)
{
    std::lock_guard<std::mutex> locker(_mutex);
    if (Device* found = findDevice(device, "ref_device"))
        ++found->references;
    return device;
}

void SimLibUsb::unrefDevice(libusb_device* device)
{
    std::lock_guard<std::mutex> locker(_mutex);
    if (Device* found = findDevice(device, "unref_device"))
        release(found);
}

int SimLibUsb::open(libusb_device* device, libusb_device_handle** handle)
{
    std::lock_guard<std::mutex> locker(_mutex);
    Device* found = findDevice(device, "open");
    if (!found || !handle)
        return LIBUSB_ERROR_INVALID_PARAM;
    if (const int error = found->box->beginCall(SimCall::Open))
        return error;
    if (!isPresent(found))
        return LIBUSB_ERROR_NO_DEVICE;
    _handles.push_back(std::make_unique<Handle>());
    Handle* created = _handles.back().get();
    created->device = found;
    ++found->references; // an open handle keeps its device
    _handleIndex.emplace(created, created);
    *handle = toLibUsb(created);
    return LIBUSB_SUCCESS;
}

void SimLibUsb::close(libusb_device_handle* handle)
{
    std::lock_guard<std::mutex> locker(_mutex);
    Handle* found = findHandle(handle, "close");
    if (!found)
        return;
    found->live = false;
    found->claimed = false;
    release(found->device);
}

int SimLibUsb::kernelDriverActive(libusb_device_handle* handle, int interfaceNumber)
{
    Q_UNUSED(interfaceNumber)
    std::lock_guard<std::mutex> locker(_mutex);
    Handle* found = findHandle(handle, "kernel_driver_active");
    if (!found)
        return LIBUSB_ERROR_NO_DEVICE;
    if (const int result = found->device->box->beginCall(SimCall::KernelDriverActive))
        return result;
    return isPresent(found->device) ? 0 : LIBUSB_ERROR_NO_DEVICE;
}

int SimLibUsb::detachKernelDriver(libusb_device_handle* handle, int interfaceNumber)
{
    Q_UNUSED(interfaceNumber)
    std::lock_guard<std::mutex> locker(_mutex);
    Handle* found = findHandle(handle, "detach_kernel_driver");
    if (!found)
        return LIBUSB_ERROR_NO_DEVICE;
    if (const int error = found->device->box->beginCall(SimCall::DetachKernelDriver))
        return error;
    return isPresent(found->device) ? LIBUSB_ERROR_NOT_FOUND : LIBUSB_ERROR_NO_DEVICE;
}

int SimLibUsb::claimInterface(libusb_device_handle* handle, int interfaceNumber)
{
    std::lock_guard<std::mutex> locker(_mutex);
    Handle* found = findHandle(handle, "claim_interface");
    if (!found)
        return LIBUSB_ERROR_NO_DEVICE;
    if (const int error = found->device->box->beginCall(SimCall::Claim))
        return error;
    if (!isPresent(found->device))
        return LIBUSB_ERROR_NO_DEVICE;
    if (interfaceNumber != 0)
        return LIBUSB_ERROR_NOT_FOUND;
    for (const auto& other : _handles) {
        if (other.get() != found && other->live && other->claimed && other->device->box == found->device->box
            && isPresent(other->device))
            return LIBUSB_ERROR_BUSY;
    }
    found->claimed = true;
    return LIBUSB_SUCCESS;
}

int SimLibUsb::releaseInterface(libusb_device_handle* handle, int interfaceNumber)
{
    Q_UNUSED(interfaceNumber)
    std::lock_guard<std::mutex> locker(_mutex);
    Handle* found = findHandle(handle, "release_interface");
    if (!found)
        return LIBUSB_ERROR_NO_DEVICE;
    if (const int error = found->device->box->beginCall(SimCall::Release))
        return error;
    if (!found->claimed)
        return LIBUSB_ERROR_NOT_FOUND;
    found->claimed = false;
    return isPresent(found->device) ? LIBUSB_SUCCESS : LIBUSB_ERROR_NO_DEVICE;
}

int SimLibUsb::bulkTransfer(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data,
    int length, int* transferred, unsigned int timeoutMs)
{
    Q_UNUSED(timeoutMs)
    const bool out = (endpoint & 0x80) == 0;
    if (std::shared_ptr<SimVandrelBox> box = boxOf(handle)) {
        // Outside the stand-in's lock: the caller waits, as on a stalled cable.
        if (const int ms = box->takeCallDelay(out ? SimCall::BulkOut : SimCall::BulkIn); ms > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    std::lock_guard<std::mutex> locker(_mutex);
    if (transferred)
        *transferred = 0;
    Handle* found = findHandle(handle, "bulk_transfer");
    if (!found)
        return LIBUSB_ERROR_NO_DEVICE;
    SimVandrelBox& box = *found->device->box;
    const int error = box.beginCall(out ? SimCall::BulkOut : SimCall::BulkIn, hex(endpoint));
    if (!isPresent(found->device))
        return LIBUSB_ERROR_NO_DEVICE;
    if (!found->claimed) {
        violation(QStringLiteral("bulk transfer on an interface that is not claimed"));
        return LIBUSB_ERROR_IO;
    }
    if (!data || length < 0)
        return LIBUSB_ERROR_INVALID_PARAM;
    if (out) {
        if (endpoint != EndpointOut || length > SimVandrelBox::ReportSize)
            return LIBUSB_ERROR_INVALID_PARAM;
        if (error)
            return error; // the report never reached the box
        if (length > 0 && data[0] == proto::vandrel::VD_CMD_POLL_MONITOR) {
            if (const int pollError = box.takePollError())
                return pollError;
        }
        if (found->replyPending)
            violation(QStringLiteral("request written while the reply to the previous one was unread"));
        box.exchange(data, length, found->reply);
        found->replyPending = true;
        if (transferred)
            *transferred = length;
        return LIBUSB_SUCCESS;
    }
    if (endpoint != EndpointIn)
        return LIBUSB_ERROR_INVALID_PARAM;
    if (!found->replyPending) {
        if (!error)
            violation(QStringLiteral("reply read without a request"));
        return error ? error : LIBUSB_ERROR_TIMEOUT;
    }
    // Whatever happens to this read, the reply is gone.
    found->replyPending = false;
    if (error)
        return error;
    const int shortLength = box.takeShortReply();
    const int count = qMin(length, shortLength >= 0 ? shortLength : SimVandrelBox::ReportSize);
    std::memcpy(data, found->reply, static_cast<size_t>(count));
    if (transferred)
        *transferred = count;
    return LIBUSB_SUCCESS;
}

std::shared_ptr<SimVandrelBox> SimLibUsb::boxOf(libusb_device_handle* handle) const
{
    std::lock_guard<std::mutex> locker(_mutex);
    auto it = _handleIndex.find(handle);
    if (it == _handleIndex.end() || !it->second->live)
        return nullptr;
    return it->second->device->box;
}

void SimLibUsb::beforePollPass(libusb_device_handle* handle)
{
    std::shared_ptr<SimVandrelBox> box = boxOf(handle);
    // Outside every lock, the stand-in's and the caller's: request threads go
    // on sending and the box goes on recording meanwhile.
    if (const int holdMs = box ? box->takePollHoldBack() : 0; holdMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
}

int SimLibUsb::controlTransfer(libusb_device_handle* handle, uint8_t requestType, uint8_t request,
    uint16_t value, uint16_t index, unsigned char* data, uint16_t length, unsigned int timeoutMs)
{
    Q_UNUSED(index)
    Q_UNUSED(timeoutMs)
    std::lock_guard<std::mutex> locker(_mutex);
    Handle* found = findHandle(handle, "control_transfer");
    if (!found)
        return LIBUSB_ERROR_NO_DEVICE;
    SimVandrelBox& box = *found->device->box;
    if (const int error
        = box.beginCall(SimCall::Control, hex(value >> 8) + QLatin1Char(' ') + hex(value & 0xFF)))
        return error;
    if (!isPresent(found->device))
        return LIBUSB_ERROR_NO_DEVICE;
    // Only string descriptors are asked for; anything else stalls, as on the box.
    const bool stringDescriptor = requestType == LIBUSB_ENDPOINT_IN
        && request == LIBUSB_REQUEST_GET_DESCRIPTOR && (value >> 8) == LIBUSB_DT_STRING;
    if (!stringDescriptor || !data)
        return LIBUSB_ERROR_PIPE;
    QByteArray descriptor;
    const int stringIndex = value & 0xFF;
    if (stringIndex == 0) {
        descriptor = QByteArray::fromHex("04030904"); // one language: English (US)
    } else {
        const QString text = box.stringDescriptor(stringIndex);
        if (text.isNull())
            return LIBUSB_ERROR_PIPE;
        const QString limited = text.left(126);
        descriptor.append(char(2 + 2 * limited.size()));
        descriptor.append(char(LIBUSB_DT_STRING));
        for (QChar c : limited) {
            descriptor.append(char(c.unicode() & 0xFF));
            descriptor.append(char(c.unicode() >> 8));
        }
    }
    const int count = qMin<int>(length, descriptor.size());
    std::memcpy(data, descriptor.constData(), static_cast<size_t>(count));
    return count;
}

int SimLibUsb::clearHalt(libusb_device_handle* handle, unsigned char endpoint)
{
    std::lock_guard<std::mutex> locker(_mutex);
    Handle* found = findHandle(handle, "clear_halt");
    if (!found)
        return LIBUSB_ERROR_NO_DEVICE;
    if (const int error = found->device->box->beginCall(SimCall::ClearHalt, hex(endpoint)))
        return error;
    return isPresent(found->device) ? LIBUSB_SUCCESS : LIBUSB_ERROR_NO_DEVICE;
}

int SimLibUsb::resetDevice(libusb_device_handle* handle)
{
    std::lock_guard<std::mutex> locker(_mutex);
    Handle* found = findHandle(handle, "reset_device");
    if (!found)
        return LIBUSB_ERROR_NO_DEVICE;
    if (const int error = found->device->box->beginCall(SimCall::ResetDevice))
        return error;
    if (!isPresent(found->device))
        return LIBUSB_ERROR_NO_DEVICE;
    found->replyPending = false;
    return LIBUSB_SUCCESS;
}

} // namespace tarvesk::sim
