#include "scripted_dali_interface.h"
#include "sim_bus_dali_interface.h"

#include "core/core_errors.h"
#include "core/parameter_action_repository.h"
#include "core/parameters/dali/idali_memory_bank.h"
#include "core/parameters/dali/memory_bank_read_action.h"
#include "core/parameters/dali/memory_bank_write_action.h"
#include "core/parameters/dali/memory_block_integer_converter.h"
#include "core/parameters/parameter.h"
#include "interfaces/dali_memory_bank_actions.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace tarvesk;
using core::MemoryBankReadAction;
using core::MemoryBankWriteAction;
using core::Parameter;
using core::ParameterActionRepository;
using core::ParameterError;
using test::ScriptedDaliInterface;

namespace {

std::unique_ptr<Parameter> memoryParameter(
    core::ParamType type, std::uint32_t location, const char* read, const char* write)
{
    core::ParameterData data;
    data.identifier = "dali_field";
    data.type = type;
    data.daliMemoryBankData = location;
    data.readAction = read;
    data.writeAction = write;
    return std::make_unique<Parameter>(data);
}

// A memory bank that records its calls and gives a planned result.
struct FakeMemoryBank : itf::IDaliMemoryBank
{
    itf::MemoryBlockResult result;
    std::vector<std::vector<int>> calls;

    itf::MemoryBlockResult readMemoryBlock(std::uint8_t address, std::uint8_t bank, std::uint8_t location,
        std::uint8_t count, bool stopAtZero) override
    {
        calls.push_back({address, bank, location, count, stopAtZero});
        return result;
    }
    itf::MemoryBlockResult writeMemoryBlock(std::uint8_t address, std::uint8_t bank, std::uint8_t location,
        std::vector<std::uint8_t> bytes) override
    {
        std::vector<int> call {address, bank, location};
        call.insert(call.end(), bytes.begin(), bytes.end());
        calls.push_back(call);
        return result;
    }
};

TEST(MemoryBankActions, ReadDecodesTheLocationWord)
{
    auto bank = std::make_shared<FakeMemoryBank>();
    bank->result = {0, {0x01, 0x02}};
    MemoryBankReadAction action(bank, std::make_shared<core::MemoryBlockIntegerConverter>());
    EXPECT_EQ(action.getName(), "memory_bank_read_integer");
    auto parameter = memoryParameter(core::PARAM_TYPE_NUMBER, 0x0206CF01, "memory_bank_read_integer", "");
    EXPECT_EQ(action.execute(parameter.get(), QVariant()), 0);
    EXPECT_EQ(bank->calls, (std::vector<std::vector<int>> {{0xFF, 207, 6, 2, 0}}));
    EXPECT_EQ(parameter->getActualValue().toULongLong(), 258u);

    // A failed read throws and keeps the value.
    bank->result = {-42, {}};
    try {
        action.execute(parameter.get(), QVariant());
        FAIL() << "no exception";
    } catch (const ParameterError& e) {
        EXPECT_STREQ(e.what(), "Error reading memory block: -42");
    }
    EXPECT_EQ(parameter->getActualValue().toULongLong(), 258u);
}

TEST(MemoryBankActions, WriteConvertsFirstAndStoresOnlyOnSuccess)
{
    auto bank = std::make_shared<FakeMemoryBank>();
    MemoryBankWriteAction action(bank, std::make_shared<core::MemoryBlockIntegerConverter>(), 0x07);
    auto parameter = memoryParameter(core::PARAM_TYPE_NUMBER, 0x0204CF01, "", "memory_bank_write_integer");
    EXPECT_EQ(action.execute(parameter.get(), QVariant(0x1234)), 0);
    EXPECT_EQ(bank->calls.back(), (std::vector<int> {0x07, 207, 4, 0x12, 0x34}));
    EXPECT_EQ(parameter->getActualValue().toInt(), 0x1234);

    bank->calls.clear();
    EXPECT_THROW(action.execute(parameter.get(), QVariant(QStringLiteral("x"))), ParameterError);
    EXPECT_TRUE(bank->calls.empty()); // nothing written

    bank->result = {-43, {}};
    try {
        action.execute(parameter.get(), QVariant(7));
        FAIL() << "no exception";
    } catch (const ParameterError& e) {
        EXPECT_STREQ(e.what(), "Error writing to memory bank: -43");
    }
    EXPECT_EQ(parameter->getActualValue().toInt(), 0x1234);

    // In doubt: the status travels with the exception, and the text says where.
    bank->result = {-21, {}, "writing bank 207, location 4 was in doubt"};
    try {
        action.execute(parameter.get(), QVariant(7));
        FAIL() << "no exception";
    } catch (const core::MemoryBlockInDoubt& e) {
        EXPECT_EQ(e.status(), -21);
        EXPECT_STREQ(
            e.what(), "Error writing to memory bank: -21 (writing bank 207, location 4 was in doubt)");
    }
}

TEST(MemoryBankActions, NullPartsAreRefused)
{
    auto converter = std::make_shared<core::MemoryBlockIntegerConverter>();
    auto bank = std::make_shared<FakeMemoryBank>();
    try {
        MemoryBankReadAction(nullptr, nullptr);
        FAIL() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Memory bank is null");
    }
    try {
        MemoryBankWriteAction(bank, nullptr);
        FAIL() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Memory block converter is null");
    }
}

TEST(MemoryBankActions, RegistrationReplacesTheSixActions)
{
    ScriptedDaliInterface first, second;
    ParameterActionRepository repository;
    itf::addActionsForDaliInterfaceToRepository(repository, first.getDaliBridge());
    itf::addActionsForDaliInterfaceToRepository(repository, second.getDaliBridge());
    EXPECT_EQ(repository.count(), 6);
    for (const char* name :
        {"memory_bank_read_integer", "memory_bank_write_integer", "memory_bank_read_string",
            "memory_bank_write_string", "memory_bank_read_bool", "memory_bank_write_bool"})
        ASSERT_TRUE(repository.getAction(name)) << name;

    // Every action now works over the second interface.
    auto parameter = memoryParameter(core::PARAM_TYPE_NUMBER, 0x0109CF01, "", "");
    EXPECT_THROW(repository.getAction("memory_bank_read_integer")->execute(parameter.get(), QVariant()),
        ParameterError);
    EXPECT_TRUE(first.sent.empty());
    EXPECT_EQ(second.journal(), (QStringList {"C3 CF", "A3 09", "FF C5 ?"}));
}

// The actions against standard gear: two on one bus, the device addressed by its own address.
struct MemoryBankOnGear : ::testing::Test
{
    sim::SimDaliBus bus;
    test::SimBusDaliInterface dali {bus};
    ParameterActionRepository repository;
    std::shared_ptr<sim::SimDaliGear> gear;

