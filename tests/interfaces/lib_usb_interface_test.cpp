#include "sim_usb_fixture.h"

#include "core/itf_error.h"
#include "interfaces/system_lib_usb.h"
#include "log_capture.h"
#include "protocol/usb/usb_packet.h"

#include <QByteArray>

#include <atomic>
#include <thread>
#include <vector>

using namespace tarvesk;
using tarvesk::sim::SimCall;
using tarvesk::sim::SimFaults;
using tarvesk::test::LogCapture;
using tarvesk::test::SimUsbFixture;

namespace {

proto::UsbPacket report(const QByteArray& bytes)
{
    return proto::UsbPacket(reinterpret_cast<const unsigned char*>(bytes.constData()), bytes.size());
}

proto::UsbPacket getRegister(int address)
{
    return report(QByteArray::fromHex("0d") + char(address >> 8) + char(address & 0xFF));
}

// A reply packet holding "previous contents" that a failed exchange must leave alone.
proto::UsbPacket previousReply()
{
    return report(QByteArray(64, char(0xEE)));
}

} // namespace

using LibUsbTransport = SimUsbFixture;

TEST_F(LibUsbTransport, ExchangeCarriesWholeReports)
{
    box->setRegister(41, 0x0162);
    proto::UsbPacket reply;
    const proto::UsbPacket request = getRegister(41);
    ASSERT_EQ(transport->transferPacket(handle, &request, &reply), core::ITF_OK);
    EXPECT_EQ(reply.getDataSize(), 64);
    EXPECT_EQ(transport->getReplyLength(), 64);
    EXPECT_EQ(reply[0], 0x8D);
    EXPECT_EQ(reply.getUint16(3), 0x0162);
    EXPECT_EQ(box->callLog(), QStringList({"bulk_out 0x01", "bulk_in 0x81"}));
}

TEST_F(LibUsbTransport, BytesPastTheRequestSizeGoOutAsZeros)
{
    // A set-register request whose buffer still holds 0xFF from earlier use: only
    // its three own bytes may reach the box, so the value written is 0.
    proto::UsbPacket request = report(QByteArray(64, char(0xFF)));
    request.resize(3);
    request.setByte(0, 0x0E);
    request.setByte(1, 0);
    request.setByte(2, 50);
    proto::UsbPacket reply;
    ASSERT_EQ(transport->transferPacket(handle, &request, &reply), core::ITF_OK);
    EXPECT_EQ(box->registerValue(50), 0);
}

TEST_F(LibUsbTransport, RefusesWhatCannotBeAnExchange)
{
    proto::UsbPacket reply = previousReply();
    const proto::UsbPacket request = getRegister(0);
    const proto::UsbPacket tooLong = report(QByteArray(65, char(0x0D)));
    EXPECT_EQ(transport->transferPacket(nullptr, &request, &reply), core::ITF_ERR_NO_DEVICE);
    EXPECT_EQ(transport->transferPacket(handle, nullptr, &reply), core::ITF_ERR_INVALID_PARAM);
    EXPECT_EQ(transport->transferPacket(handle, &request, nullptr), core::ITF_ERR_INVALID_PARAM);
    EXPECT_EQ(transport->transferPacket(handle, &tooLong, &reply), core::ITF_ERR_INVALID_PARAM);
    EXPECT_EQ(reply, previousReply());
    EXPECT_TRUE(box->callLog().isEmpty());
}

TEST_F(LibUsbTransport, ShortReplyIsAFailureAndNotPadded)
{
    box->editFaults([](SimFaults& f) { f.shortReplies(10); });
    proto::UsbPacket reply = previousReply();
    const proto::UsbPacket request = getRegister(0);
    LogCapture log;
    EXPECT_EQ(transport->transferPacket(handle, &request, &reply), core::ITF_ERR_PACKET_LENGTH);
    EXPECT_EQ(reply, previousReply());
    EXPECT_EQ(log.count(QStringLiteral("Libusb: Short reply, 10 of 64 bytes")), 1);
    // The next exchange is whole again.
    EXPECT_EQ(transport->transferPacket(handle, &request, &reply), core::ITF_OK);
    EXPECT_EQ(reply[0], 0x8D);
}

