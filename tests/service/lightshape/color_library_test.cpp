#include "service/rpc/rpc_methods/lightshape/colorlib/fake_lightshape_color_library.h"
#include "service/rpc/rpc_methods/lightshape/colorlib/lightshape_color_library_factory.h"
#include "service/string_exception.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace tarvesk::service;
using CurveId = AbstractLightshapeColorLibrary::CurveId;

namespace {

QString failureOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const StringException& e) {
        return e.message();
    }
    return QString();
}

// The test library with its input look-up opened, and a configuration step
// that fails on request.
class ProbeLibrary : public FakeLightshapeColorLibrary
{
public:
    using AbstractLightshapeColorLibrary::parameterExists;
    using AbstractLightshapeColorLibrary::parameterValue;

    void configLibrary() override
    {
        ++configured;
        if (parameterExists(QStringLiteral("fail")))
            QM_THROW_STRING(QStringLiteral("configuration failed"));
    }

    int configured = 0;
};

const char* const needed = R"("param1": 1, "param2": 2, "param3": 3)";

QString withNeeded(const char* more)
{
    return QStringLiteral("{%1%2}").arg(QLatin1String(needed), QLatin1String(more));
}

} // namespace

TEST(ColorLibrary, NothingButTheResultsBeforeInputsAreSet)
{
    ProbeLibrary library;
    const char* const message
        = "Input parameters not provided. Please execute setInputParameters() before calling this function.";
    EXPECT_TRUE(failureOf([&] { library.curve(CurveId::CURVE_1); }).startsWith(message));
    EXPECT_TRUE(failureOf([&] { library.xy(); }).startsWith(message));
    EXPECT_TRUE(failureOf([&] { library.profile(); }).startsWith(message));
    EXPECT_EQ(library.getCCTValues(), QList<double> {0.0});
}

TEST(ColorLibrary, InputTextsAndTheirFailures)
{
    const struct
    {
        const char* text;
        const char* message; // "" for success
    } cases[] = {
        {"{\"param1\": ", "input data could not be parsed: "},
        {"42", "input data could not be parsed: "}, // a document is an object or an array
        {"[]", "no input parameters provided."},
        {"{}", "no input parameters provided."},
        {R"({"param1": 1, "param2": 2})",
            "Parameter param3 is required and not provided in list of input parameters"},
        {R"({"Param1": 1, "param2": 2, "param3": 3})",
            "Parameter param1 is required and not provided in list of input parameters"},
        {R"([{"name": "param1", "value": 1}, {"name": "param2"}, {"name": "param3", "value": null}])", ""},
        {R"({"param1": 1, "param2": 2, "param3": 3})", ""},
    };
    for (const auto& c : cases) {
        ProbeLibrary library;
        const QString message = failureOf([&] { library.setInputParameters(QString::fromUtf8(c.text)); });
        EXPECT_TRUE(*c.message ? message.startsWith(QLatin1String(c.message)) : message.isEmpty())
            << c.text << ": " << message.toStdString();
    }
}

TEST(ColorLibrary, InputsAreLookedUpIgnoringCase)
{
    ProbeLibrary library;
    library.setInputParameters(withNeeded(R"(, "Strategy": "TW", "empty": null, "list": [1, 2])"));
    EXPECT_EQ(library.parameterValue("STRATEGY").toString(), "tw");
    EXPECT_EQ(library.parameterValue("param2").toInt(), 2);
    EXPECT_EQ(library.parameterValue("list").toList().size(), 2);
    EXPECT_TRUE(library.parameterExists("strategy"));
    EXPECT_FALSE(library.parameterExists("empty"));
    EXPECT_FALSE(library.parameterExists("absent"));
    EXPECT_TRUE(failureOf([&] {
        library.parameterValue("empty");
    }).startsWith("parameter empty value provided in parameter list."));
    EXPECT_TRUE(failureOf([&] {
        library.parameterValue("absent");
    }).startsWith("parameter absent not provided in parameter list."));
}

TEST(ColorLibrary, FailedValidationKeepsTheOldInputsAndFailedConfigurationTheNew)
{
    ProbeLibrary library;
    library.setInputParameters(withNeeded(R"(, "mark": "first")"));
    EXPECT_FALSE(
        failureOf([&] { library.setInputParameters(QStringLiteral(R"({"mark": "second"})")); }).isEmpty());
    EXPECT_EQ(library.parameterValue("mark").toString(), "first");
    EXPECT_EQ(library.configured, 1);
    EXPECT_TRUE(failureOf([&] {
        library.setInputParameters(withNeeded(R"(, "mark": "third", "fail": 1)"));
    }).startsWith("configuration failed"));
    EXPECT_EQ(library.parameterValue("mark").toString(), "third");
}