    void SetUp() override
    {
        for (int shortAddress : {3, 4}) {
            sim::SimDaliGearConfig config;
            config.shortAddress = shortAddress;
            config.identity.firmwareMajor = quint8(shortAddress);
            auto g = std::make_shared<sim::SimDaliGear>(config);
            g->memory().addBank(1, QByteArray(8, '\0'));
            bus.addGear(g);
            if (shortAddress == 3)
                gear = g;
        }
        itf::addActionsForDaliInterfaceToRepository(repository, dali.getDaliBridge(), 0x07);
    }
};

TEST_F(MemoryBankOnGear, TextWrittenIsReadBack)
{
    auto text = memoryParameter(
        core::PARAM_TYPE_STRING, 0x06030101, "memory_bank_read_string", "memory_bank_write_string");
    EXPECT_EQ(
        repository.getAction("memory_bank_write_string")->execute(text.get(), QStringLiteral("LED")), 0);
    text->setValue(QString(), core::IParameter::UPDATE_NO);
    EXPECT_EQ(repository.getAction("memory_bank_read_string")->execute(text.get(), QVariant()), 0);
    EXPECT_EQ(
        text->getActualValue().toString(), QStringLiteral("LED")); // read up to the terminator, without it

    auto version = memoryParameter(core::PARAM_TYPE_NUMBER, 0x01090001, "memory_bank_read_integer", "");
    EXPECT_EQ(repository.getAction("memory_bank_read_integer")->execute(version.get(), QVariant()), 0);
    EXPECT_EQ(version->getActualValue().toInt(), 3); // gear 3's, not gear 4's
}

TEST_F(MemoryBankOnGear, ReadOnlyBankFailsTheWrite)
{
    auto gtin = memoryParameter(core::PARAM_TYPE_NUMBER, 0x06030001, "", "memory_bank_write_integer");
    try {
        repository.getAction("memory_bank_write_integer")->execute(gtin.get(), QVariant(1));
        FAIL() << "no exception";
    } catch (const ParameterError& e) {
        EXPECT_STREQ(e.what(), "Error writing to memory bank: -42"); // bank 0 has no lock byte to open
    }
}

} // namespace
