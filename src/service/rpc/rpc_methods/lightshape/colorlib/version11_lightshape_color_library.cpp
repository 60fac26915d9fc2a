#include "service/rpc/rpc_methods/lightshape/colorlib/version11_lightshape_color_library.h"

#include "service/rpc/rpc_methods/lightshape/colorlib/engines/lightshape_engine_v1_1.h"
#include "service/string_exception.h"

namespace tarvesk::service {

namespace engine = lightshape_v1_1;

Version1Rev1LightshapeColorLibrary::Version1Rev1LightshapeColorLibrary()
    : ModelledLightshapeColorLibrary(QStringLiteral("1.1"))
{ }

QString Version1Rev1LightshapeColorLibrary::strategyNameToValue(const QString& name)
{
    if (name == QLatin1String("tw"))
        return QStringLiteral("0");
    if (name == QLatin1String("wd"))
        return QStringLiteral("5");
    QM_THROW_STRING(QStringLiteral(
        "strategy parameter value '%1' is invalid. Use 'tw' (tunable white) or 'wd' (warm dimming)")
                        .arg(name));
}

void Version1Rev1LightshapeColorLibrary::configLibrary()
{
    const QByteArray strategy
        = strategyNameToValue(parameterValue(QStringLiteral("strategy")).toString().toLower()).toLatin1();
    const QByteArray mode = optimizationStrategyToValue(optimizationStrategy()).toLatin1();
    const EngineInputs in = engineInputs(false);

    // Channels 3 and 4 carry 1 mA and no light: they take no part in "tw" and "wd".
    const QList<QByteArray> unusedLed
        = {"0.000000", "0.600000", "0.260000", "350.000000", "1.018400", "0.000000", "0.050000", "0.552900"};
    QList<QByteArray> texts = {"place_holder_for_executable_name", "4373", in.lumensMax, strategy, mode,
        in.currentCs1, in.currentCs2, "1", "1"};
    // The set current is also the datasheet current: at full level each LED gives its lumens.
    texts += {in.lumens1, in.x1, in.y1, in.currentCs1, "0.996000", in.vf1, "0.030000", "0.990000"};
    texts += {in.lumens2, in.x2, in.y2, in.currentCs2, "0.996000", in.vf2, "0.030000", "0.990000"};
    texts += unusedLed;
    texts += unusedLed;
    texts += {"51.063830", in.vsupply, "2.380549", "2.524894", "2.524894", "2.524894", "0", "1", "1", "0",
        "0", in.cctMax, in.cctMin};
    ArgumentVector argv(texts);
    engine::c_config_v1_1(argv.data());

    const engine::CurvePointRecord* records = engine::outputBuffer();
    for (int i = 0; i < engine::curvePoints; ++i) {
        requireFinite(records[i].CH_actual[0], QStringLiteral("level of curve 1"), records[i].CCTset);
        requireFinite(records[i].CH_actual[1], QStringLiteral("level of curve 2"), records[i].CCTset);
    }
}

QList<int> Version1Rev1LightshapeColorLibrary::curveData(CurveId id)
{
    if (id != CURVE_1 && id != CURVE_2)
        QM_THROW_STRING(QStringLiteral("This color library only supports 2 curves: curve1 and curve2"));
    int points[engine::curvePoints];
    if (id == CURVE_1)
        engine::c_curve1_v1_1(points);
    else
        engine::c_curve2_v1_1(points);
    QList<int> curve;
    for (int i = 0; i < engine::c_curve_points_v1_1(); ++i)
        curve.append(points[i]);
    return curve;
}

XYCoordinates Version1Rev1LightshapeColorLibrary::xyData()
{
    float xs[engine::curvePoints];
    float ys[engine::curvePoints];
    engine::c_xy(xs, ys);
    QList<float> x, y;
    for (int i = 0; i < engine::c_curve_points_v1_1(); ++i) {
        x.append(xs[i]);
        y.append(ys[i]);
    }
    return XYCoordinates(x, y);
}

} // namespace tarvesk::service
