#include "service/rpc/rpc_methods/lightshape/colorlib/version13_lightshape_color_library.h"

#include "service/rpc/rpc_methods/lightshape/colorlib/engines/lightshape_engine_v1_3.h"
#include "service/string_exception.h"

namespace tarvesk::service {

namespace engine = lightshape_v1_3;

Version1Rev3LightshapeColorLibrary::Version1Rev3LightshapeColorLibrary()
    : ModelledLightshapeColorLibrary(QStringLiteral("1.3"))
{ }

QString Version1Rev3LightshapeColorLibrary::strategyNameToValue(const QString& name, bool dt8)
{
    if (name == QLatin1String("tw"))
        return dt8 ? QStringLiteral("13") : QStringLiteral("12");
    if (name == QLatin1String("twdt8"))
        return QStringLiteral("13");
    if (name == QLatin1String("wd"))
        return QStringLiteral("5");
    QM_THROW_STRING(QStringLiteral(
        "strategy parameter value '%1' is invalid. Use 'tw' (tunable white) or 'wd' (warm dimming)")
                        .arg(name));
}

void Version1Rev3LightshapeColorLibrary::configLibrary()
{
    const QString strategyName = parameterValue(QStringLiteral("strategy")).toString().toLower();
    const bool dt8 = parameterValue(QStringLiteral("dali_device_type_8")).toBool();
    const QByteArray strategy = strategyNameToValue(strategyName, dt8).toLatin1();
    const QString modeName = optimizationStrategy();
    const QByteArray mode = optimizationStrategyToValue(modeName).toLatin1();
    if (mode == "1") {
        // Open loop leaves every point with the levels of the pass before the
        // path: no curve of the inputs at all.
        QM_THROW_STRING(
            QStringLiteral("optimization strategy '%1' computes no curve levels in library version "
                           "1.3. Use 'perfect_life' or 'feed_forward'")
                .arg(modeName));
    }
    const EngineInputs in = engineInputs(true);

    // Channels 3 and 4 carry fixed data (channel 3 no current); only channels 1 and 2 make curves.
    const QList<QByteArray> unusedLed = {"1200.000000", "0.313494", "0.323663", "700.000000", "0.400000",
        "30.000000", "-0.003100", "0.850000"};
    QList<QByteArray> texts = {"place_holder_for_executable_name", "2700", in.lumensMax, strategy, mode,
        in.currentCs1, in.currentCs2, "0", "1400"};
    texts += {in.lumens1, in.x1, in.y1, in.ledCurrent1, "0.400000", in.vf1, "-0.003100", "0.850000"};
    texts += {in.lumens2, in.x2, in.y2, in.ledCurrent2, "0.400000", in.vf2, "-0.003100", "0.850000"};
    texts += unusedLed;
    texts += unusedLed;
    texts += {"0.000000", in.vsupply, "1.000000", "1.000000", "1.000000", "1.000000", "0", "1", "1", "1", "1",
        in.cctMax, in.cctMin};
    ArgumentVector argv(texts);
    engine::c_config_v1_3(argv.data());

    const engine::CurvePointRecord* records = engine::outputBuffer13();
    double power[engine::curvePoints];
    engine::getTotalPowerFor13(power);
    for (int i = 0; i < engine::curvePoints; ++i) {
        requireFinite(records[i].CH_actual[0], QStringLiteral("level of curve 1"), records[i].CCTset);
        requireFinite(records[i].CH_actual[1], QStringLiteral("level of curve 2"), records[i].CCTset);
        requireFinite(power[i], QStringLiteral("total power"), records[i].CCTset);
    }
}

QList<int> Version1Rev3LightshapeColorLibrary::curveData(CurveId id)
{
    if (id != CURVE_1 && id != CURVE_2)
        QM_THROW_STRING(QStringLiteral("This color library only supports 2 curves: curve1 and curve2"));
    int points[engine::curvePoints];
    if (id == CURVE_1)
        engine::c_curve1_v1_3(points);
    else
        engine::c_curve2_v1_3(points);
    QList<int> curve;
    for (int i = 0; i < engine::c_curve_points_v1_3(); ++i)
        curve.append(points[i]);
    return curve;
}

XYCoordinates Version1Rev3LightshapeColorLibrary::xyData()
{
    float xs[engine::curvePoints];
    float ys[engine::curvePoints];
    engine::c_xy13(xs, ys);
    QList<float> x, y;
    for (int i = 0; i < engine::c_curve_points_v1_3(); ++i) {
        x.append(xs[i]);
        y.append(ys[i]);
    }
    return XYCoordinates(x, y);
}

QList<double> Version1Rev3LightshapeColorLibrary::getCCTValuesFromLibrary()
{
    double values[engine::curvePoints];
    engine::getCCTValuesFor13(values);
    return QList<double>(values, values + engine::curvePoints);
}

QList<double> Version1Rev3LightshapeColorLibrary::getTotalPowerFromLibrary()
{
    double values[engine::curvePoints];
    engine::getTotalPowerFor13(values);
    return QList<double>(values, values + engine::curvePoints);
}

} // namespace tarvesk::service
