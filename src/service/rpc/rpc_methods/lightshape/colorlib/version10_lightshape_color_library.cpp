#include "service/rpc/rpc_methods/lightshape/colorlib/version10_lightshape_color_library.h"

#include "service/rpc/rpc_methods/lightshape/colorlib/engines/color_math_v1_0.h"
#include "service/rpc/rpc_methods/lightshape/colorlib/engines/lightshape_engine_v1_0.h"
#include "service/string_exception.h"

#include <cmath>
#include <limits>

namespace tarvesk::service {

namespace engine = lightshape_v1_0;

namespace {

const QString kStrategy = QStringLiteral("strategy");
const QString kOptimization = QStringLiteral("optimization_method");

// "blt" is not computed: its profile and curves are fixed.
const QList<int> bltProfile
    = {32, 1, 152, 10, 1, 129, 128, 144, 72, 160, 154, 26, 69, 0, 42, 80, 116, 148, 178, 206, 231, 255, 255};
const QList<int> bltCurve = {0, 42, 80, 116, 148, 178, 206, 231, 255};

QString engineStrategy(const QString& strategy)
{
    return strategy == QLatin1String("tw") ? QStringLiteral("tunable white") : QStringLiteral("warm dimming");
}

} // namespace

Version1Rev0LightshapeColorLibrary::Version1Rev0LightshapeColorLibrary()
    : AbstractLightshapeColorLibrary(QStringLiteral("1.0"))
{ }

QSet<QString> Version1Rev0LightshapeColorLibrary::requiredInputParametersNames() const
{
    return {QStringLiteral("cct_1"), QStringLiteral("cct_2"), QStringLiteral("cct_min"),
        QStringLiteral("cct_max"), QStringLiteral("lumens_1"), QStringLiteral("lumens_2"),
        QStringLiteral("lumens_max"), kOptimization, kStrategy};
}

bool Version1Rev0LightshapeColorLibrary::isBlt() const
{
    return parameterExists(kStrategy) && parameterValue(kStrategy).toString() == QLatin1String("blt");
}

QList<int> Version1Rev0LightshapeColorLibrary::profile()
{
    if (isBlt())
        return bltProfile;
    return AbstractLightshapeColorLibrary::profile();
}

int Version1Rev0LightshapeColorLibrary::ledBinForCct(int cct)
{
    for (int bin = 0; bin < engine::binCount; ++bin) {
        if (engine::led_bin_cct_table[bin] >= cct)
            return bin;
    }
    return engine::binCount - 1;
}

int Version1Rev0LightshapeColorLibrary::integerInput(const QString& name, int minimum, int maximum) const
{
    const double number = std::trunc(numberInput(name));
    if (number < minimum || number > maximum) {
        QM_THROW_STRING(QStringLiteral("Parameter %1 must lie in %2..%3, not %4")
                            .arg(name)
                            .arg(minimum)
                            .arg(maximum)
                            .arg(number, 0, 'g', 15));
    }
    return static_cast<int>(number);
}

void Version1Rev0LightshapeColorLibrary::configLibrary()
{
    const QString strategy = parameterValue(kStrategy).toString().toLower();
    if (strategy != QLatin1String("blt") && strategy != QLatin1String("tw")
        && strategy != QLatin1String("wd")) {
        QM_THROW_STRING(
            QStringLiteral("strategy parameter value '%1' is invalid. Use 'blt', 'tw' (tunable white) or "
                           "'wd' (warm dimming)")
                .arg(strategy));
    }
    QString optimization = parameterValue(kOptimization).toString().toLower();
    if (optimization == QLatin1String("cons"))
        optimization = QStringLiteral("constant");
    else if (optimization == QLatin1String("max"))
        optimization = QStringLiteral("maximize");
    if (optimization != QLatin1String("constant") && optimization != QLatin1String("maximize")) {
        QM_THROW_STRING(
            QStringLiteral("optimization parameter value '%1' is invalid. Use 'constant' or 'maximize'")
                .arg(optimization));
    }
    if (strategy == QLatin1String("blt"))
        return;

    const int cctFirst = engine::cctTableFirst;
    const int cctLast = engine::cctTableLast;
    const int intMin = std::numeric_limits<int>::min();
    const int intMax = std::numeric_limits<int>::max();
    const int cctMin = integerInput(QStringLiteral("cct_min"), cctFirst, cctLast);
    const int cctMax = integerInput(QStringLiteral("cct_max"), cctFirst, cctLast);
    const int cct1 = integerInput(QStringLiteral("cct_1"), intMin, intMax);
    const int cct2 = integerInput(QStringLiteral("cct_2"), intMin, intMax);
    const int lumens1 = integerInput(QStringLiteral("lumens_1"), 1, 32767);
    const int lumens2 = integerInput(QStringLiteral("lumens_2"), 1, 32767);
    const int lumensMax = integerInput(QStringLiteral("lumens_max"), 1, 32767);
    if (cctMin >= cctMax)
        QM_THROW_STRING(
            QStringLiteral("Parameter cct_min (%1) must be below cct_max (%2)").arg(cctMin).arg(cctMax));

    const int bin1 = ledBinForCct(cct1);
    const int bin2 = ledBinForCct(cct2);
    if (bin1 == bin2) {
        // The two channels would have the same colour: no mix can move along the line.
        QM_THROW_STRING(
            QStringLiteral("Parameters cct_1 (%1) and cct_2 (%2) fall into the same LED bin (%3 K); "
                           "the two LEDs must differ")
                .arg(cct1)
                .arg(cct2)
                .arg(engine::led_bin_cct_table[bin1]));
    }
    // Warm dimming runs from cct_min up to the cooler LED, whatever cct_max says.
    int pathEnd = cctMax;
    if (strategy == QLatin1String("wd")) {
        pathEnd = std::max(engine::led_bin_cct_table[bin1], engine::led_bin_cct_table[bin2]);
        if (cctMin >= pathEnd) {
            QM_THROW_STRING(
                QStringLiteral("Parameter cct_min (%1) must be below %2 K, the LED bin of the cooler LED, "
                               "for warm dimming")
                    .arg(cctMin)
                    .arg(pathEnd));
        }
    }
    if (pathEnd - cctMin + 1 > engine::rawPointsMax) {
        const QString end = strategy == QLatin1String("wd")
            ? QStringLiteral("the LED bin of the cooler LED (%1 K)")
            : QStringLiteral("cct_max (%1)");
        QM_THROW_STRING(
            QStringLiteral("The path from cct_min (%1) to %2 spans %3 kelvins; at most %4 can be computed")
                .arg(cctMin)
                .arg(end.arg(pathEnd))
                .arg(pathEnd - cctMin + 1)
                .arg(engine::rawPointsMax));
    }

    const int status = engine::c_config_v1_0(cctMin, cctMax, bin1, bin2, lumens1, lumens2, lumensMax,
        engineStrategy(strategy).toUtf8().constData(), optimization.toUtf8().constData());
    if (status != 0)
        QM_THROW_STRING(
            QStringLiteral("Failure occured while calculation output curve data: error %1").arg(status));
}

QList<int> Version1Rev0LightshapeColorLibrary::curveData(CurveId id)
{
    if (id != CURVE_1 && id != CURVE_2)
        QM_THROW_STRING(QStringLiteral("This color library only supports 2 curves: curve1 and curve2"));
    if (isBlt()) {
        if (id == CURVE_1)
            return bltCurve;
        QList<int> reversed;
        for (auto it = bltCurve.crbegin(); it != bltCurve.crend(); ++it)
            reversed.append(*it);
        return reversed;
    }
    const std::uint8_t* points = id == CURVE_1 ? engine::c_curve1_v1_0() : engine::c_curve2_v1_0();
    QList<int> curve;
    for (int i = 0; i < engine::c_curve_points_v1_0(id); ++i)
        curve.append(points[i]);
    return curve;
}

XYCoordinates Version1Rev0LightshapeColorLibrary::xyData()
{
    QM_THROW_STRING(QStringLiteral("Not possible to retrieve xy data using library v1.0"));
}

QList<int> Version1Rev0LightshapeColorLibrary::profileDescriptor()
{
    const int shiftBits = engine::c_c_get_warm_channel_scale_factor_shift_bits_v1_0();
    const engine::lightshaping_config_input& input = engine::lightshaping_input();
    const std::int16_t lumens1 = input.channel[0].lumens;
    const std::int16_t lumens2 = input.channel[1].lumens;
    bool dt8 = false;
    try {
        dt8 = parameterValue(QStringLiteral("dali_device_type_8")).toBool();
    } catch (const StringException&) {
        dt8 = false; // absent or null
    }
    switch (input.strategy) {
    case engine::STRATEGY_TW_CONSTANT:
    case engine::STRATEGY_TW_MAXIMIZE:
        if (dt8)
            return {32, 2, 168, 10, 128, 128, 1, 161, 17, 177, 184, 26};
        return {32, 2, 168, 10, 128, 128, 129, 144, 9, 161, 25, 177, 184, 26};
    case engine::STRATEGY_WARM_DIMMING: {
        if (dt8)
            QM_THROW_STRING(
                QStringLiteral("Warm dimming strategy not available for dali color dt8 drivers."));
        const int w1 = lumens1 < lumens2 ? shiftBits * 16 + 9 : 9;
        const int w2 = lumens1 >= lumens2 ? shiftBits * 16 + 11 : 11;
        return {32, 2, 168, 146, w1, 8, 128, 128, 8, 161, 24, 177, 184, 178, w2, 24};
    }
    default:
        QM_THROW_STRING(QStringLiteral("Invalid light shape strategy code '%1'").arg(input.strategy));
    }
}

} // namespace tarvesk::service
