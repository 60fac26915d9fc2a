// Upload speed of each bootloader class on the simulated bench: rows written
// per second of wall time (what the host spends: reports, the data monitor's
// hand-over, the waits) and per second of simulated bus time (what the frames
// would take on the wire), on the DMX and the Dorvane side of a factory box of
// firmware 16 (plain Wystrel frames), 18 (the box's spam) and 21 (the box's
// bootloader functions).
//
// Then the same through the service over HTTP: the time per
// "device.firmware.upload" of a sample module (its rows, the harmless row of
// its slot, and the read-back of every row), through each bus of a firmware 21
// box.

#include "bench_support.h"
#include "core/device.h"
#include "core/firmware.h"
#include "core/thread.h"
#include "core/thread_manager.h"
#include "core/universe.h"
#include "interfaces/bootloader/bootloader_proxy.h"
#include "interfaces/bootloader/bootloader_state_machine.h"
#include "interfaces/iusb_vandrel_device.h"
#include "interfaces/lib_usb_interface.h"
#include "interfaces/usb_vandrel_data_monitor.h"
#include "interfaces/usb_vandrel_dmx_interface.h"
#include "interfaces/usb_vandrel_dorvane_interface.h"
#include "protocol/usb/usb_vandrel_packet.h"
#include "sim_bench.h"
#include "sim_vandrel_box.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>

#include <libusb.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <memory>

using namespace tarvesk;

namespace {

constexpr int Rows = 64; // one page of 2048 words

// A Vandrel device as its interfaces see it: the open handle, its data
// monitor, the Dorvane connection and slave role from the box's registers.
class BenchDevice : public core::Device, public itf::IUsbVandrelDevice
{
public:
    explicit BenchDevice(core::Universe* universe)
        : core::Device(universe)
    { }

    core::InterfaceType getInterfaceType() const override { return core::ITF_TYPE_USB; }
    bool isStatusTrue(Status status) override
    {
        quint16 value = 0;
        if (status == STATUS_DORVANE_CONNECTED)
            return readRegister(4, value) == 0 && !(value & 0x02);
        if (status == STATUS_DORVANE_SLAVE_ENABLED)
            return readRegister(48, value) == 0 && (value == 2 || value == 4);
        return false;
    }
    int setStatus(Status, int) override { return 0; }
    libusb_device_handle* getDeviceHandle() const override { return handle; }
    bool hasDataMonitor() const override { return monitor != nullptr; }
    void installPacketMutex(proto::PacketMutex* mutex) override { monitor->installPacketMutex(mutex); }
    void restartMonitor(int) override { }
    void attachRecordSink(itf::IVandrelRecordSink* sink) override
    {
        if (monitor)
            monitor->attachRecordSink(sink);
    }
    void detachRecordSink(itf::IVandrelRecordSink* sink) override
    {
        if (monitor)
            monitor->detachRecordSink(sink);
    }

    int readRegister(int address, quint16& value)
    {
        unsigned char bytes[64] = {0x0D, quint8(address >> 8), quint8(address & 0xFF)};
        proto::UsbVandrelPacket request(bytes, 64);
        proto::UsbVandrelPacket reply;
        const int status = transport->transferPacket(handle, &request, &reply);
        if (status == 0)
            value = reply.getUint16(3);
        return status;
    }

