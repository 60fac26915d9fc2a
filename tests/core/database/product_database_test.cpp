#include "core/core_errors.h"
#include "core/database/device_info_database.h"
#include "core/database/json_groups_repository.h"
#include "core/database/json_oem_repository.h"
#include "core/database/json_product_repository.h"
#include "log_capture.h"

#include <gtest/gtest.h>

using namespace tarvesk::core;
using Type = DeviceInfoDatabaseType;

namespace {

class ProductDatabaseTest : public ::testing::Test
{
protected:
    ProductDatabaseTest() { db.initializeRepositories(); }

    void load(Type type, const std::string& json) { db.initDataFromString(type, "f", json); }

    std::string errorOf(Type type, const std::string& json)
    {
        DeviceInfoDatabase fresh;
        fresh.initializeRepositories();
        try {
            fresh.initDataFromString(type, "f", json);
            fresh.resolveGroupsAndFeatures();
        } catch (const JsonParseError& e) {
            return e.what();
        }
        return "<no error>";
    }

    std::vector<std::string> featuresOf(unsigned char product)
    {
        const auto record = db.getProductRecord(0, 0, product, 1);
        return record ? record->getFeatures() : std::vector<std::string> {"<no record>"};
    }

    DeviceInfoDatabase db;
};

std::string product(const std::string& members)
{
    return R"({"products": [{"oem_id": 1, "product_id": 2, "device_class": 0, "name": "P", )" + members
        + "}]}";
}

} // namespace

TEST_F(ProductDatabaseTest, EveryDataFaultHasItsMessage)
{
    struct Case
    {
        Type type;
        std::string json;
        std::string message;
    };
    const Case cases[] = {
        {Type::product, "[1]", "[f] JSON is not an object"},
        {Type::product, "{}", "[f] JSON does not contain array \"products\""},
        {Type::product, R"({"products": 1})", "[f] JSON \"products\" is not an array"},
        {Type::product, R"({"products": [1]})", "[f] JSON products array contains non-object"},
        {Type::oem, R"({"oem": [1]})", "JSON oem array contains non-object"},
        {Type::oem, R"({"oem": [{"name": "A"}]})", "JSON oem object does not contain oem_id"},
        {Type::oem, R"({"oem": [{"oem_id": 1}]})", "JSON oem object does not contain name"},
        {Type::oem, R"({"oem": [{"oem_id": 300, "name": "A"}]})",
            "Value of oem_id in JSON oem object is out of range 0..255: 300"},
        {Type::oem, R"({"oem": [{"oem_id": 1, "name": 5}]})",
            "Value of name in JSON oem object is not a string"},
        {Type::product, R"({"products": [{"product_id": 2, "device_class": 0, "name": "P"}]})",
            "Can't find required oem_id in object with name P"},
        {Type::product, R"({"products": [{"oem_id": 1, "product_id": 2, "device_class": 0}]})",
            "Can't find required name in object with name "},
        {Type::product, R"({"products": [{"oem_id": 300, "product_id": 2, "device_class": 0, "name": "P"}]})",
            "Value of oem_id in object with name P is out of range 0..255: 300"},
        {Type::product, R"({"products": [{"oem_id": 1, "product_id": "2", "device_class": 0, "name": "P"}]})",
            "Value of product_id in object with name P is not an integer"},
        {Type::product, R"({"products": [{"oem_id": 1, "product_id": 2, "device_class": -1, "name": "P"}]})",
            "Value of device_class in object with name P is out of range 0..255: -1"},
        {Type::product, product(R"("min_version": 70000)"),
            "Value of min_version in object with name P is out of range 0..65535: 70000"},
        {Type::product, product(R"("min_version": 1.5)"),
            "Value of min_version in object with name P is not an integer"},
        {Type::product, product(R"("output_count": 1e300)"),
            "Value of output_count in object with name P is out of range 0..2147483647: "
            "1.0000000000000001e+300"},
        {Type::product, product(R"("is_imd": "yes")"),
            "Value of is_imd in object with name P is not a boolean"},
        {Type::product, product(R"("product_group": 3)"),
            "Value of product_group in object with name P is not a string"},
        {Type::product, product(R"("interface_type": "DALI")"),
            "Value of interface_type in object with name P is not an array"},
        {Type::product, product(R"("interface_type": ["DALI", 5])"),
            "Value of interface_type in object with name P contains a value that is not a string"},
        {Type::product, product(R"("form_factors": [{"datastore_value": 256, "name": "X"}])"),
            "Value of datastore_value in form factor of product P is out of range 0..255: 256"},
        {Type::product, product(R"("groups": [1])"), "Device 'P' : JSON group is not an object"},
        {Type::product, product(R"("groups": [{"name": "g"}])"),
            "Device 'P' : JSON group does not contain profile"},
        {Type::product, product(R"("groups": [{"profile": "nope"}])"), "Group 'nope' not found"},
        {Type::features, R"({"features": [1]})", "JSON feature array contains non-object"},
        {Type::features, R"({"features": [{"name": ["x"]}]})",
            "Value of name in JSON feature object is not a string"},
        {Type::groups, R"({"groups": [1]})", "JSON group array contains non-object"},
        {Type::groups, R"({"groups": [{"name": "g"}]})", "JSON group object does not contain \"dot_name\""},
        {Type::groups, R"({"groups": [{"dot_name": "g", "includes": "h"}]})",
            "Value of includes in JSON group object with dot_name g is not an array"},
        {Type::groups, R"({"groups": [{"dot_name": "g", "abstract": 1}]})",
            "Value of abstract in JSON group object with dot_name g is not a boolean"},
        {Type::groups, R"({"groups": [{"dot_name": "g", "includes": ["missing"]}]})",
            "Include group missing not found"},
        {Type::groups, R"({"groups": [{"dot_name": "a", "includes": ["a"]}]})",
            "Include cycle in group a: a -> a"},
        {Type::groups,
            R"({"groups": [{"dot_name": "a", "includes": ["b"]}, {"dot_name": "b", "includes": ["c"]},
                           {"dot_name": "c", "includes": ["a"]}]})",
            "Include cycle in group a: a -> b -> c -> a"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(errorOf(c.type, c.json), c.message) << c.json;

    EXPECT_EQ(errorOf(Type::oem, "{").rfind("[f] Failed to parse JSON:", 0), 0u);
}

