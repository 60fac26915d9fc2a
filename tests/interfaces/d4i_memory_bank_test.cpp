#include "sim_bus_dali_interface.h"

#include "core/core_errors.h"
#include "core/parameter_action_repository.h"
#include "core/parameters/dali/dali_memory_bank_parameter_repository.h"
#include "core/parameters/parameter.h"
#include "dali/sim_dali_gear.h"
#include "interfaces/dali_memory_bank_actions.h"
#include "interfaces/dali_memory_bank_utility.h"

#include <gtest/gtest.h>

using namespace tarvesk;
using core::IParameter;
using core::Parameter;
using core::ParameterError;

namespace {

// Bytes of a D4i bank from location 3 on.
QByteArray bankData(std::initializer_list<int> bytes)
{
    QByteArray data;
    for (int b : bytes)
        data.append(char(b));
    return data;
}

// Two D4i gear on one line (short addresses 3 and 4), and the catalogue's
// parameters of each, read and written through the memory-bank actions as a
// DALI device wires them: its actions go to its own address.
struct D4iOnGear : ::testing::Test
{
    sim::SimDaliBus bus;
    test::SimBusDaliInterface dali {bus};
    std::shared_ptr<sim::SimDaliGear> gear[2];
    core::ParameterActionRepository actions[2];
    core::DaliMemoryBankParameterRepository catalogue;

    void SetUp() override
    {
        for (int i = 0; i < 2; ++i) {
            sim::SimDaliGearConfig config;
            config.shortAddress = 3 + i;
            gear[i] = std::make_shared<sim::SimDaliGear>(config);
            addD4iBank(*gear[i], 1, QByteArray(117, '\0'));
            bus.addGear(gear[i]);
            itf::addActionsForDaliInterfaceToRepository(
                actions[i], dali.getDaliBridge(), quint8(2 * (3 + i) + 1));
        }
        auto definitions = std::shared_ptr<core::IParameterRepository>(&catalogue, [](auto*) {});
        core::loadDaliMemoryBanksForPart250(definitions);
        core::loadDaliMemoryBanksForPart251(definitions);
        core::loadDaliMemoryBanksForPart252(definitions);
        core::loadDaliMemoryBanksForPart253(definitions);
    }

    static void addD4iBank(sim::SimDaliGear& g, quint8 number, const QByteArray& data)
    {
        g.memory().addBank(number, data,
            sim::SimDaliMemoryBanks::d4iWritable(number, data.size()).value_or(std::vector<bool>()));
    }

