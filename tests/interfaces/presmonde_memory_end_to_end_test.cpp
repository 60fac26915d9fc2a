#include "core/core_errors.h"
#include "core/itf_error.h"
#include "core/memory/lightshape_ram_buffer_memory_read_write.h"
#include "core/parameters/parameter_factory.h"
#include "core/parameters/raw_parameter.h"
#include "core/parameters/raw_parameter_interface.h"
#include "devices/dmx_bidir_device.h"
#include "dmx/sim_wystrel_driver.h"
#include "interfaces/usb_vandrel_dmx_interface.h"
#include "sim_vandrel_monitored_fixture.h"
#include "universes/dmx_universe.h"

#include <atomic>
#include <memory>

using namespace tarvesk;
using core::Device;

namespace {

// Counts the frames on the line; it never answers.
class LineListener : public sim::SimBusModel
{
public:
    Bus bus() const override { return Dmx; }
    QString modelName() const override { return QStringLiteral("listener"); }
    std::optional<QByteArray> dmxFrame(const QByteArray&) override
    {
        ++frames;
        return std::nullopt;
    }
    std::atomic<int> frames {0};
};

class PresmondeMemoryEndToEnd : public test::SimVandrelMonitoredFixture
{
protected:
    void SetUp() override
    {
        sim::SimBoxConfig config;
        config.firmwareVersion = 21;
        openMonitored(config, {Device::CAP_VD_TIMEOUT_EVENT});
        auto* dmx = new itf::UsbVandrelDmxInterface(device.get());
        dmx->init();
        universe = std::make_unique<universes::DmxUniverse>(QStringLiteral("DMX"), dmx);
        driver = std::make_shared<sim::SimWystrelDriver>();
        driver->core().enablePresmondeMemory();
        box->addBusModel(driver);
        box->addBusModel(listener);
        // The driver's parameter space as the DMX driver device reaches it.
        driverDevice
            = std::make_unique<devices::DmxBidirDevice>(universe.get(), int(driver->core().uid()), 0, 0);
        driverDevice->initializeInterfaces();
        memory = driverDevice->getRawParameterInterface(QStringLiteral("presmonde"));
        ASSERT_NE(memory, nullptr);
    }
    void TearDown() override
    {
        driverDevice.reset();
        universe.reset();
        SimVandrelMonitoredFixture::TearDown();
    }

    core::Parameter* add(const QString& identifier)
    {
        auto* p = dynamic_cast<core::Parameter*>(core::ParameterFactory().create(identifier));
        qobject_cast<core::RawParameter*>(p)->setDeviceInterface(driverDevice.get());
        driverDevice->addParameter(p);
        return p;
    }

    std::unique_ptr<universes::DmxUniverse> universe;
    std::shared_ptr<sim::SimWystrelDriver> driver;
    std::shared_ptr<LineListener> listener = std::make_shared<LineListener>();
    std::unique_ptr<devices::DmxBidirDevice> driverDevice;
    core::RawParameterInterface* memory = nullptr;
};

} // namespace

// A profile of 50 bytes written through the settings parameter lands, packed,
// in the driver's flash rows 16 and 14, and reads back as it was written.
TEST_F(PresmondeMemoryEndToEnd, LightshapeProfileWriteAndDump)
{
    core::Parameter* settings = add(QStringLiteral("light_shaping_settings"));
    driver->core().setParameter(105, 0x80);
    driver->core().setParameter(16358, 0x20);
    QList<int> bytes;
    QStringList numbers;
    for (int i = 0; i < 50; ++i) {
        bytes << (i * 37 + 11) % 256;
        numbers << QString::number(bytes.last());
    }
    const QString text = QLatin1Char('[') + numbers.join(QLatin1Char(',')) + QLatin1Char(']');
    ASSERT_EQ(settings->setValue(text, core::IParameter::UPDATE_YES), 0);
    EXPECT_EQ(driver->core().dumps(), 2);

    // The flash the bootloader reads holds the bytes three to two words.
    const sim::SimDriverBootloader& flash = driver->core().bootloader();
    for (int i = 0; i + 2 < 45; i += 3) {
        const int word = 0x3D00 + i / 3 * 2;
        EXPECT_EQ(flash.word(word), bytes[i] | (bytes[i + 2] & 0x0F) << 8) << i;
        EXPECT_EQ(flash.word(word + 1), bytes[i + 1] | (bytes[i + 2] & 0xF0) << 4) << i;
    }
    EXPECT_EQ(flash.word(0x3CE0), bytes[45] | (bytes[47] & 0x0F) << 8);
    EXPECT_EQ(flash.word(0x3CE2), bytes[48]); // byte 50, after the last, is 0
    EXPECT_EQ(flash.word(0x3CE3), bytes[49]);
    EXPECT_EQ(flash.word(0x3CE4), 0);

    QVariant value;
    ASSERT_EQ(settings->getValue(value, core::IParameter::UPDATE_YES), 0);
    EXPECT_EQ(value.toString().toStdString(), text.toStdString());

    core::LightShapeRamBufferMemoryReadWrite writer(memory);
    EXPECT_EQ(
        writer.dump(false, core::LightShapeRamBufferMemoryReadWrite::DUMP_REGION_2).mid(0, 5), bytes.mid(45));
    EXPECT_EQ(writer.status(), 0);
}

TEST_F(PresmondeMemoryEndToEnd, FailuresReachTheCaller)
{
    core::LightShapeRamBufferMemoryReadWrite writer(memory);
    // The driver's firmware refuses a target that is no profile row.
    EXPECT_NO_THROW(writer.write({1, 2, 3}, 11));
    EXPECT_EQ(writer.status(), 1);

    // A driver that stops answering: the write fails where it stopped.
    driver->faults().silent = sim::SimDriverFaults::Forever;
    add(QStringLiteral("light_shaping_settings"));
    driver->core().setParameter(105, 0x80);
    listener->frames = 0;
    EXPECT_NE(driverDevice->getParameterInterface(QStringLiteral("light_shaping_settings"))
                  ->setValue(QStringLiteral("[1,2]"), core::IParameter::UPDATE_YES),
        0);
    // One access: the first read, five attempts that the box sends five times each ("retry_count").
    EXPECT_EQ(listener->frames, 25);
}

// The gated start-up parameters read the driver's core version through the box.
TEST_F(PresmondeMemoryEndToEnd, CoreVersionAndConfigurationByte)
{
    add(QStringLiteral("core_version_string"));
    add(QStringLiteral("startup_behaviour"));
    core::Parameter* fail = add(QStringLiteral("dmx_failure_behaviour"));
    driver->core().setParameter(16361, 0x0315);
    driver->core().setParameter(1, 0x15);
    QVariant value;
    ASSERT_EQ(driverDevice->getParameterInterface(QStringLiteral("core_version_string"))
                  ->getValue(value, core::IParameter::UPDATE_YES),
        0);
    EXPECT_EQ(value.toString(), "21.3");
    ASSERT_EQ(fail->setValue(QStringLiteral("Goto Scene 2"), core::IParameter::UPDATE_YES), 0);
    EXPECT_EQ(driver->core().parameter(1), 0x95);
    ASSERT_EQ(fail->getValue(value, core::IParameter::UPDATE_YES), 0);
    EXPECT_EQ(value.toString(), "Goto Scene 2");
}