TEST_F(ProductDatabaseTest, GroupSortingAndRepositorySlotFaults)
{
    const std::pair<std::string, std::string> sorting[] = {
        {"[", "Failed to parse JSON for group hello : "},
        {"[]", "JSON is not an object"},
        {"{}", "JSON does not contain group_sorting"},
        {R"({"group_sorting": {}})", "group_sorting is not an array"},
    };
    for (const auto& [json, message] : sorting) {
        try {
            db.initializeProductGroupSorting("hello", json);
            ADD_FAILURE() << json;
        } catch (const JsonParseError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(message, 0), 0u) << e.what();
        }
    }
    db.initializeProductGroupSorting("hello", R"({"group_sorting": ["B", 1, "A"]})");
    EXPECT_EQ(db.getGroupSorting(), (std::vector<std::string> {"B", "A"}));

    db.addRepository(Type::oem, nullptr);
    EXPECT_EQ(std::string([&] {
        try {
            load(Type::oem, R"({"oem": []})");
        } catch (const JsonParseError& e) {
            return std::string(e.what());
        }
        return std::string();
    }()),
        "JSON repository not found for type: 1");
    EXPECT_EQ(db.getOemRecord(1), nullptr); // lookups never throw
    db.addRepository(Type::oem, std::make_shared<JsonProductRepository>());
    try {
        db.getOemRepository();
        ADD_FAILURE();
    } catch (const JsonParseError& e) {
        EXPECT_STREQ(e.what(), "JSON repository is not of type JsonOemRepository");
    }
}

TEST_F(ProductDatabaseTest, VersionLookupPicksTheLargestMinimumVersionNotAboveTheDevice)
{
    load(Type::product, R"({"products": [
        {"oem_id": 1, "product_id": 2, "device_class": 3, "min_version": 512, "name": "v512"},
        {"oem_id": 1, "product_id": 2, "device_class": 3, "min_version": 0, "name": "v0"},
        {"oem_id": 1, "product_id": 2, "device_class": 3, "min_version": 256, "name": "v256"},
        {"oem_id": 1, "product_id": 3, "device_class": 3, "min_version": 256, "name": "only256"},
        {"oem_id": 1, "product_id": 3, "device_class": 3, "min_version": 512, "name": "only512"},
        {"oem_id": 1, "product_id": 4, "device_class": 3, "name": "default"}]})");
    const std::pair<std::pair<int, int>, std::string> cases[]
        = {{{2, 255}, "v0"}, {{2, 256}, "v256"}, {{2, 1000}, "v512"}, {{2, 0}, "v0"}, {{2, 65535}, "v512"},
            {{3, 100}, ""}, {{3, 511}, "only256"}, {{4, 0}, ""}, {{4, 1}, "default"}, {{5, 1000}, ""}};
    for (const auto& [query, name] : cases) {
        const auto record = db.getProductRecord(3, 1, uint8_t(query.first), uint16_t(query.second));
        EXPECT_EQ(record ? record->getProductName() : std::string(), name)
            << query.first << " v" << query.second;
    }
    EXPECT_EQ(db.getProductRepository()->getMaximumMinVersion(3, 1, 2, 300), 256);
    EXPECT_EQ(db.getProductRepository()->getMaximumMinVersion(3, 1, 3, 100), 0);
    EXPECT_EQ(db.getProductRecord(2, 1, 2, 1000), nullptr); // another class
}

