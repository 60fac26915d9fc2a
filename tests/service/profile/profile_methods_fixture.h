#pragma once

#include "core/device_manager.h"
#include "core/file/application_data_folder.h"
#include "core/parameters/parameter.h"
#include "core/profile/profile_manager.h"
#include "fake_product_database.h"
#include "method_call.h"
#include "plain_device.h"
#include "service/rpc/rpc_methods/rpc_method.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace tarvesk::test {

// A product database with one profile type of a small driver, the profile
// folder in a temporary application data folder, and an empty store.
class ProfileMethods : public ::testing::Test
{
protected:
    static constexpr const char* typeName = "000a2b_Lumo 40W_DMX";

    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        core::ApplicationDataFolder::fix(tmp.filePath("app"));
        database = std::make_shared<FakeProductDatabase>();
        type = database->addProfileType(QString::fromLatin1(typeName),
            {
                number("output_current", "Output", "Output current", "user_basic", 100, 1000, 50, 500),
                number("dim_level", "Output", "Dim level", "user_basic", 0, 100, 150, 20),
                number("light_shaping_settings", "Output", "Curve data", "user_basic", 0, 255, 1, 9),
                number("light_shaping_active", "LightShape", "Active", "user_basic", 0, 1, 0, 1),
                number("fade_time", "Fading", "Fade time", "user_detailed", 0, 15, 7, 3),
                number("pending", "Config", "Pending", "user_advanced", 0, 9, 0, 0),
                number("secret", "Config", "Secret", "dev", 0, 9, 0, 0),
                number("version", "Info", "Version", "dev", 0, 65535, 0, 271),
                disabled(number("unused", "Config", "Unused", "user_basic", 0, 9, 0, 0)),
            });
        database->addProfileType(QStringLiteral("000000_Empty_DMX"), {});
        service::AbstractRpcMethod::setDatabase(database);
    }

    void TearDown() override
    {
        core::ProfileManager::instance().SetProfileArray(nullptr, QJsonArray());
        if (device)
            core::DeviceManager::instance().remove(device, true);
        service::AbstractRpcMethod::setDatabase(nullptr);
        core::ApplicationDataFolder::release();
    }

    static core::Parameter* number(const char* id, const char* group, const char* displayName,
        const char* level, int min, int max, int defaultValue, int value)
    {
        auto* p = new core::Parameter(
            QString::fromLatin1(id), core::ITF_RES_WORD, core::Parameter::PARAM_READ_WRITE);
        p->setParameterType(core::PARAM_TYPE_NUMBER);
        p->setGroup(QString::fromLatin1(group));
        p->setDisplayName(QString::fromLatin1(displayName));
        p->setAccessLevel(QString::fromLatin1(level));
        p->setMinValue(min);
        p->setMaxValue(max);
        p->setStepSize(1);
        p->setDefaultValue(defaultValue);
        p->setActualValue(value);
        return p;
    }
    static core::Parameter* disabled(core::Parameter* p)
    {
        p->setEnabled(false);
        return p;
    }

    // A driver of the profile type whose parameters read what `values`
    // holds; a pid in `unsupported` is refused by the driver, any other pid
    // missing there goes unanswered, and once `lost` nothing answers.
    void addDevice()
    {
        device = new PlainDevice(nullptr, QStringLiteral("Lumo driver"));
        device->setProfileType(type);
        ASSERT_TRUE(core::DeviceManager::instance().add(device));
        for (auto* parameter : device->findChildren<core::Parameter*>()) {
            parameter->registerGetCallback([this](core::Parameter* p) {
                if (lost)
                    return -3;
                if (unsupported.contains(p->getIdentifier()))
                    return -14;
                if (!values.contains(p->getIdentifier()))
                    return -11;
                p->setActualValue(values.value(p->getIdentifier()));
                return 0;
            });
        }
    }

    MethodOutcome run(service::AbstractRpcMethod& method, const QString& params)
    {
        return callMethod(method, params);
    }

    static QString json(const QJsonValue& value)
    {
        return QString::fromUtf8(value.isArray()
                ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    }

    // pid -> value of a reply's "parameters" (or of a parameter array).
    static QMap<QString, QJsonValue> valuesOf(const QJsonArray& parameters)
    {
        QMap<QString, QJsonValue> out;
        for (const QJsonValue& p : parameters)
            out.insert(p.toObject().value("pid").toString(), p.toObject().value("value"));
        return out;
    }

    QTemporaryDir tmp;
    std::shared_ptr<FakeProductDatabase> database;
    core::ProfileType* type = nullptr;
    PlainDevice* device = nullptr;
    QMap<QString, QVariant> values;
    QStringList unsupported;
    bool lost = false;
};

} // namespace tarvesk::test
