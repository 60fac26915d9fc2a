#include "sim_test_support.h"

#include "dmx/sim_rdm_responder.h"
#include "dmx/sim_wystrel_driver.h"
#include "dorvane/sim_dorvane_driver.h"
#include "dorvane/sim_dorvane_slave_module.h"
#include "sim_bench.h"

using namespace tarvesk;
using sim::SimBench;

namespace {

std::shared_ptr<sim::SimVandrelBox> load(const QByteArray& json, QString* error)
{
    auto libUsb = SimBench::loadJson(json, error);
    return libUsb && !libUsb->boxes().empty() ? libUsb->boxes()[0] : nullptr;
}

// Every DMX and Dorvane model of the bench, with all its keys.
TEST(SimBusModelBench, DmxAndDorvaneModels)
{
    QString error;
    const auto box = load(R"({"boxes": [{"release": "0x1810", "subversion": 6, "dorvane_ram": {"16": 4},
        "dmx": [{"model": "wystrel_driver", "uid": "0x80000001", "version": 276, "product_id": 21, "oem_id": 2,
                 "skip_position": 1, "local_id": 0, "parameters": {"170": 105}, "unio_eeprom": [1, 2],
                 "dali_short_address": 3, "faults": {"silent": 1, "bad_checksum": 0, "error_flag": -1}},
                {"model": "rdm_responder", "uid": "0x7E2B00000043", "device_model_id": 7,
                 "software_version": "0x00020000", "model_description": "M", "manufacturer_label": "T",
                 "device_label": "L", "sensors": [{"type": 1, "unit": 2, "prefix": 1, "value": -120,
                 "description": "V"}]}],
        "dorvane": [{"model": "dorvane_driver", "version": 300, "corvalt": true, "parameters": {"16358": 32}},
                    {"model": "dorvane_legacy_driver", "version": 12, "subversion": 3},
                    {"model": "dv1_slave", "ram": {"28": "0x0114"}, "eeprom": [5]},
                    {"model": "dv2_slave", "index": 8, "ram": {"30": 258}}]}]})",
        &error);
    ASSERT_TRUE(box) << error.toStdString();
    EXPECT_EQ(box->busModelCount(), 6);
    EXPECT_EQ(box->dorvaneMode(), sim::SimDorvaneController::Mode::Dv1Device);
    EXPECT_TRUE(box->isDorvaneDriverConnected());
}

TEST(SimBusModelBench, RefusalsSayWhy)
{
    struct Case
    {
        const char* json;
        const char* error;
    };
    const Case cases[] = {
        {R"({"boxes": [{"dmx": [{"model": "wystrel_driver", "skip_position": 256}]}]})",
            "\"skip_position\" must be a number from 0 to 255"},
        {R"({"boxes": [{"dmx": [{"model": "wystrel_driver", "colour": 1}]}]})", "unknown key \"colour\""},
        {R"({"boxes": [{"dmx": [{"model": "wystrel_driver", "faults": {"silent": -2}}]}]})",
            "\"faults\": \"silent\""},
        {R"({"boxes": [{"dmx": [{"model": "wystrel_driver", "faults": {"late": 1}}]}]})",
            "\"faults\": \"late\""},
        {R"({"boxes": [{"dmx": [{"model": "rdm_responder", "uid": "0xFFFFFFFFFFFF"}]}]})", "\"uid\" must be"},
        {R"({"boxes": [{"dmx": [{"model": "rdm_responder", "sensors": [{"kind": 1}]}]}]})",
            "unknown key \"kind\""},
        {R"({"boxes": [{"dmx": [{"model": "rdm_responder", "sensors": [{"value": 32768}]}]}]})",
            "\"value\" must be a whole number from -32768 to 32767"},
        {R"({"boxes": [{"dmx": [{"model": "rdm_responder", "sensors": [{"value": -1.5}]}]}]})",
            "\"value\" must be a whole number from -32768 to 32767"},
        {R"({"boxes": [{"dorvane": [{"model": "dorvane_driver", "corvalt": 1}]}]})",
            "\"corvalt\" must be true or false"},
        {R"({"boxes": [{"dorvane": [{"model": "dv2_slave", "index": 9}]}]})",
            "\"index\" must be a number from 1 to 8"},
        {R"({"boxes": [{"dorvane": [{"model": "dv1_slave", "ram": {"x": 1}}]}]})", "\"ram\": \"x\""},
        {R"({"boxes": [{"dorvane": [{"model": "wystrel_driver"}]}]})",
            "unknown bus model \"wystrel_driver\""},
        {R"({"boxes": [{"parameters": {"2": 7}}]})", "unknown key \"parameters\""},
    };
    for (const Case& c : cases) {
        QString error;
        EXPECT_FALSE(load(c.json, &error)) << c.json;
        EXPECT_TRUE(error.contains(QString::fromLatin1(c.error))) << c.json << " -> " << error.toStdString();
    }
}

} // namespace
