#include "core/core_errors.h"
#include "core/database/feature.h"
#include "core/database/feature_repository.h"
#include "core/parameters/dali/dali_memory_bank_parameter_repository.h"
#include "core/parameters/parameter.h"
#include "core/parameters/parameter_factory.h"
#include "core/profile/profile_type_parameters.h"
#include "core/script/feature_loader.h"

#include <QPointer>
#include <gtest/gtest.h>

using namespace tarvesk::core;

namespace {

ParameterData definition(const std::string& pid)
{
    ParameterData data;
    data.identifier = pid;
    data.displayName = "display " + pid;
    data.group = "D4i";
    return data;
}

} // namespace

TEST(FeatureRepositoryTest, D4iFeaturesAndTheirIds)
{
    auto repository = std::make_shared<FeatureRepository>();
    loadFeaturesForD4i(repository);
    loadFeaturesForD4i(repository); // the second set is dropped
    const std::pair<const char*, size_t> counts[]
        = {{"d4i_part_250_mb201", 3}, {"d4i_part_251_mb1_extension", 15}, {"d4i_part_252_mb202", 4},
            {"d4i_part_252_mb203", 4}, {"d4i_part_252_mb204", 4}, {"d4i_part_253_mb205", 19},
            {"d4i_part_253_mb206", 17}, {"d4i_part_253_mb207", 3}};
    size_t total = 0;
    for (const auto& [id, count] : counts) {
        EXPECT_EQ(repository->getFeature(id)->getParameterIds().size(), count) << id;
        total += count;
    }
    EXPECT_EQ(total, 69u);
    try {
        repository->getFeature("a\"b\\c");
        ADD_FAILURE();
    } catch (const FeatureError& e) {
        EXPECT_STREQ(e.what(), "FeatureRepository: Feature '\"a\\\"b\\\\c\"' not found");
    }
    Feature feature("f");
    feature.addParameterIds({"a", "b", "a"});
    EXPECT_EQ(feature.getParameterIds(), (std::vector<std::string> {"a", "b"}));
}

TEST(FeatureLoaderTest, AddsTheFeaturesParametersUnderDev0NamesOwnedByTheSchema)
{
    auto features = std::make_shared<FeatureRepository>();
    loadFeaturesForD4i(features);
    auto definitions = std::make_shared<DaliMemoryBankParameterRepository>();
    for (const char* pid : {"dali_250_dali_bus_power_supply_status", "dali_250_guaranteed_supply_current",
             "dali_250_maximum_supply_current", "dali_252_active_energy_scale_factor"})
        definitions->addParameter(definition(pid));
    FeatureLoader loader(features, definitions);

    QPointer<IParameter> added;
    {
        ProfileTypeParameters schema(nullptr, std::make_shared<ParameterFactory>());
        loader.loadFeature(&schema, nullptr, "d4i_part_250_mb201");
        QStringList ids;
        for (IParameter* p : schema.getList())
            ids << p->getIdentifier();
        EXPECT_EQ(ids,
            QStringList({"dev0_dali_250_dali_bus_power_supply_status",
                "dev0_dali_250_guaranteed_supply_current", "dev0_dali_250_maximum_supply_current"}));
        EXPECT_EQ(
            schema.getList().front()->getDisplayName(), "display dali_250_dali_bus_power_supply_status");
        added = schema.getList().front();

        // The second id of mb202 is unknown: the first parameter stays, the error names the pid.
        try {
            loader.loadFeature(&schema, nullptr, "d4i_part_252_mb202");
            ADD_FAILURE();
        } catch (const FeatureError& e) {
            EXPECT_STREQ(e.what(), "Parameter with pid dali_252_active_energy does not exist.");
        }
        EXPECT_TRUE(schema.getParameterInterface("dev0_dali_252_active_energy_scale_factor"));
        EXPECT_THROW(loader.loadFeature(&schema, nullptr, "no_such_feature"), FeatureError);
    }
    EXPECT_TRUE(added.isNull()); // freed with the schema, no leak
}
