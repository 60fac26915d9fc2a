// Speed of the colour libraries of versions 1.0, 1.1 and 1.3 against a
// straightforward numpy reference of the same formulas
// (bench/lightshape_reference.py), and a check that both give the same curve
// bytes (and for 1.3 the same colour temperatures and total powers).

#include "service/rpc/rpc_methods/lightshape/colorlib/lightshape_color_library_factory.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QProcess>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using tarvesk::service::AbstractLightshapeColorLibrary;
using tarvesk::service::LightshapeColorLibraryFactory;

namespace {

struct Case
{
    const char* name;
    bool timed;
    const char* strategy;
    const char* optimization;
    int cctMin, cctMax, cct1, cct2, lumens1, lumens2, lumensMax;
    bool dt8;
};

const Case cases[] = {
    // A typical tunable-white driver: 2700 K and 6500 K LEDs over their whole range.
    {"tw 2700-6500 constant", true, "tw", "constant", 2700, 6500, 2700, 6500, 1000, 1100, 1000, false},
    // The longest path the validation admits: 5120 kelvins.
    {"tw 1000-6119 constant", true, "tw", "constant", 1000, 6119, 1800, 6500, 1000, 1100, 1000, false},
    // The other golden inputs of tests/service/lightshape/version10_library_test.cpp, only compared.
    {"tw maximize 2700-6500", false, "tw", "maximize", 2700, 6500, 2700, 6500, 1000, 1100, 1000, false},
    {"tw constant dt8", false, "tw", "constant", 2700, 6500, 2700, 6500, 1000, 1100, 1000, true},
    {"tw channel 1 cool", false, "tw", "constant", 3000, 5700, 5700, 3000, 1200, 900, 1500, false},
    {"tw maximize limited", false, "tw", "maximize", 3500, 4500, 3000, 5000, 900, 1200, 800, false},
    {"wd 1800-2000 65 points", false, "wd", "constant", 1800, 2000, 1800, 2000, 800, 1000, 1000, false},
    {"wd 1800-3000", false, "wd", "constant", 1800, 6500, 1800, 3000, 800, 1000, 1000, false},
    {"wd 129 points", false, "wd", "maximize", 1900, 2500, 1800, 2500, 800, 1000, 1000, false},
    {"wd shift 2", false, "wd", "constant", 1900, 2500, 1800, 2500, 500, 1500, 1000, false},
    {"wd warm brighter", false, "wd", "constant", 2000, 3000, 1800, 3000, 1000, 800, 1000, false},
};

// Versions 1.1 and 1.3: a typical tunable-white driver (2700 K and 6500 K LEDs
// at 350 mA) in the default mode, timed; the other golden inputs of
// tests/service/lightshape/modelled_libraries_test.cpp, only compared.
struct ModelledCase
{
    const char* name;
    const char* version;
    bool timed;
    const char* strategy;
    const char* optimization; // "" for the default
    int current1, current2, cctMin, cctMax, cct1, cct2, lumens1, lumens2, lumensMax, vf1, vf2, vsupply;
    bool dt8;
    int ledCurrent1, ledCurrent2; // 0: not given
};

const ModelledCase modelledCases[] = {
    {"1.1 tw feed_forward", "1.1", true, "tw", "", 350, 350, 2700, 6500, 2700, 6500, 1000, 1100, 1000, 3, 3,
        48, false, 0, 0},
    {"1.3 tw feed_forward", "1.3", true, "tw", "", 350, 350, 2700, 6500, 2700, 6500, 1000, 1100, 1000, 3, 3,
        48, false, 0, 0},
    {"1.1 tw perfect_life", "1.1", false, "tw", "perfect_life", 350, 350, 2700, 6500, 2700, 6500, 1000, 1100,
        1000, 3, 3, 48, false, 0, 0},
    {"1.1 tw open_loop", "1.1", false, "tw", "open_loop", 350, 350, 2700, 6500, 2700, 6500, 1000, 1100, 1000,
        3, 3, 48, false, 0, 0},
    {"1.1 tw 100 mA", "1.1", false, "tw", "", 100, 100, 2700, 6500, 2700, 6500, 1000, 1100, 1000, 3, 3, 48,
        false, 0, 0},
    {"1.1 tw 180 mA", "1.1", false, "tw", "", 180, 250, 2700, 6500, 2700, 6500, 1000, 1100, 1000, 3, 3, 24,
        false, 0, 0},
    {"1.1 tw dt8 ch1 cool", "1.1", false, "tw", "", 350, 350, 3000, 5700, 5700, 3000, 1200, 900, 1500, 3, 3,
        48, true, 0, 0},
    {"1.1 wd", "1.1", false, "wd", "", 350, 350, 1800, 3000, 1800, 3000, 800, 1000, 1000, 3, 3, 48, false, 0,
        0},
    {"1.3 tw dt8 mirek", "1.3", false, "tw", "", 350, 350, 2700, 6500, 2700, 6500, 1000, 1100, 1000, 3, 3, 48,
        true, 0, 0},
    {"1.3 tw perfect_life", "1.3", false, "tw", "perfect_life", 350, 350, 2700, 6500, 2700, 6500, 1000, 1100,
        1000, 3, 3, 48, false, 0, 0},
    {"1.3 tw 100 mA", "1.3", false, "tw", "", 100, 100, 2700, 6500, 2700, 6500, 1000, 1100, 1000, 3, 3, 48,
        false, 0, 0},
    {"1.3 tw led currents", "1.3", false, "tw", "", 175, 500, 2700, 6500, 2700, 6500, 1000, 1100, 1000, 36,
        38, 54, false, 700, 700},
    {"1.3 wd", "1.3", false, "wd", "", 350, 350, 1800, 3000, 1800, 3000, 800, 1000, 1000, 3, 3, 48, false, 0,
        0},
};

QJsonObject inputsOf(const ModelledCase& c)
{
    QJsonObject inputs {{"strategy", c.strategy}, {"current_cs1", c.current1}, {"current_cs2", c.current2},
        {"cct_min", c.cctMin}, {"cct_max", c.cctMax}, {"cct_1", c.cct1}, {"cct_2", c.cct2},
        {"lumens_1", c.lumens1}, {"lumens_2", c.lumens2}, {"lumens_max", c.lumensMax}, {"vf1", c.vf1},
        {"vf2", c.vf2}, {"vsupply", c.vsupply}, {"dali_device_type_8", c.dt8}};
    if (*c.optimization)
        inputs["optimization_strategy"] = c.optimization;
    if (c.ledCurrent1)
        inputs["led_current_1"] = c.ledCurrent1;
    if (c.ledCurrent2)
        inputs["led_current_2"] = c.ledCurrent2;
    return inputs;
}

QJsonObject inputsOf(const Case& c)
{
    return QJsonObject {{"strategy", c.strategy}, {"optimization_method", c.optimization},
        {"cct_min", c.cctMin}, {"cct_max", c.cctMax}, {"cct_1", c.cct1}, {"cct_2", c.cct2},
        {"lumens_1", c.lumens1}, {"lumens_2", c.lumens2}, {"lumens_max", c.lumensMax},
        {"dali_device_type_8", c.dt8}};
}

struct Run
{
    QList<int> curve1, curve2, profile;
    QList<double> cct, power;
    double seconds = 0.0;
};

// Configure, both curves and the profile (and for 1.3 the colour temperatures
// and powers): what one "lightshape.profile.create" computes.
Run runLibrary(const QString& version, const QJsonObject& inputs, int repeat)
{
    const auto library = LightshapeColorLibraryFactory::create(version);
    Run run;
    std::vector<double> times;
    for (int i = 0; i < repeat; ++i) {
        const auto start = std::chrono::steady_clock::now();
        library->setInputParameters(inputs);
        run.curve1 = library->curve(AbstractLightshapeColorLibrary::CURVE_1);
        run.curve2 = library->curve(AbstractLightshapeColorLibrary::CURVE_2);
        run.profile = library->profile();
        if (version == QLatin1String("1.3")) {
            run.cct = library->getCCTValues();
            run.power = library->getTotalPower();
        }
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    run.seconds = *std::min_element(times.begin(), times.end());
    return run;
}

QList<int> intsOf(const QJsonValue& value)
{
    QList<int> list;
    for (const QJsonValue& element : value.toArray())
        list.append(element.toInt());
    return list;
}

QList<double> doublesOf(const QJsonValue& value)
{
    QList<double> list;
    for (const QJsonValue& element : value.toArray())
        list.append(element.toDouble());
    return list;
}

// Prints the first point where the two lists differ; true when they are equal.
template <typename T> bool compare(const char* what, const QList<T>& ours, const QList<T>& reference)
{
    const int common = std::min(ours.size(), reference.size());
    for (int i = 0; i < common; ++i) {
        if (ours[i] != reference[i]) {
            std::printf("  %s differs first at point %d: C++ %.17g, numpy %.17g\n", what, i, double(ours[i]),
                double(reference[i]));
            return false;
        }
    }
    if (ours.size() != reference.size()) {
        std::printf("  %s: C++ has %d points, numpy %d\n", what, int(ours.size()), int(reference.size()));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // The library's debug lines would be timed too.
    QLoggingCategory::setFilterRules(QStringLiteral("lightshape.colorlibrary.debug=false"));
    QString python = QStringLiteral("/usr/bin/python3");
    QString script = QStringLiteral(QM_SOURCE_DIR "/bench/lightshape_reference.py");
    int repeat = 50;
    int referenceRepeat = 3;
    const QStringList arguments = app.arguments();
    for (int i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == "--python")
            python = arguments[i + 1];
        else if (arguments[i] == "--script")
            script = arguments[i + 1];
        else if (arguments[i] == "--repeat")
            repeat = std::max(1, arguments[i + 1].toInt());
        else if (arguments[i] == "--reference-repeat")
            referenceRepeat = std::max(1, arguments[i + 1].toInt());
    }

    // The CCT table is built once per process: build it before timing.
    runLibrary(QStringLiteral("1.0"), inputsOf(cases[0]), 1);

    struct Entry
    {
        QString name, version;
        bool timed;
        QJsonObject inputs;
    };
    std::vector<Entry> entries;
    QJsonArray referenceCases;
    for (const Case& c : cases) {
        entries.push_back({c.name, QStringLiteral("1.0"), c.timed, inputsOf(c)});
        QJsonObject input {{"name", c.name}, {"strategy", c.strategy}, {"optimization", c.optimization},
            {"cct_min", c.cctMin}, {"cct_max", c.cctMax}, {"cct_1", c.cct1}, {"cct_2", c.cct2},
            {"lumens_1", c.lumens1}, {"lumens_2", c.lumens2}, {"lumens_max", c.lumensMax},
            {"dali_device_type_8", c.dt8}, {"repeat", c.timed ? referenceRepeat : 1}};
        referenceCases.append(input);
    }
    for (const ModelledCase& c : modelledCases) {
        entries.push_back({c.name, c.version, c.timed, inputsOf(c)});
        QJsonObject input = inputsOf(c);
        input["name"] = c.name;
        input["version"] = c.version;
        input["repeat"] = c.timed ? referenceRepeat : 1;
        referenceCases.append(input);
    }
    std::vector<Run> ours;
    for (const Entry& e : entries)
        ours.push_back(runLibrary(e.version, e.inputs, e.timed ? repeat : 1));

    QProcess reference;
    reference.start(python, {script});
    if (!reference.waitForStarted(10000)) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(python));
        return 2;
    }
    reference.write(QJsonDocument(referenceCases).toJson(QJsonDocument::Compact));
    reference.closeWriteChannel();
    if (!reference.waitForFinished(600000) || reference.exitCode() != 0) {
        std::fprintf(
            stderr, "%s failed:\n%s\n", qPrintable(script), reference.readAllStandardError().constData());
        return 2;
    }
    const QJsonArray results = QJsonDocument::fromJson(reference.readAllStandardOutput()).array();
    if (results.size() != int(entries.size())) {
        std::fprintf(
            stderr, "the reference gave %d results for %d cases\n", int(results.size()), int(entries.size()));
        return 2;
    }