    libusb_device_handle* handle = nullptr;
    itf::LibUsbInterface* transport = nullptr;
    itf::UsbVandrelDataMonitor* monitor = nullptr;
};

QByteArray benchJson(int firmware)
{
    const QByteArray bootloader
        = R"({"modules": [{"id": 0, "version": 3, "subversion": 1, "size": 5, "start": 512}]})";
    return R"({"timing": "bus", "boxes": [{"firmware": )" + QByteArray::number(firmware)
        + R"(, "subversion": 12, "capabilities": "0x20", "registers": {"48": 2},
          "dmx": [{"model": "wystrel_driver", "bootloader": )"
        + bootloader + R"(}], "dorvane": [{"model": "dorvane_driver", "bootloader": )" + bootloader
        + R"(}]}]})";
}

void addCapabilities(core::Device& device, int firmware)
{
    using D = core::Device;
    for (D::Capability c : {D::CAP_VD_LARGE_PACKETS, D::CAP_VD_TIMEOUT_EVENT, D::CAP_VD_DORVANE_ATOMIC_READ,
             D::CAP_VD_CORRECT_CHECKSUM, D::CAP_VD_BANANA_MODE, D::CAP_DV2, D::CAP_VD_FIX_DORVANE_HANGUP,
             D::CAP_VD_DALI_REPLY_SUPPORT, D::CAP_VD_FACTORY})
        device.addCapability(c);
    if (firmware >= 18)
        device.addCapability(D::CAP_VD_BOOTLOADER_SPAM);
    if (firmware >= 20)
        device.addCapability(D::CAP_VD_EMBEDDED_BOOTLOADER_FUNCTIONS);
}

// One upload of a page; false with the reason when the bench could not run.
bool run(int firmware, bool dorvaneSide, double& wallRowsPerSecond, double& busRowsPerSecond, QString& why)
{
    auto libUsb = sim::SimBench::loadJson(benchJson(firmware), &why);
    if (!libUsb)
        return false;
    auto box = libUsb->boxes().front();
    auto* transport = new itf::LibUsbInterface(libUsb);
    core::Universe universe(QStringLiteral("USB"), transport, nullptr);
    transport->init();
    libusb_device** list = nullptr;
    if (libUsb->getDeviceList(transport->getContext(), &list) != 1) {
        why = QStringLiteral("no box");
        return false;
    }
    libusb_device* usbDevice = transport->referenceDevice(list[0]);
    libUsb->freeDeviceList(list, 1);
    BenchDevice device(&universe);
    device.transport = transport;
    device.setVersion(firmware);
    transport->tryOpen(usbDevice, &device.handle);
    transport->tryClaim(device.handle);
    device.setConnectionStatus(core::Device::CONNECTED);
    addCapabilities(device, firmware);

    std::atomic<libusb_device_handle*> handle {device.handle};
    auto* monitor = new itf::UsbVandrelDataMonitor([&handle] { return handle.load(); }, transport);
    auto thread = core::ThreadManager::instance()->newThread(QStringLiteral("USB monitor"));
    monitor->moveToThread(thread->getThreadPtr());
    thread->start();
    monitor->init(itf::UsbVandrelDataMonitor::PollIntervalMs);
    device.monitor = monitor;

    bool done = false;
    {
        itf::UsbVandrelDmxInterface dmx(&device);
        dmx.init();
        itf::UsbVandrelDorvaneInterface dorvane(&device, &dmx);
        dorvane.init();
        core::NetworkInterface* target = dorvaneSide ? static_cast<core::NetworkInterface*>(&dorvane) : &dmx;
        auto* proxy = qobject_cast<itf::BootloaderProxy*>(target->getBootloaderProxyInterface());
        bool entered = false;
        int elapsed = 0;
        if (target->hasCapability(core::ITF_CAP_EMBEDDED_BOOTLOADER_FUNCTIONS))
            proxy->startBootloader(3000, entered, elapsed);
        else
            proxy->getBootloaderStateMachine()->startBootloader();

        core::Firmware image;
        for (int i = 0; i < Rows * 32; ++i)
            image.setWord(4096 + i, (i * 37 + 5) & 0x3FFF);
        QStringList rows;
        for (int row = 4096 / 32; row < 4096 / 32 + Rows; ++row)
            rows << image.getRowHexString(row, false);
        const qint64 busBefore = box->busTimeUs();
        QElapsedTimer wall;
        wall.start();
        try {
            int count = 0;
            int retries = 0;
            proxy->writeRows(rows, count, retries, 0);
            const double wallS = wall.nsecsElapsed() / 1e9;
            const double busS = (box->busTimeUs() - busBefore) / 1e6;
            wallRowsPerSecond = Rows / wallS;
            busRowsPerSecond = busS > 0 ? Rows / busS : 0;
            done = true;
        } catch (const std::exception&) {
            why = QStringLiteral("the upload failed");
        }
    }
    device.monitor = nullptr;
    monitor->stopAndWait();
    monitor->deleteLater();
    thread->quit();
    thread.reset();
    handle = nullptr;
    transport->releaseClaim(device.handle);
    transport->closeDevice(device.handle);
    transport->unreferenceDevice(usbDevice);
    return done;
}

// Uploads of the sample module through the service; the mean time per upload
// in ms on each bus, or a reason.
void runOverHttp(const QString& binary)
{
    constexpr int Uploads = 10;
    QFile moduleFile(QStringLiteral(QM_SOURCE_DIR "/data/firmware/data/firmware_mods/i001v00203s001.hex"));
    QTemporaryDir dir;
    QFile bench(dir.filePath(QStringLiteral("bench.json")));
    if (!moduleFile.open(QIODevice::ReadOnly) || !bench.open(QIODevice::WriteOnly)) {
        std::printf("http upload: no sample module or bench file\n");
        return;
    }
    const QString module = QString::fromLatin1(moduleFile.readAll());
    bench.write(benchJson(21));
    bench.close();
    qputenv("QM_SIM_BENCH", bench.fileName().toLocal8Bit());
    qmbench::ServiceProcess service;
    if (!service.start(binary)) {
        std::printf("http upload: the service did not start (%s)\n", qPrintable(binary));
        return;
    }
    const QJsonObject search = qmbench::rpc(service.port(), "universe.search", {{"interface_type", "usb"}});
    const QJsonArray boxes = search["result"].toArray();
    if (boxes.isEmpty()) {
        std::printf("http upload: no box found: %s\n",
            QJsonDocument(search).toJson(QJsonDocument::Compact).constData());
        return;
    }
    const int box = boxes.first().toObject()["device_id"].toInt();
    std::printf("\n%-10s %-8s %8s %14s %14s\n", "firmware", "side", "uploads", "rows/upload", "ms/upload");
    for (const char* side : {"dmx", "dorvane"}) {
        const QJsonObject params {{"device_id", box}, {"interface_type", side}, {"firmware", module}};
        int rows = 0;
        QElapsedTimer wall;
        wall.start();
        for (int n = 0; n < Uploads; ++n) {
            const QJsonObject reply = qmbench::rpc(service.port(), "device.firmware.upload", params);
            if (reply["result"].toObject()["status"].toString() != QLatin1String("ok")) {
                std::printf("%-10d %-8s failed: %s\n", 21, side,
                    QJsonDocument(reply).toJson(QJsonDocument::Compact).constData());
                rows = -1;
                break;
            }
            rows = reply["result"].toObject()["correct_writes"].toInt();
        }
        if (rows >= 0)
            std::printf(
                "%-10d %-8s %8d %14d %14.1f\n", 21, side, Uploads, rows, wall.nsecsElapsed() / 1e6 / Uploads);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::printf(
        "%-10s %-8s %-34s %14s %14s\n", "firmware", "side", "bootloader", "rows/s wall", "rows/s bus");
    for (int firmware : {16, 18, 21}) {
        const char* kind = firmware >= 20 ? "UsbVandrelBootloader"
            : firmware >= 18              ? "UsbVandrelLegacyBootloader"
                                          : "WystrelBootloader";
        for (bool dorvane : {false, true}) {
            double wall = 0;
            double bus = 0;
            QString why;
            if (run(firmware, dorvane, wall, bus, why))
                std::printf("%-10d %-8s %-34s %14.1f %14.1f\n", firmware, dorvane ? "dorvane" : "dmx", kind,
                    wall, bus);
            else
                std::printf("%-10d %-8s %-34s failed: %s\n", firmware, dorvane ? "dorvane" : "dmx", kind,
                    qPrintable(why));
        }
    }
    runOverHttp(QCoreApplication::applicationDirPath() + QStringLiteral("/../quinmark-server"));
    return 0;
}
