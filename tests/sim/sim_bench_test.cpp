#include "sim_test_support.h"

#include "interfaces/lib_usb_interface.h"
#include "sim_bench.h"
#include "sim_bus_model_registry.h"
#include "sim_selection.h"

#include <QFile>
#include <QTemporaryDir>

#include <libusb.h>

#include <vector>

using namespace tarvesk;
using sim::SimBench;

namespace {

QString defaultBenchPath()
{
    return qEnvironmentVariable("QM_SOURCE_DIR", QStringLiteral("."))
        + QStringLiteral("/sim/benches/default.json");
}

// Restores the variable and the process's libusb after a test that changes them.
class EnvironmentGuard
{
public:
    EnvironmentGuard()
        : _saved(qgetenv(sim::BenchEnvironmentVariable))
    { }
    ~EnvironmentGuard()
    {
        qputenv(sim::BenchEnvironmentVariable, _saved);
        itf::setDefaultLibUsb(nullptr);
    }

private:
    QByteArray _saved;
};

} // namespace

TEST(SimBench, DefaultBenchHasANewerAndAnOlderBox)
{
    QString error;
    auto libUsb = SimBench::loadFile(defaultBenchPath(), &error);
    ASSERT_TRUE(libUsb) << error.toStdString();
    ASSERT_EQ(libUsb->boxes().size(), 2u);
    const sim::SimBoxConfig config = libUsb->boxes()[0]->config();
    EXPECT_EQ(config.release, 0x2014);
    EXPECT_EQ(config.vendorId, 0x04D8);
    EXPECT_EQ(config.productId, 0xFF00);
    EXPECT_GE(config.firmwareVersion, 13); // with a monitor stream
    const sim::SimBoxConfig older = libUsb->boxes()[1]->config();
    EXPECT_EQ(older.release, 0x1810);
    EXPECT_EQ(older.firmwareVersion, 15);
    EXPECT_EQ(older.subversion, 6);
    EXPECT_EQ(libUsb->timing(), sim::SimTiming::Instant);
}

TEST(SimBench, ReadsEveryField)
{
    QString error;
    auto libUsb = SimBench::loadJson(R"({
        "timing": "bus",
        "boxes": [
            {"release": "0x1810", "firmware": "12", "subversion": 6, "capabilities": "0x24", "serial": 70000,
             "manufacturer": "M", "product": "P", "serial_text": "S-1", "vendor_id": "0x1234", "product_id": 17,
             "registers": {"41": 354, "0x30": "0x0102"}, "dorvane_ram": {"16": 4}, "status_block": [1, 255],
             "dali": [], "dmx": [], "dorvane": []},
            {}
        ]})",
        &error);
    ASSERT_TRUE(libUsb) << error.toStdString();
    EXPECT_EQ(libUsb->timing(), sim::SimTiming::BusTime);
    ASSERT_EQ(libUsb->boxes().size(), 2u);
    const auto box = libUsb->boxes()[0];
    const sim::SimBoxConfig config = box->config();
    EXPECT_EQ(config.release, 0x1810);
    EXPECT_EQ(config.firmwareVersion, 12);
    EXPECT_EQ(config.subversion, 6);
    EXPECT_EQ(config.capabilities, 0x24);
    EXPECT_EQ(config.vendorId, 0x1234);
    EXPECT_EQ(config.productId, 17);
    EXPECT_EQ(box->stringDescriptor(1), QStringLiteral("M"));
    EXPECT_EQ(box->stringDescriptor(2), QStringLiteral("P"));
    EXPECT_EQ(box->stringDescriptor(3), QStringLiteral("S-1"));
    EXPECT_EQ(box->registerValue(6), 1);
    EXPECT_EQ(box->registerValue(7), 70000 - 65536);
    EXPECT_EQ(box->registerValue(41), 354);
    EXPECT_EQ(box->registerValue(0x30), 0x0102);
    EXPECT_EQ(box->dorvaneController().ramWord(16), 4);
    EXPECT_EQ(box->dorvaneMode(), sim::SimDorvaneController::Mode::Dv1Device);
    unsigned char status[64] = {0x20};
    unsigned char reply[64] = {};
    box->exchange(status, 64, reply);
    EXPECT_EQ(reply[1], 1);
    EXPECT_EQ(reply[2], 255);
    // An empty entry is a box with the defaults.
    EXPECT_EQ(libUsb->boxes()[1]->config().release, 0x2014);
}

// "fail_polls": the polls before "after" work, the "count" after them fail with an I/O error.
TEST(SimBench, FailPollsFailTheGivenPolls)
{
    QString error;
    auto libUsb = SimBench::loadJson(R"({"boxes": [{"fail_polls": {"after": 2, "count": 2}}, {}]})", &error);
    ASSERT_TRUE(libUsb) << error.toStdString();
    std::vector<int> polls;
    for (int i = 0; i < 6; ++i)
        polls.push_back(libUsb->boxes()[0]->takePollError());
    EXPECT_EQ(polls, (std::vector<int> {0, 0, LIBUSB_ERROR_IO, LIBUSB_ERROR_IO, 0, 0}));
    EXPECT_EQ(libUsb->boxes()[1]->takePollError(), 0);
}