struct ErrorCase
{
    int libusbError;
    int status;
    const char* message;
};

class LibUsbErrorTable : public SimUsbFixture, public ::testing::WithParamInterface<ErrorCase>
{
};

TEST_P(LibUsbErrorTable, MapsEveryResultAndLeavesTheReplyAlone)
{
    const ErrorCase c = GetParam();
    for (SimCall call : {SimCall::BulkOut, SimCall::BulkIn}) {
        SCOPED_TRACE(sim::simCallName(call).toStdString());
        box->clearCallLog();
        box->editFaults([&](SimFaults& f) { f.failNext(call, c.libusbError); });
        proto::UsbPacket reply = previousReply();
        const proto::UsbPacket request = getRegister(0);
        LogCapture log;
        bool wentOut = false;
        EXPECT_EQ(transport->transferPacket(handle, &request, &reply,
                      itf::LibUsbInterface::FailureLog::Logged, [&wentOut](quint64) { wentOut = true; }),
            c.status);
        EXPECT_EQ(reply, previousReply());
        EXPECT_EQ(log.count(QString::fromLatin1(c.message)), 1) << log.messages().join('\n').toStdString();
        EXPECT_EQ(core::itfErrorToString(c.status).isEmpty(), false);
        // A failed write never reads, and its caller never hears of a request
        // going out (the box did not get it: a DALI frame owes no records); a
        // request whose reply failed reached the box.
        EXPECT_EQ(box->callCount(SimCall::BulkIn), call == SimCall::BulkOut ? 0 : 1);
        EXPECT_EQ(wentOut, call == SimCall::BulkIn);
        EXPECT_EQ(box->callCount(SimCall::ResetDevice), 0);
        // A caller that logs a run of failures itself asks for quiet: same status, no line.
        box->editFaults([&](SimFaults& f) { f.failNext(call, c.libusbError); });
        LogCapture quiet;
        EXPECT_EQ(
            transport->transferPacket(handle, &request, &reply, itf::LibUsbInterface::FailureLog::Quiet),
            c.status);
        EXPECT_EQ(quiet.count(QString::fromLatin1(c.message)), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Results, LibUsbErrorTable,
    ::testing::Values(ErrorCase {LIBUSB_ERROR_OVERFLOW, -5, "Libusb: Overflow"},
        ErrorCase {LIBUSB_ERROR_TIMEOUT, -6, "Libusb: Timeout"},
        ErrorCase {LIBUSB_ERROR_NOT_FOUND, -4, "Libusb: Not found"},
        ErrorCase {LIBUSB_ERROR_NO_DEVICE, -3, "Libusb: No device"},
        ErrorCase {LIBUSB_ERROR_ACCESS, -2, "Libusb: Could not access device"},
        ErrorCase {LIBUSB_ERROR_INVALID_PARAM, -8, "Libusb: Invalid parameter"},
        ErrorCase {LIBUSB_ERROR_IO, -7, "Libusb: IO"},
        // Busy is a failed transfer, not the service's own "Interface is busy." (-9).
        ErrorCase {LIBUSB_ERROR_BUSY, -1, "Libusb: Transfer failed"},
        ErrorCase {LIBUSB_ERROR_INTERRUPTED, -1, "Libusb: Transfer failed"},
        ErrorCase {LIBUSB_ERROR_NO_MEM, -1, "Libusb: Transfer failed"},
        ErrorCase {LIBUSB_ERROR_NOT_SUPPORTED, -1, "Libusb: Transfer failed"},
        ErrorCase {LIBUSB_ERROR_OTHER, -1, "Libusb: Transfer failed"},
        ErrorCase {7, -1, "Libusb: Transfer failed"}));

TEST_F(LibUsbTransport, PipeErrorClearsTheHaltOfThatEndpoint)
{
    for (SimCall call : {SimCall::BulkOut, SimCall::BulkIn}) {
        box->clearCallLog();
        box->editFaults([&](SimFaults& f) { f.failNext(call, LIBUSB_ERROR_PIPE); });
        proto::UsbPacket reply = previousReply();
        const proto::UsbPacket request = getRegister(0);
        LogCapture log;
        // Even with the halt cleared the exchange is lost: the caller must see it.
        EXPECT_EQ(transport->transferPacket(handle, &request, &reply), core::ITF_ERR_PIPE);
        EXPECT_EQ(reply, previousReply());
        const QString endpoint = call == SimCall::BulkOut ? "0x01" : "0x81";
        EXPECT_TRUE(box->callLog().contains("clear_halt " + endpoint))
            << box->callLog().join(',').toStdString();
        EXPECT_EQ(box->callCount(SimCall::ResetDevice), 0);
        EXPECT_EQ(log.count("Libusb: Pipe error, trying to clear halt"), 1);
        EXPECT_EQ(log.count("Libusb: Cleared halt"), 1);
    }
    proto::UsbPacket reply;
    const proto::UsbPacket request = getRegister(0);
    EXPECT_EQ(transport->transferPacket(handle, &request, &reply), core::ITF_OK);
}

TEST_F(LibUsbTransport, PipeErrorEscalatesToAResetWhenTheHaltStays)
{
    box->editFaults([](SimFaults& f) {
        f.failNext(SimCall::BulkOut, LIBUSB_ERROR_PIPE, 2);
        f.failNext(SimCall::ClearHalt, LIBUSB_ERROR_NO_DEVICE, 2);
        f.failNext(SimCall::ResetDevice, LIBUSB_ERROR_NOT_FOUND, 1);
    });
    proto::UsbPacket reply = previousReply();
    const proto::UsbPacket request = getRegister(0);
    LogCapture log;
    EXPECT_EQ(transport->transferPacket(handle, &request, &reply), core::ITF_ERR_PIPE);
    EXPECT_EQ(log.count("Libusb: Could not clear halt, trying to reset device: -4"), 1);
    EXPECT_EQ(log.count("Libusb: Could not reset device: -5"), 1);
    // The second time the reset works; the status stays a pipe error.
    EXPECT_EQ(transport->transferPacket(handle, &request, &reply), core::ITF_ERR_PIPE);
    EXPECT_EQ(log.count("Libusb: Could not reset device"), 1);
    EXPECT_EQ(box->callLog(),
        QStringList({"bulk_out 0x01", "clear_halt 0x01", "reset_device", "bulk_out 0x01", "clear_halt 0x01",
            "reset_device"}));
    EXPECT_EQ(reply, previousReply());
}

// A handle the device closed is never handed to libusb again, whoever still
// holds its pointer (a monitor's poll that was under way): "no device".
TEST_F(LibUsbTransport, AClosedHandleIsRefused)
{
    ASSERT_EQ(transport->releaseClaim(handle), LIBUSB_SUCCESS);
    transport->closeDevice(handle);
    box->clearCallLog();
    const proto::UsbPacket request = getRegister(0);
    proto::UsbPacket reply;
    EXPECT_EQ(transport->transferPacket(handle, &request, &reply), core::ITF_ERR_NO_DEVICE);
    EXPECT_EQ(
        transport->transferPacket([this] { return handle; }, &request, &reply), core::ITF_ERR_NO_DEVICE);
    EXPECT_EQ(transport->endpointWritePacket(handle, &request, 1), core::ITF_ERR_NO_DEVICE);
    EXPECT_TRUE(box->callLog().isEmpty());
    EXPECT_TRUE(libUsb->violations().isEmpty()) << libUsb->violations().join('\n').toStdString();
    handle = nullptr; // closed already
}

TEST_F(LibUsbTransport, RecoveryHelpers)
{
    LogCapture log;
    EXPECT_TRUE(transport->clearHalt(handle));
    EXPECT_TRUE(box->callLog().contains("clear_halt 0x00"));
    box->editFaults([](SimFaults& f) {
        f.failNext(SimCall::ClearHalt, LIBUSB_ERROR_PIPE);
        f.failNext(SimCall::ResetDevice, LIBUSB_ERROR_IO);
    });
    EXPECT_FALSE(transport->clearHalt(handle));
    EXPECT_EQ(log.count("Could not clear halt for endpoint: \"-9\""), 1);
    EXPECT_FALSE(transport->resetDevice(handle));
    EXPECT_EQ(log.count("Could not reset USB device: \"-1\""), 1);
    EXPECT_TRUE(transport->resetDevice(handle));
    EXPECT_EQ(log.count("Successfully reset USB device"), 1);
}

TEST_F(LibUsbTransport, EndpointVariantsUseTheirOwnSizeAndKeepTheReplyOnFailure)
{
    proto::UsbPacket reply = previousReply();
    const proto::UsbPacket request = report(QByteArray::fromHex("0e0033abcd"));
    ASSERT_EQ(transport->endpointTransferPacket(handle, &request, &reply, 0x01, 0x01), core::ITF_OK);
    EXPECT_EQ(box->registerValue(0x33), 0xABCD);
    EXPECT_EQ(reply.getDataSize(), 64);
    EXPECT_EQ(box->callLog().mid(0, 2), QStringList({"bulk_out 0x01", "bulk_in 0x81"}));

    reply = previousReply();
    box->editFaults([](SimFaults& f) { f.failNext(SimCall::BulkIn, LIBUSB_ERROR_TIMEOUT); });
    EXPECT_EQ(transport->endpointTransferPacket(handle, &request, &reply, 0x01, 0x81), core::ITF_ERR_TIMEOUT);
    EXPECT_EQ(reply, previousReply());

    // A lone write leaves a reply the next exchange must not mistake for its own:
    // the box reports it, and the test shows the write went out whole.
    const proto::UsbPacket write = report(QByteArray::fromHex("0e0034beef"));
    EXPECT_EQ(transport->endpointWritePacket(handle, &write, 0x01), core::ITF_OK);
    EXPECT_EQ(box->registerValue(0x34), 0xBEEF);
    EXPECT_EQ(transport->endpointTransferPacket(handle, &request, &reply, 0x01, 0x81), core::ITF_OK);
    EXPECT_EQ(libUsb->violations().size(), 1);
    libUsb->clearViolations();
}

TEST(LibUsbLibrary, InitOnceAndAFailedInitIsNotInitialised)
{
    auto libUsb = std::make_shared<sim::SimLibUsb>();
    itf::LibUsbInterface transport(libUsb);
    EXPECT_FALSE(transport.isInitialised());
    EXPECT_EQ(transport.getInterfaceType(), core::ITF_TYPE_USB);
    EXPECT_EQ(transport.getParentDevice(), nullptr);

    libUsb->failInit(LIBUSB_ERROR_OTHER);
    {
        LogCapture log;
        EXPECT_FALSE(transport.init());
        EXPECT_EQ(log.count("Could not reinitialize USB library : -99"), 1);
    }
    EXPECT_FALSE(transport.isInitialised());
    EXPECT_EQ(transport.getContext(), nullptr);

    // The next call tries again, and only once.
    EXPECT_TRUE(transport.init());
    EXPECT_TRUE(transport.init());
    EXPECT_TRUE(transport.isInitialised());
    EXPECT_NE(transport.getContext(), nullptr);
    EXPECT_EQ(libUsb->liveContextCount(), 1);

    EXPECT_TRUE(transport.close());
    EXPECT_FALSE(transport.isInitialised());
    EXPECT_EQ(libUsb->liveContextCount(), 0);
    EXPECT_TRUE(libUsb->violations().isEmpty());
}

TEST(LibUsbLibrary, ResetReinitialisesWhenNothingIsHeld)
{
    auto libUsb = std::make_shared<sim::SimLibUsb>();
    itf::LibUsbInterface transport(libUsb);
    ASSERT_TRUE(transport.init());
    libusb_context* before = transport.getContext();
    EXPECT_TRUE(transport.reset());
    EXPECT_TRUE(transport.isInitialised());
    EXPECT_NE(transport.getContext(), before);
    EXPECT_EQ(libUsb->liveContextCount(), 1);
    EXPECT_TRUE(libUsb->violations().isEmpty());
}

TEST_F(LibUsbTransport, ResetKeepsTheHandlesOfWorkingDevices)
{
    libusb_context* before = transport->getContext();
    EXPECT_EQ(transport->heldDeviceCount(), 1);
    EXPECT_EQ(transport->openHandleCount(), 1);
    {
        LogCapture log;
        EXPECT_FALSE(transport->reset());
        EXPECT_FALSE(transport->close());
        EXPECT_EQ(log.count("USB library reset skipped: 1 devices referenced and 1 handles open"), 1);
    }
    EXPECT_EQ(transport->getContext(), before);
    proto::UsbPacket reply;
    const proto::UsbPacket request = getRegister(0);
    EXPECT_EQ(transport->transferPacket(handle, &request, &reply), core::ITF_OK);
    EXPECT_EQ(reply.getUint16(3), 21);

    // Once the device is closed and released, the library can start afresh.
    transport->releaseClaim(handle);
    transport->closeDevice(handle);
    transport->unreferenceDevice(device);
    handle = nullptr;
    device = nullptr;
    EXPECT_TRUE(transport->reset());
    EXPECT_NE(transport->getContext(), before);
}

TEST_F(LibUsbTransport, ExchangesOfSeveralThreadsNeverInterleave)
{
    // Each thread writes and reads back its own register; the box reports any
    // request written while another one's reply was still unread.
    constexpr int Threads = 4;
    constexpr int Rounds = 150;
    std::atomic<int> mismatches {0};
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([&, t] {
            const int address = 100 + t;
            for (int i = 0; i < Rounds; ++i) {
                const quint16 value = static_cast<quint16>(t * 1000 + i);
                proto::UsbPacket reply;
                const proto::UsbPacket set = report(QByteArray::fromHex("0e") + char(0) + char(address)
                    + char(value >> 8) + char(value & 0xFF));
                const proto::UsbPacket get = getRegister(address);
                if (transport->transferPacket(handle, &set, &reply) != core::ITF_OK
                    || transport->transferPacket(handle, &get, &reply) != core::ITF_OK
                    || reply.getUint16(3) != value || reply[2] != address) {
                    ++mismatches;
                }
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(box->callCount(SimCall::BulkOut), Threads * Rounds * 2);
}

TEST(SystemLibUsb, ListsWithoutFindingABoxHere)
{
    auto system = std::make_shared<itf::SystemLibUsb>();
    itf::LibUsbInterface transport(system);
    if (!transport.init()) {
        // No USB stack in this environment (a container without usbfs): the
        // transport says so instead of pretending.
        EXPECT_FALSE(transport.isInitialised());
        EXPECT_EQ(transport.getContext(), nullptr);
        return;
    }
    libusb_device** list = nullptr;
    const ssize_t count = system->getDeviceList(transport.getContext(), &list);
    ASSERT_GE(count, 0);
    int boxes = 0;
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor descriptor {};
        if (system->getDeviceDescriptor(list[i], &descriptor) == 0 && descriptor.idVendor == 0x04D8
            && descriptor.idProduct == 0xFF00) {
            ++boxes;
        }
    }
    system->freeDeviceList(list, 1);
    EXPECT_EQ(boxes, 0);
}
