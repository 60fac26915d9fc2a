#include "core/core_errors.h"
#include "core/database/feature.h"
#include "core/database/feature_repository.h"
#include "core/parameters/dali/dali_memory_bank_parameter_repository.h"

#include <gtest/gtest.h>

#include <map>

using namespace tarvesk::core;

namespace {

// Keeps the records in the order they were added, and stores them in the real repository.
struct RecordingRepository : IParameterRepository
{
    DaliMemoryBankParameterRepository store;
    std::vector<ParameterData> added;

    ParameterData getParameterData(const std::string& pid) const override
    {
        return store.getParameterData(pid);
    }
    void addParameter(const ParameterData& data) override
    {
        store.addParameter(data);
        added.push_back(data);
    }
};

struct Place
{
    unsigned bank, offset, length;
};

Place placeOf(const ParameterData& data)
{
    return {(data.daliMemoryBankData >> 8) & 0xFF, (data.daliMemoryBankData >> 16) & 0xFF,
        data.daliMemoryBankData >> 24};
}

template <typename F> std::string errorOf(F&& f)
{
    try {
        f();
    } catch (const ParameterError& e) {
        return e.what();
    }
    return "no error";
}

TEST(D4iCatalogue, EachLoaderAddsItsBanksInFeatureOrder)
{
    auto features = std::make_shared<FeatureRepository>();
    loadFeaturesForD4i(features);
    auto ids = [&](const char* feature) { return features->getFeature(feature)->getParameterIds(); };

    using Loader = void (*)(const std::shared_ptr<IParameterRepository>&);
    const struct
    {
        Loader load;
        std::vector<const char*> features;
    } parts[] = {
        {loadDaliMemoryBanksForPart250, {"d4i_part_250_mb201"}},
        {loadDaliMemoryBanksForPart251, {"d4i_part_251_mb1_extension"}},
        {loadDaliMemoryBanksForPart252, {"d4i_part_252_mb202", "d4i_part_252_mb203", "d4i_part_252_mb204"}},
        {loadDaliMemoryBanksForPart253, {"d4i_part_253_mb205", "d4i_part_253_mb206", "d4i_part_253_mb207"}},
    };
    auto all = std::make_shared<RecordingRepository>();
    size_t total = 0;
    for (const auto& part : parts) {
        auto repository = std::make_shared<RecordingRepository>();
        part.load(repository);
        part.load(all);
        std::vector<std::string> expected;
        for (const char* feature : part.features) {
            const auto pids = ids(feature);
            expected.insert(expected.end(), pids.begin(), pids.end());
        }
        std::vector<std::string> got;
        for (const ParameterData& data : repository->added)
            got.push_back(data.identifier);
        // The bus power feature names the status first; the table has it last.
        if (part.load == loadDaliMemoryBanksForPart250)
            std::rotate(expected.begin(), expected.begin() + 1, expected.end());
        EXPECT_EQ(got, expected);
        total += got.size();
    }
    EXPECT_EQ(total, 3u + 15u + 12u + 39u);
    // Every pid of every feature is defined once the four loaders ran.
    for (const char* feature :
        {"d4i_part_250_mb201", "d4i_part_251_mb1_extension", "d4i_part_252_mb202", "d4i_part_252_mb203",
            "d4i_part_252_mb204", "d4i_part_253_mb205", "d4i_part_253_mb206", "d4i_part_253_mb207"})
        for (const std::string& pid : ids(feature))
            EXPECT_NO_THROW(all->getParameterData(pid)) << pid;
}

TEST(D4iCatalogue, RecordsTileTheirBanksWithoutGapsOrOverlaps)
{
    auto repository = std::make_shared<RecordingRepository>();
    loadDaliMemoryBanksForPart250(repository);
    loadDaliMemoryBanksForPart251(repository);
    loadDaliMemoryBanksForPart252(repository);
    loadDaliMemoryBanksForPart253(repository);

    // First and last byte of each bank's catalogued data; the records follow
    // one another in the table's order.
    const std::map<unsigned, std::pair<unsigned, unsigned>> span = {{1, {3, 119}}, {201, {4, 6}},
        {202, {4, 15}}, {203, {4, 15}}, {204, {4, 15}}, {205, {4, 28}}, {206, {4, 32}}, {207, {4, 7}}};
    std::map<unsigned, unsigned> next;
    std::map<unsigned, std::string> group;
    for (const ParameterData& data : repository->added) {
        const Place place = placeOf(data);
        SCOPED_TRACE(data.identifier);
        ASSERT_TRUE(span.count(place.bank));
        EXPECT_EQ(data.daliMemoryBankData & 0xFF, 0x01u);
        EXPECT_EQ(place.offset, next.count(place.bank) ? next[place.bank] : span.at(place.bank).first);
        next[place.bank] = place.offset + place.length;
        if (!group.count(place.bank))
            group[place.bank] = data.group;
        EXPECT_EQ(data.group, group[place.bank]);
        EXPECT_EQ(data.accessLevel, "user_basic");
        EXPECT_EQ(data.tags, std::vector<std::string> {"D4i"});
        EXPECT_EQ(data.stepSize, 1.0);
        const char* converter = data.type == PARAM_TYPE_STRING ? "string"
            : data.type == PARAM_TYPE_BOOLEAN                  ? "bool"
                                                               : "integer";
        EXPECT_EQ(data.readAction, std::string("memory_bank_read_") + converter);
        if (!data.writeAction.empty()) {
            EXPECT_EQ(data.writeAction, std::string("memory_bank_write_") + converter);
        }
    }
    for (const auto& [bank, range] : span)
        EXPECT_EQ(next[bank], range.second + 1) << "bank " << bank;

    // The location words the tables spell out.
    const std::pair<const char*, std::uint32_t> words[] = {
        {"dali_250_maximum_supply_current", 0x0105C901},
        {"dali_251_luminaire_manufacturer_gtin", 0x06030101},
        {"dali_251_cct", 0x02210101},
        {"dali_251_luminaire_colour", 0x18240101},
        {"dali_251_luminaire_identification", 0x3C3C0101},
        {"dali_253_light_source_start_counter_resettable", 0x0304CE01},
        {"dali_253_light_source_temperature", 0x0120CE01},
        {"dali_253_rated_median_luminaire_lifetime", 0x0104CF01},
    };
    for (const auto& [pid, word] : words)
        EXPECT_EQ(repository->getParameterData(pid).daliMemoryBankData, word) << pid;

    // Read-only where the standard keeps the data to the gear.
    std::vector<std::string> writable;
    for (const ParameterData& data : repository->added)
        if (!data.writeAction.empty() && placeOf(data).bank != 1)
            writable.push_back(data.identifier);
    EXPECT_EQ(writable,
        (std::vector<std::string> {"dali_250_dali_bus_power_supply_status",
            "dali_253_light_source_start_counter_resettable", "dali_253_light_source_on_time_resettable",
            "dali_253_rated_median_luminaire_lifetime",
            "dali_253_internal_control_gear_reference_temperature",
            "dali_253_rated_median_light_source_restarts"}));
}

TEST(D4iCatalogue, ADuplicatePidIsRefusedAndStopsItsLoader)
{
    auto repository = std::make_shared<RecordingRepository>();
    loadDaliMemoryBanksForPart252(repository);
    EXPECT_EQ(errorOf([&] { loadDaliMemoryBanksForPart252(repository); }),
        "Parameter with pid dali_252_active_energy_scale_factor already exists.");
    EXPECT_EQ(repository->added.size(), 12u);
    EXPECT_EQ(
        repository->getParameterData("dali_252_active_energy_scale_factor").daliMemoryBankData, 0x0104CA01u);

    // The IEC 62386-253 loader stops inside bank 206: what comes before stays, the rest never arrives.
    ParameterData clash;
    clash.identifier = "dali_253_light_source_voltage";
    clash.displayName = "first";
    repository->addParameter(clash);
    EXPECT_EQ(errorOf([&] { loadDaliMemoryBanksForPart253(repository); }),
        "Parameter with pid dali_253_light_source_voltage already exists.");
    EXPECT_EQ(repository->getParameterData("dali_253_light_source_voltage").displayName, "first");
    EXPECT_NO_THROW(repository->getParameterData("dali_253_light_source_on_time"));
    for (const char* absent : {"dali_253_light_source_current", "dali_253_rated_median_luminaire_lifetime"})
        EXPECT_EQ(errorOf([&] { repository->getParameterData(absent); }),
            std::string("Parameter with pid ") + absent + " does not exist.");
}

} // namespace