TEST_F(ProductDatabaseTest, FirstEntryOfAKeyWinsAcrossFilesAndListsAccumulate)
{
    load(Type::product, product(R"("min_version": 1, "output_count": 1)"));
    load(Type::product, R"({"products": [{"oem_id": 1, "product_id": 2, "device_class": 0, "name": "Q"}]})");
    load(Type::product, R"({"products": []})");
    load(Type::oem,
        R"({"oem": [{"oem_id": 1, "name": "First"}, {"oem_id": 1, "name": "Second", "rdm_id": 5}]})");
    EXPECT_EQ(db.getProductRecord(0, 1, 2, 1)->getProductName(), "P");
    EXPECT_EQ(db.getOemRecord(1)->getName(), "First");
    EXPECT_EQ(db.getOemRecord(1)->getRdmId(), 0);

    std::vector<std::shared_ptr<DeviceInfoRecord>> list;
    db.getProductList(list);
    db.getProductList(list);
    EXPECT_EQ(list.size(), 2u);
}

TEST_F(ProductDatabaseTest, RecordFieldsFollowTheirJsonKeys)
{
    tarvesk::test::LogCapture log;
    load(Type::product, product(R"("nordhune_count": 2, "is_imd": true, "single_channel_version": 10,
        "aux_version": 3, "product_group": "G", "profile_support": true, "interface_type": ["DALI", "DMX"],
        "form_factors": [5, {"name": "no value"}, {"datastore_value": 1, "name": "A"},
                         {"datastore_value": 1, "name": "B"}, {"datastore_value": 2}],
        "extra": "for scripts")"));
    const auto r = db.getProductRecord(0, 1, 2, 1);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->getOutputCount(), 0); // absent key: 0, not the record's own default
    EXPECT_EQ(r->getNordhuneCount(), 2);
    EXPECT_TRUE(r->isImd());
    EXPECT_EQ(r->getSingleChannelVersion(), 10);
    EXPECT_EQ(r->getAuxVersion(), 3);
    EXPECT_EQ(r->getProductGroup(), "G");
    EXPECT_TRUE(r->hasProfileSupport());
    EXPECT_EQ(r->getMinimumVersion(), 1);
    EXPECT_EQ(r->getInterfaceTypes(), (std::vector<std::string> {"DALI", "DMX"}));
    EXPECT_EQ(r->getFormFactorName(1), "B");
    EXPECT_EQ(r->getFormFactorName(2), "");
    EXPECT_EQ(log.count("Duplicate index '1' in form factor map"), 1);
    EXPECT_EQ(r->getAttribute("extra"), QVariant(QString("for scripts")));
}

TEST_F(ProductDatabaseTest, IncludesResolveDepthFirstAcrossFiles)
{
    load(Type::groups, R"({"groups": [{"dot_name": "a", "features": ["a1"], "includes": ["b"]},
                                      {"dot_name": "d", "features": ["d1"], "includes": ["b", "c"]}]})");
    load(Type::groups, R"({"groups": [{"dot_name": "b", "features": ["b1"], "includes": ["c"]},
                                      {"dot_name": "c", "features": ["c1"], "abstract": true},
                                      {"dot_name": "a", "features": ["dropped"]}]})");
    load(Type::product, R"({"products": [
        {"oem_id": 0, "product_id": 1, "device_class": 0, "name": "A", "groups": [{"profile": "a"}]},
        {"oem_id": 0, "product_id": 2, "device_class": 0, "name": "D", "groups": [{"profile": "d"}]},
        {"oem_id": 0, "product_id": 3, "device_class": 0, "name": "Two", "groups": [{"profile": "d"}, {"profile": "c"}]},
        {"oem_id": 0, "product_id": 4, "device_class": 0, "name": "None"}]})");
    db.resolveGroupsAndFeatures();
    using V = std::vector<std::string>;
    EXPECT_EQ(db.getGroupRepository()->getById("b")->getFeatures(), (V {"b1", "c1"}));
    EXPECT_EQ(featuresOf(1), (V {"a1", "b1", "c1"}));
    EXPECT_EQ(featuresOf(2), (V {"d1", "b1", "c1", "c1"})); // reached twice, listed twice
    EXPECT_EQ(featuresOf(3), (V {"c1"}));                   // the last group named wins
    EXPECT_EQ(featuresOf(4), V {});
    EXPECT_EQ(db.getProductRecord(0, 0, 1, 1)->getGroups(), V {"a"});
}