TEST(ColorLibrary, TestLibraryProfile)
{
    ProbeLibrary library;
    library.setInputParameters(withNeeded(""));
    EXPECT_EQ(library.profile(), QList<int>({0, 0, 0, 0, 0, 71, 1, 1, 1, 71, 2, 2, 2, 255}));
    EXPECT_EQ(library.curve(CurveId::CURVE_2), QList<int>({2, 2, 2}));
    EXPECT_TRUE(library.xy().x().isEmpty());
    EXPECT_EQ(library.version(), "0.0");
}

TEST(ColorLibrary, CurveDescriptors)
{
    const struct
    {
        int points;
        int descriptor;
    } cases[] = {{2, 72}, {3, 71}, {5, 70}, {9, 69}, {17, 68}, {33, 67}, {65, 66}, {129, 65}, {257, 64},
        {50, 66}, {258, 64}, {1000, 64}};
    for (const auto& c : cases) {
        EXPECT_EQ(AbstractLightshapeColorLibrary::curveDescriptor(
                      c.points, AbstractLightshapeColorLibrary::CURVE_TYPE_POINTS),
            QList<int> {c.descriptor})
            << c.points;
    }
    for (int points : {1, 0, -3}) {
        EXPECT_EQ(failureOf([&] {
            AbstractLightshapeColorLibrary::curveDescriptor(
                points, AbstractLightshapeColorLibrary::CURVE_TYPE_POINTS);
        }),
            "Malformed curve, need at least 2 points to define a curve");
    }
}

TEST(ColorLibrary, LocusSplineAgreesWithTheBlackBody)
{
    // CIE 1931 chromaticity of the black body (Planck's law, CIE 1931 2°
    // observer) at these temperatures; the spline keeps within 1e-3 of it.
    const struct
    {
        int cct;
        double x, y;
    } planck[] = {{2000, 0.5267, 0.4133}, {2856, 0.4476, 0.4074}, {4000, 0.3805, 0.3768},
        {6500, 0.3135, 0.3237}, {10000, 0.2807, 0.2884}};
    for (const auto& p : planck) {
        double x = 0.0, y = 0.0;
        AbstractLightshapeColorLibrary::cctToXy(p.cct, x, y);
        EXPECT_NEAR(x, p.x, 1e-3) << p.cct;
        EXPECT_NEAR(y, p.y, 1e-3) << p.cct;
    }
    // The temperature is held within 1667..25000 K.
    double x1, y1, x2, y2;
    AbstractLightshapeColorLibrary::cctToXy(1000, x1, y1);
    AbstractLightshapeColorLibrary::cctToXy(1667, x2, y2);
    EXPECT_EQ(x1, x2);
    EXPECT_EQ(y1, y2);
    AbstractLightshapeColorLibrary::cctToXy(40000, x1, y1);
    AbstractLightshapeColorLibrary::cctToXy(25000, x2, y2);
    EXPECT_EQ(x1, x2);
    EXPECT_EQ(y1, y2);
    // 4000 K takes the lower x formula and the middle y formula.
    const double t = 4000;
    const double x = -266124000 / (t * t * t) - 234358 / (t * t) + 877.696 / t + 0.17991;
    const double y = -0.9549476 * x * x * x - 1.37418593 * x * x + 2.09137015 * x - 0.16748867;
    AbstractLightshapeColorLibrary::cctToXy(4000, x1, y1);
    EXPECT_NEAR(x1, x, 1e-12);
    EXPECT_NEAR(y1, y, 1e-12);
}

TEST(ColorLibrary, FactoryPicksTheVersion)
{
    EXPECT_EQ(LightshapeColorLibraryFactory::create("0.0")->version(), "0.0");
    EXPECT_EQ(LightshapeColorLibraryFactory::create("1.0")->version(), "1.0");
    EXPECT_EQ(LightshapeColorLibraryFactory::create("1.1")->version(), "1.1");
    EXPECT_EQ(LightshapeColorLibraryFactory::create("1.3")->version(), "1.3");
    for (const char* unknown : {"1.2", "", "1.00", "2.0", "v1.0", "1.30"}) {
        EXPECT_TRUE(failureOf([&] {
            LightshapeColorLibraryFactory::create(unknown);
        }).startsWith(QStringLiteral("Invalid library version '%1'").arg(unknown)))
            << unknown;
    }
}