    bool allIdentical = true;
    std::printf("%-24s %6s %12s %12s %8s %s\n", "case", "points", "C++ ms", "numpy ms", "ratio", "bytes");
    for (size_t i = 0; i < entries.size(); ++i) {
        const QJsonObject result = results[int(i)].toObject();
        const Run& run = ours[i];
        const Entry& entry = entries[i];
        // Every comparison runs, so that each difference is printed.
        bool identical = compare("curve 1", run.curve1, intsOf(result["curve1"]));
        identical = compare("curve 2", run.curve2, intsOf(result["curve2"])) && identical;
        identical = compare("profile", run.profile, intsOf(result["profile"])) && identical;
        if (entry.version == QLatin1String("1.3")) {
            identical = compare("CCTset", run.cct, doublesOf(result["cct"])) && identical;
            identical = compare("Ptot", run.power, doublesOf(result["ptot"])) && identical;
        }
        allIdentical = allIdentical && identical;
        const double numpySeconds = result["seconds"].toDouble();
        const QByteArray name = entry.name.toUtf8();
        if (entry.timed) {
            std::printf("%-24s %6d %12.3f %12.1f %7.0fx %s\n", name.constData(), int(run.curve1.size()),
                run.seconds * 1e3, numpySeconds * 1e3, numpySeconds / run.seconds,
                identical ? "identical" : "DIFFERENT");
        } else {
            std::printf("%-24s %6d %12s %12s %8s %s\n", name.constData(), int(run.curve1.size()), "-", "-",
                "-", identical ? "identical" : "DIFFERENT");
        }
    }
    std::printf("C++: fastest of %d runs; numpy: fastest of %d runs, CCT table built beforehand in both.\n",
        repeat, referenceRepeat);
    return allIdentical ? 0 : 1;
}
