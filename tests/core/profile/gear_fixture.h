#pragma once

#include "core/network_interface.h"
#include "core/parameters/parameter.h"
#include "core/profile/profile.h"
#include "core/profile/profile_type.h"
#include "core/step.h"
#include "core/universe.h"
#include "fake_dali_device.h"
#include "fake_product_database.h"

#include <QStringList>

#include <algorithm>
#include <memory>

namespace tarvesk::test {

// A DALI gear (device type 8) with a small profile type, and a profile of
// that type that wants: dimming_curve "linear" (priority 0), minimum_level 10
// (1), ntc_throttling_temperature 90 (2), fade_time 7 (3), power_on_level 200
// (4). The gear starts with logarithmic, 1, 85, 0, 254; a DALI reset puts
// back all of these except the temperature.
struct GearFixture
{
    // The device lacks the omitted parameters (they are in the profile type's
    // "LightShape" group, which a device without that capability leaves out).
    explicit GearFixture(const QStringList& omit = {})
    {
        using namespace core;
        QList<IParameter*> schema;
        auto add = [&](const QString& id, ParamType type, unsigned priority, QVariant initial) {
            auto* p = new Parameter(id, ITF_RES_BYTE, Parameter::PARAM_READ_WRITE);
            p->setParameterType(type);
            p->setPriorityLevel(priority);
            p->setAccessLevel(QStringLiteral("user_basic"));
            p->setGroup(omit.contains(id) ? QStringLiteral("LightShape") : QStringLiteral("Output"));
            p->setActualValue(initial);
            schema.append(p);
            return p;
        };
        Parameter* curve
            = add(QStringLiteral("dimming_curve"), PARAM_TYPE_ENUM, 0, QStringLiteral("logarithmic"));
        curve->setEnumOptions({QStringLiteral("logarithmic"), QStringLiteral("linear")});
        for (const auto& [id, priority, max] : {std::make_tuple("minimum_level", 1u, 254),
                 std::make_tuple("ntc_throttling_temperature", 2u, 120), std::make_tuple("fade_time", 3u, 15),
                 std::make_tuple("power_on_level", 4u, 254)}) {
            Parameter* p = add(QString::fromLatin1(id), PARAM_TYPE_NUMBER, priority, 0);
            p->setStepSize(0.1);
            p->setMinValue(0);
            p->setMaxValue(max);
        }
        add(QStringLiteral("light_shaping_dt8"), PARAM_TYPE_BOOLEAN, 0, true);
        add(QStringLiteral("dali_factory_reset"), PARAM_TYPE_NUMBER, 0, 0);
        add(QStringLiteral("light_shaping_active"), PARAM_TYPE_BOOLEAN, 0, false);
        add(QStringLiteral("light_shaping_settings"), PARAM_TYPE_STRING, 4, QString());
        add(QStringLiteral("light_shaping_cct_balance_curve"), PARAM_TYPE_NUMBER, 4, 0);
        add(QStringLiteral("light_shaping_default_forward_voltages"), PARAM_TYPE_STRING, 4, QString());
        type = database.addProfileType(QStringLiteral("000102_Gear_DALI"), schema);

        device = std::make_unique<FakeDaliDevice>(&universe);
        device->setProfileType(type);
        const QVariantMap reset = {{QStringLiteral("dimming_curve"), QStringLiteral("logarithmic")},
            {QStringLiteral("minimum_level"), 1}, {QStringLiteral("fade_time"), 0},
            {QStringLiteral("power_on_level"), 254}};
        device->setResetValues(reset);
        for (auto it = reset.cbegin(); it != reset.cend(); ++it)
            device->setGear(it.key(), it.value());
        device->setGear(QStringLiteral("ntc_throttling_temperature"), 85);
        for (const char* id : {"dali_factory_reset", "light_shaping_active", "light_shaping_settings",
                 "light_shaping_cct_balance_curve", "light_shaping_default_forward_voltages"})
            device->setGear(QString::fromLatin1(id), 0);

        profile = std::make_unique<Profile>(
            QStringLiteral("production"), QString(), type, QString(), 1, 2, QString(), 1, 0);
        for (auto it = profile->parameterBegin(); it != profile->parameterEnd(); ++it)
            it.value()->setEnabled(false);
        want(QStringLiteral("dimming_curve"), QStringLiteral("linear"));
        want(QStringLiteral("minimum_level"), 10);
        want(QStringLiteral("ntc_throttling_temperature"), 90);
        want(QStringLiteral("fade_time"), 7);
        want(QStringLiteral("power_on_level"), 200);
    }

    core::Parameter* inProfile(const QString& id) const
    {
        return qobject_cast<core::Parameter*>(profile->getParameter(id));
    }
    core::Parameter* onDevice(const QString& id) const
    {
        return qobject_cast<core::Parameter*>(device->getParameterInterface(id));
    }
    // The profile enables the parameter with that (raw) value.
    void want(const QString& id, const QVariant& value)
    {
        if (core::Parameter* p = inProfile(id)) {
            p->setEnabled(true);
            p->setValue(value, core::IParameter::UPDATE_NO);
        }
    }

    int run(bool readBack = true, bool validate = true)
    {
        return device->setProfile(profile.get(), QStringLiteral("user_basic"), root, readBack, validate);
    }

    // The step at a path of names separated by "/", or null.
    core::Step* find(const QString& path) const
    {
        const core::Step* step = &root;
        for (const QString& name : path.split(QLatin1Char('/'))) {
            const QList<core::Step*> children = step->children();
            auto it = std::find_if(children.begin(), children.end(),
                [&](core::Step* child) { return child->getName() == name; });
            if (it == children.end())
                return nullptr;
            step = *it;
        }
        return const_cast<core::Step*>(step);
    }
    QString resultOf(const QString& path) const
    {
        core::Step* step = find(path);
        return step ? step->getResult() : QStringLiteral("<no step>");
    }
    int count(const QString& path, const QString& name) const
    {
        core::Step* step = path.isEmpty() ? const_cast<core::Step*>(&root) : find(path);
        if (!step)
            return -1;
        const QList<core::Step*> children = step->children();
        return int(std::count_if(
            children.begin(), children.end(), [&](core::Step* child) { return child->getName() == name; }));
    }

    FakeProductDatabase database;
    core::Universe universe {
        QStringLiteral("DALI"), new core::NetworkInterface(core::ITF_TYPE_DALI), nullptr};
    core::ProfileType* type = nullptr;
    std::unique_ptr<FakeDaliDevice> device;
    std::unique_ptr<core::Profile> profile;
    core::Step root {QStringLiteral("ProfileSet")};
};

} // namespace tarvesk::test
