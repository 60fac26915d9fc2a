#pragma once

#include "method_call.h"
#include "service/database/data1_database.h"
#include "sim_usb_universe.h"

#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace tarvesk::test {

// The sample product database and a simulated box from a bench text, with
// the production-test methods run as the server runs them.
class StationFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Replaces the simulated boxes by those of the bench text.
    void useBench(const QByteArray& bench);
    MethodOutcome call(const QString& method, const QJsonObject& params);
    MethodOutcome callWith(const QString& method, const QString& members);
    // The id of the first listed device of that name (0: none).
    int deviceId(const QString& name);

    QTemporaryDir tmp;
    std::shared_ptr<service::Data1Database> database;
    std::unique_ptr<SimUsbUniverse> usb;
};

} // namespace tarvesk::test
