// Speed of the version 1.0 colour library against a straightforward numpy
// reference of the same formulas (bench/lightshape_reference.py), and a check
// that both give the same curve bytes.

#include "service/rpc/rpc_methods/lightshape/colorlib/version10_lightshape_color_library.h"

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
using tarvesk::service::Version1Rev0LightshapeColorLibrary;

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
    double seconds = 0.0;
};

// Configure, both curves and the profile: what one "lightshape.profile.create" computes.
Run runLibrary(const Case& c, int repeat)
{
    Version1Rev0LightshapeColorLibrary library;
    Run run;
    std::vector<double> times;
    for (int i = 0; i < repeat; ++i) {
        const auto start = std::chrono::steady_clock::now();
        library.setInputParameters(inputsOf(c));
        run.curve1 = library.curve(AbstractLightshapeColorLibrary::CURVE_1);
        run.curve2 = library.curve(AbstractLightshapeColorLibrary::CURVE_2);
        run.profile = library.profile();
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

// Prints the first point where the two lists differ; true when they are equal.
bool compare(const char* what, const QList<int>& ours, const QList<int>& reference)
{
    const int common = std::min(ours.size(), reference.size());
    for (int i = 0; i < common; ++i) {
        if (ours[i] != reference[i]) {
            std::printf("  %s differs first at point %d: C++ %d, numpy %d\n", what, i, ours[i], reference[i]);
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
    runLibrary(cases[0], 1);

    QJsonArray referenceCases;
    std::vector<Run> ours;
    for (const Case& c : cases) {
        ours.push_back(runLibrary(c, c.timed ? repeat : 1));
        QJsonObject input {{"name", c.name}, {"strategy", c.strategy}, {"optimization", c.optimization},
            {"cct_min", c.cctMin}, {"cct_max", c.cctMax}, {"cct_1", c.cct1}, {"cct_2", c.cct2},
            {"lumens_1", c.lumens1}, {"lumens_2", c.lumens2}, {"lumens_max", c.lumensMax},
            {"dali_device_type_8", c.dt8}, {"repeat", c.timed ? referenceRepeat : 1}};
        referenceCases.append(input);
    }

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
    if (results.size() != int(std::size(cases))) {
        std::fprintf(stderr, "the reference gave %d results for %d cases\n", int(results.size()),
            int(std::size(cases)));
        return 2;
    }

    bool allIdentical = true;
    std::printf("%-24s %6s %12s %12s %8s %s\n", "case", "points", "C++ ms", "numpy ms", "ratio", "bytes");
    for (size_t i = 0; i < std::size(cases); ++i) {
        const QJsonObject result = results[int(i)].toObject();
        const Run& run = ours[i];
        const bool identical = compare("curve 1", run.curve1, intsOf(result["curve1"]))
            & compare("curve 2", run.curve2, intsOf(result["curve2"]))
            & compare("profile", run.profile, intsOf(result["profile"]));
        allIdentical = allIdentical && identical;
        const double numpySeconds = result["seconds"].toDouble();
        if (cases[i].timed) {
            std::printf("%-24s %6d %12.3f %12.1f %7.0fx %s\n", cases[i].name, int(run.curve1.size()),
                run.seconds * 1e3, numpySeconds * 1e3, numpySeconds / run.seconds,
                identical ? "identical" : "DIFFERENT");
        } else {
            std::printf("%-24s %6d %12s %12s %8s %s\n", cases[i].name, int(run.curve1.size()), "-", "-", "-",
                identical ? "identical" : "DIFFERENT");
        }
    }
    std::printf("C++: fastest of %d runs; numpy: fastest of %d runs, CCT table built beforehand in both.\n",
        repeat, referenceRepeat);
    return allIdentical ? 0 : 1;
}