TEST(SimBench, BadBenchesSayWhatAndWhere)
{
    struct Case
    {
        const char* json;
        const char* error;
    };
    const Case cases[] = {
        {"{", "not JSON"},
        {"[]", "an object with \"boxes\" is expected"},
        {R"({"boxes": {}})", "boxes: a list of boxes is expected"},
        {R"({"boxes": [], "speed": 1})", "unknown key \"speed\""},
        {R"({"timing": "fast", "boxes": []})", "timing: \"instant\" or \"bus\" is expected"},
        {R"({"boxes": [3]})", "boxes[0]: an object is expected"},
        {R"({"boxes": [{"firmwre": 21}]})", "boxes[0]: unknown key \"firmwre\""},
        {R"({"boxes": [{}, {"firmware": 256}]})", "boxes[1].firmware: 256 is outside 0..255"},
        {R"({"boxes": [{"release": "0x2g14"}]})", "boxes[0].release: \"0x2g14\" is not a number"},
        {R"({"boxes": [{"serial": 1.5}]})", "boxes[0].serial: 1.5 is not a whole number"},
        {R"({"boxes": [{"product": 5}]})", "boxes[0].product: a text is expected"},
        {R"({"boxes": [{"registers": {"x": 1}}]})", "boxes[0].registers: \"x\" is not a number"},
        {R"({"boxes": [{"registers": {"4": 70000}}]})", "boxes[0].registers.4: 70000 is outside 0..65535"},
        {R"({"boxes": [{"status_block": [256]}]})", "boxes[0].status_block[0]: 256 is outside 0..255"},
        {R"({"boxes": [{"dali": {}}]})", "boxes[0].dali: a list of bus models is expected"},
        {R"({"boxes": [{"dali": [{"name": "x"}]}]})", "boxes[0].dali[0]: an object with a \"model\" name"},
        {R"({"boxes": [{"dmx": [{"model": "nobody"}]}]})", "boxes[0].dmx[0]: unknown bus model \"nobody\""},
        {R"({"boxes": [{"monitor_hold_back": 3}]})", "boxes[0].monitor_hold_back: an object is expected"},
        {R"({"boxes": [{"monitor_hold_back": {"one_in": 0, "max_ms": 5}}]})",
            "boxes[0].monitor_hold_back.one_in: 0 is outside 1..1000000"},
        {R"({"boxes": [{"monitor_hold_back": {"one_in": 2}}]})",
            "boxes[0].monitor_hold_back.max_ms: a number is expected"},
        {R"({"boxes": [{"monitor_hold_back": {"one_in": 2, "max_ms": 5, "every": 1}}]})",
            "boxes[0].monitor_hold_back: unknown key \"every\""},
        {R"({"boxes": [{"monitor_hold_back": {"one_in": 2, "min_ms": 9, "max_ms": 5}}]})",
            "boxes[0].monitor_hold_back.min_ms: 9 is outside 1..5"},
        {R"({"boxes": [{"drop_records": {"after": 3}}]})",
            "boxes[0].drop_records.count: a number is expected"},
        {R"({"boxes": [{"drop_records": {"count": 0}}]})", "boxes[0].drop_records.count: 0 is outside"},
        {R"({"boxes": [{"drop_records": {"count": 5, "first": 1}}]})",
            "boxes[0].drop_records: unknown key \"first\""},
        {R"({"boxes": [{"fail_polls": 1}]})", "boxes[0].fail_polls: an object is expected"},
        {R"({"boxes": [{"dmx_recorded_after_line": 1}]})",
            "boxes[0].dmx_recorded_after_line: true or false is expected"},
        {R"({"boxes": [{"fail_polls": {"after": 3}}]})", "boxes[0].fail_polls.count: a number is expected"},
        {R"({"boxes": [{"fail_polls": {"count": 0}}]})", "boxes[0].fail_polls.count: 0 is outside"},
        {R"({"boxes": [{"fail_polls": {"count": 1, "after": -1}}]})",
            "boxes[0].fail_polls.after: -1 is outside"},
        {R"({"boxes": [{"fail_polls": {"count": 1, "error": 5}}]})",
            "boxes[0].fail_polls: unknown key \"error\""},
        {R"({"boxes": [{"dali": [{"model": "dali_master", "frame": [1]}]}]})",
            "\"frame\" must hold 2 or 3 bytes"},
        {R"({"boxes": [{"dali": [{"model": "dali_master", "ahead_of": [1]}]}]})",
            "\"ahead_of\" must hold 2 or 3 bytes"},
        {R"({"boxes": [{"dali": [{"model": "dali_master", "period_ms": 0}]}]})", "period_ms"},
        {R"({"boxes": [{"dali": [{"model": "dali_master", "burst_after": [1, 160], "burst_count": 5001}]}]})",
            "burst_count"},
        {R"({"boxes": [{"dali": [{"model": "dali_master", "burst_after": [1, 160], "burst_then": [[1]]}]}]})",
            "\"burst_then\"[0] must hold 2 or 3 bytes"},
        {R"({"boxes": [{"dali": [{"model": "dali_master", "burst_count": 3}]}]})", "need \"burst_after\""},
        {R"({"boxes": [{"dali": [{"model": "dali_master", "burst_after": [1, 160], "burst": 3}]}]})",
            "unknown key \"burst\""},
        {R"({"boxes": [{"dali": [{"model": "dali_master", "count": 0}]}]})",
            "\"count\" must be a number from 1 to 1000000"},
        {R"({"boxes": [{"dali": [{"model": "dali_master", "frames": []}]}]})",
            "\"frames\" must be a list of 1 to 16 frames"},
        {R"({"boxes": [{"dali": [{"model": "dali_master", "frames": [[163, 2], [7]]}]}]})",
            "\"frames\"[1] must hold 2 or 3 bytes"},
        {R"({"boxes": [{"dali": [{"model": "dali_master", "frame": [1, 2], "frames": [[1, 2]]}]}]})",
            "\"frame\" and \"frames\" exclude each other"},
        {R"({"boxes": [{"dali": [{"model": "dali_master", "frames": [[1, 2, 3, 4]]}]}]})",
            "\"frames\"[0] must be a list of at most 3 bytes"},
    };
    for (const Case& c : cases) {
        QString error;
        EXPECT_FALSE(SimBench::loadJson(c.json, &error)) << c.json;
        EXPECT_TRUE(error.contains(QString::fromLatin1(c.error))) << c.json << " -> " << error.toStdString();
    }
    QString error;
    EXPECT_FALSE(SimBench::loadFile(QStringLiteral("/nonexistent/bench.json"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("cannot read bench file /nonexistent/bench.json")));
}

TEST(SimBench, RegisteredModelsAreBuiltFromTheirEntries)
{
    class Silent : public sim::SimBusModel
    {
    public:
        Bus bus() const override { return Dali; }
        QString modelName() const override { return QStringLiteral("test_silent_gear"); }
    };
    sim::SimBusModelRegistry::instance().registerModel(QStringLiteral("test_silent_gear"),
        sim::SimBusModel::Dali,
        [](const QJsonObject& entry, QString* error) -> std::shared_ptr<sim::SimBusModel> {
            if (entry.contains(QStringLiteral("address"))
                && entry.value(QStringLiteral("address")).toInt() > 63) {
                *error = QStringLiteral("address above 63");
                return nullptr;
            }
            return std::make_shared<Silent>();
        });
    QString error;
    auto libUsb = SimBench::loadJson(
        R"({"boxes": [{"dali": [{"model": "test_silent_gear"}, {"model": "test_silent_gear", "address": 3}]}]})",
        &error);
    ASSERT_TRUE(libUsb) << error.toStdString();
    EXPECT_EQ(libUsb->boxes()[0]->busModelCount(), 2);
    // On the wrong bus, or with an entry the model refuses, the bench is refused.
    EXPECT_FALSE(SimBench::loadJson(R"({"boxes": [{"dmx": [{"model": "test_silent_gear"}]}]})", &error));
    EXPECT_FALSE(SimBench::loadJson(
        R"({"boxes": [{"dali": [{"model": "test_silent_gear", "address": 64}]}]})", &error));
    EXPECT_TRUE(
        error.contains(QStringLiteral("boxes[0].dali[0]: bus model \"test_silent_gear\": address above 63")))
        << error.toStdString();
}

TEST(SimSelection, EnvironmentChoosesTheBench)
{
    EnvironmentGuard guard;
    itf::setDefaultLibUsb(nullptr);

    qunsetenv(sim::BenchEnvironmentVariable);
    EXPECT_TRUE(sim::installBenchFromEnvironment());
    EXPECT_FALSE(std::dynamic_pointer_cast<sim::SimLibUsb>(itf::defaultLibUsb()));

    QTemporaryDir dir;
    const QString broken = dir.filePath(QStringLiteral("broken.json"));
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"boxes": [{"firmware": "new"}]})");
    file.close();
    qputenv(sim::BenchEnvironmentVariable, broken.toUtf8());
    QString error;
    EXPECT_FALSE(sim::installBenchFromEnvironment(&error));
    EXPECT_TRUE(error.contains(QStringLiteral("boxes[0].firmware"))) << error.toStdString();
    EXPECT_FALSE(std::dynamic_pointer_cast<sim::SimLibUsb>(itf::defaultLibUsb()));

    qputenv(sim::BenchEnvironmentVariable, defaultBenchPath().toUtf8());
    ASSERT_TRUE(sim::installBenchFromEnvironment(&error)) << error.toStdString();
    auto installed = std::dynamic_pointer_cast<sim::SimLibUsb>(itf::defaultLibUsb());
    ASSERT_TRUE(installed);
    EXPECT_EQ(installed, sim::installedBench());
    // A transport made now finds the bench's boxes.
    itf::LibUsbInterface transport;
    ASSERT_TRUE(transport.init());
    libusb_device** list = nullptr;
    EXPECT_EQ(transport.getLibUsb()->getDeviceList(transport.getContext(), &list), 2);
    transport.getLibUsb()->freeDeviceList(list, 1);
}
