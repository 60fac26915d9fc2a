#include "core/step.h"
#include "log_capture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace tarvesk::core;
using tarvesk::test::LogCapture;

TEST(Step, TreeTextAndJson)
{
    Step root(QStringLiteral("ProfileSet"));
    EXPECT_EQ(root.toString(0), QStringLiteral(" - 0.000s ProfileSet : not done"));
    Step* set = root.addChild(QStringLiteral("Set parameters"));
    Step* param = set->addChild(QStringLiteral("dimming_curve"));
    Step* validation = root.addChild(QStringLiteral("Validation"));
    param->setResult(QStringLiteral("error: 100% not %1"));
    param->setResult(QStringLiteral("[1] ok")); // the later result wins
    set->setResult(QStringLiteral("ok"));
    EXPECT_EQ(param->toString(2),
        QStringLiteral("   - %1s dimming_curve : [1] ok")
            .arg(QString::number(param->getElapsedTime() / 1000.0, 'f', 3)));
    EXPECT_EQ(root.children(), (QList<Step*> {set, validation}));

    LogCapture log;
    root.debugPrint(0);
    const QStringList lines = log.messages();
    ASSERT_EQ(lines.size(), 4);
    const char* expected[]
        = {"\" - 0.000s ProfileSet : not done\"", "\"  - ", "\"   - ", "\"  - 0.000s Validation"};
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(lines[i].startsWith(QLatin1String(expected[i]))) << lines[i].toStdString();

    const QJsonObject json = root.toJson();
    EXPECT_EQ(json.keys(), (QStringList {"children", "elapsed_time", "name", "result"}));
    const QJsonArray children = json.value(QStringLiteral("children")).toArray();
    ASSERT_EQ(children.size(), 2);
    EXPECT_EQ(
        children[0].toObject().value(QStringLiteral("children")).toArray()[0].toObject().value("result"),
        QStringLiteral("[1] ok"));
    const QJsonObject leaf = children[1].toObject();
    EXPECT_EQ(leaf.keys(), (QStringList {"elapsed_time", "name", "result"}));
    EXPECT_EQ(leaf.value(QStringLiteral("result")), QStringLiteral("not done"));
    EXPECT_EQ(leaf.value(QStringLiteral("elapsed_time")), 0);
}

TEST(Step, ElapsedFormat)
{
    // The seconds column always has three decimals.
    Step step(QStringLiteral("x"));
    step.setResult(QStringLiteral("ok"));
    const QString text = step.toString(0);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^ - \\d+\\.\\d{3}s x : ok$")).match(text).hasMatch())
        << text.toStdString();
}