    // The parameter of gear i, its callbacks running the named actions.
    std::unique_ptr<Parameter> parameter(int i, const char* pid)
    {
        auto p = std::make_unique<Parameter>(catalogue.getParameterData(pid));
        const core::ParameterActionRepository& own = actions[i];
        p->registerGetCallback([&own](Parameter* self) {
            return own.getAction(self->getParameterActionData().readAction)->execute(self, QVariant());
        });
        p->registerSetCallback([&own](Parameter* self, QVariant value) {
            return own.getAction(self->getParameterActionData().writeAction)->execute(self, value);
        });
        return p;
    }
    QVariant read(int i, const char* pid)
    {
        auto p = parameter(i, pid);
        QVariant raw;
        EXPECT_EQ(p->getValue(raw, IParameter::UPDATE_YES), 0) << pid;
        return p->getScaledValue();
    }
    void write(int i, const char* pid, const QVariant& value)
    {
        auto p = parameter(i, pid);
        EXPECT_EQ(p->setScaledValue(value, IParameter::UPDATE_YES), 0) << pid;
    }
};

TEST_F(D4iOnGear, WritingOneGearsLuminaireDataLeavesTheOtherAlone)
{
    write(0, "dali_251_luminaire_identification", QStringLiteral("Hall 3, north"));
    write(0, "dali_251_cct", 2700);
    write(0, "dali_251_luminaire_identification_number", QStringLiteral("18446744073709551614"));

    EXPECT_EQ(read(0, "dali_251_luminaire_identification"), QVariant(QStringLiteral("Hall 3, north")));
    EXPECT_EQ(read(0, "dali_251_cct").toDouble(), 2700.0);
    const QVariant id = read(0, "dali_251_luminaire_identification_number");
    EXPECT_EQ(id.userType(), QMetaType::ULongLong);
    EXPECT_EQ(id.toULongLong(), 18446744073709551614ull);

    EXPECT_EQ(read(1, "dali_251_luminaire_identification"), QVariant(QString()));
    EXPECT_EQ(read(1, "dali_251_cct").toDouble(), 0.0);
    EXPECT_EQ(read(1, "dali_251_luminaire_identification_number").toDouble(), 0.0);
    // The gear's own bytes, to be sure it is not the parameter that remembers.
    EXPECT_EQ(gear[0]->memory().read(1, 9), 0xFF);
    EXPECT_EQ(gear[0]->memory().read(1, 16), 0xFE);
    EXPECT_EQ(gear[1]->memory().read(1, 16), 0x00);
}

TEST_F(D4iOnGear, ALatchedReadOfAnAdvancingCounterGivesOneValue)
{
    // 0x00000000FFFB Wh, one more at every read of the bank.
    addD4iBank(*gear[0], 202, bankData({1, 0, 0, 0, 0, 0, 0xFF, 0xFB, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(gear[0]->memory().setAdvancingCounter(202, 5, 6, 1));

    // Read without the latch, the carry falls between the last two bytes.
    itf::DaliMemoryBankUtility raw(dali.getDaliBridge());
    raw.selectMemoryBankAndAddress(202, 5);
    quint64 torn = 0;
    for (int i = 0; i < 6; ++i)
        torn = (torn << 8) | raw.readMemoryLocation(0x07).value_or(0);
    EXPECT_EQ(torn, 0xFF00u); // never held: it counted 0xFFFB to 0x10000

    // Through the parameter: the value at the latch (0x10001 after those six reads).
    EXPECT_EQ(read(0, "dali_252_active_energy").toDouble(), double(0x10001));
    EXPECT_EQ(read(0, "dali_252_active_energy").toDouble(), double(0x10001 + 6));
    // Released again: the lock byte holds its locked value and the gear counted on.
    EXPECT_EQ(gear[0]->memory().read(202, 2), 0xFF);
    EXPECT_EQ(gear[0]->memory().read(202, 10), quint8(0x10001 + 12 + 1));
    // Single bytes need no latch: a scale factor is read on its own.
    EXPECT_EQ(read(0, "dali_252_active_energy_scale_factor").toDouble(), 0.0);
}

TEST_F(D4iOnGear, ABankTheGearLacksIsAnErrorNotAValue)
{
    auto lifetime = parameter(1, "dali_253_rated_median_luminaire_lifetime");
    lifetime->setActualValue(17);
    QVariant value;
    EXPECT_THROW(lifetime->getValue(value, IParameter::UPDATE_YES), ParameterError);
    EXPECT_EQ(lifetime->getActualValue().toInt(), 17);
    EXPECT_FALSE(value.isValid());
    // The energy bank's latch goes unanswered too.
    auto energy = parameter(1, "dali_252_active_energy");
    EXPECT_THROW(energy->getValue(value, IParameter::UPDATE_YES), ParameterError);
    // And a write changes nothing.
    EXPECT_THROW(lifetime->setScaledValue(5, IParameter::UPDATE_YES), ParameterError);
    EXPECT_EQ(lifetime->getActualValue().toInt(), 17);
}

TEST_F(D4iOnGear, ReadOnlyFieldsAndReservedCodesOfTheGear)
{
    addD4iBank(*gear[0], 206,
        bankData({1, 0, 0, 12, 0, 0, 42, 0, 0, 0x0E, 0x10, 0, 1, 0x51, 0x80, 0x01, 0x90, 0x01, 0xF4, 0, 0, 0,
            0, 0xFE, 0xFE, 0, 0, 0, 0, 0xFF}));
    EXPECT_EQ(read(0, "dali_253_light_source_start_counter_resettable").toDouble(), 12.0);
    write(0, "dali_253_light_source_start_counter_resettable", 0);
    EXPECT_EQ(read(0, "dali_253_light_source_start_counter_resettable").toDouble(), 0.0);
    EXPECT_DOUBLE_EQ(read(0, "dali_253_light_source_voltage").toDouble(), 40.0);
    EXPECT_EQ(read(0, "dali_253_light_source_open_circuit"), QVariant(QStringLiteral("Unavailable")));
    EXPECT_EQ(read(0, "dali_253_light_source_short_circuit"), QVariant(false));
    EXPECT_EQ(read(0, "dali_253_light_source_temperature"), QVariant(QStringLiteral("Unsupported")));

    // The gear itself refuses a write where the catalogue would not send one.
    auto counter = parameter(0, "dali_253_light_source_start_counter");
    counter->registerSetCallback([this](Parameter* self, QVariant value) {
        return actions[0].getAction("memory_bank_write_integer")->execute(self, value);
    });
    EXPECT_THROW(counter->setScaledValue(0, IParameter::UPDATE_YES), ParameterError);
    EXPECT_EQ(read(0, "dali_253_light_source_start_counter").toDouble(), 42.0);
}

} // namespace
