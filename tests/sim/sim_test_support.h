#pragma once

#include "sim_lib_usb.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QByteArray& bytes, std::ostream* os)
{
    *os << bytes.toHex(' ').toStdString();
}

namespace tarvesk::test {

// Talks to one simulated box through the bare libusb calls, the way the host
// does, so that the simulator is tested without the transport above it.
class SimHost
{
public:
    explicit SimHost(const sim::SimBoxConfig& config = sim::SimBoxConfig())
        : libUsb(std::make_shared<sim::SimLibUsb>())
        , box(libUsb->addBox(config))
    {
        libUsb->init(&context);
        libusb_device** list = nullptr;
        if (libUsb->getDeviceList(context, &list) == 1) {
            device = libUsb->refDevice(list[0]);
            libUsb->freeDeviceList(list, 1);
            libUsb->open(device, &handle);
            libUsb->claimInterface(handle, 0);
        }
    }

    ~SimHost()
    {
        if (handle) {
            libUsb->releaseInterface(handle, 0);
            libUsb->close(handle);
        }
        if (device)
            libUsb->unrefDevice(device);
        libUsb->exit(context);
    }

    // One request and its reply; an empty array when a call failed.
    QByteArray exchange(const QByteArray& request)
    {
        QByteArray out = request.leftJustified(64, '\0', true);
        int transferred = 0;
        if (libUsb->bulkTransfer(
                handle, 0x01, reinterpret_cast<unsigned char*>(out.data()), 64, &transferred, 1000)
            != 0) {
            return QByteArray();
        }
        QByteArray in(64, '\0');
        const int result = libUsb->bulkTransfer(
            handle, 0x81, reinterpret_cast<unsigned char*>(in.data()), 64, &transferred, 1000);
        return result == 0 ? in.left(transferred) : QByteArray();
    }

    QByteArray poll() { return exchange(QByteArray(1, char(0x14))); }

    // Polls the way the host does (passes of polls while byte 1 is 0, at most
    // `passes` of them) and cuts the stream into records by the host's rules: a
    // record is complete once a byte beyond it has arrived; type 0 ends what is held.
    QList<QByteArray> pollRecords(int passes = 1, int* polls = nullptr)
    {
        QList<QByteArray> records;
        for (int pass = 0; pass < passes; ++pass) {
            for (int guard = 0; guard < 1000; ++guard) {
                const QByteArray reply = poll();
                if (polls)
                    ++*polls;
                if (reply.size() != 64 || (reply[0] & 0x1F) != 0x14)
                    return records;
                if (reply[1] != 3)
                    buffer.append(reply.mid(4));
                extract(records);
                if (reply[1] != 0)
                    break;
            }
        }
        return records;
    }

    std::shared_ptr<sim::SimLibUsb> libUsb;
    std::shared_ptr<sim::SimVandrelBox> box;
    libusb_context* context = nullptr;
    libusb_device* device = nullptr;
    libusb_device_handle* handle = nullptr;
    QByteArray buffer;

private:
    void extract(QList<QByteArray>& records)
    {
        while (!buffer.isEmpty()) {
            if (buffer.at(0) == '\0') {
                buffer.clear();
                return;
            }
            if (buffer.size() < 8)
                return;
            const int length = (quint8(buffer[5]) << 8) | quint8(buffer[6]);
            if (buffer.size() - 7 <= length)
                return;
            records.append(buffer.left(7 + length));
            buffer.remove(0, 7 + length);
        }
    }
};

} // namespace tarvesk::test
