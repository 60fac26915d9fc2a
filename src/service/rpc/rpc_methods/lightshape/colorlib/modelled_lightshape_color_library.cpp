#include "service/rpc/rpc_methods/lightshape/colorlib/modelled_lightshape_color_library.h"

#include "service/string_exception.h"

#include <cmath>
#include <limits>

namespace tarvesk::service {

namespace {

const QString kStrategy = QStringLiteral("strategy");
const QString kDt8 = QStringLiteral("dali_device_type_8");
const int kIntMax = std::numeric_limits<int>::max();
// The black-body line of the engines; below 1667 K all temperatures share one chromaticity.
const int kCctMin = 1000;
const int kCctMax = 25000;

QByteArray decimal(int value)
{
    return QString::number(value, 10).toLatin1();
}

QByteArray coordinate(double value)
{
    return QString::number(value, 'g', 6).toLatin1();
}

} // namespace

QSet<QString> ModelledLightshapeColorLibrary::requiredInputParametersNames() const
{
    return {kStrategy, QStringLiteral("current_cs1"), QStringLiteral("current_cs2"),
        QStringLiteral("cct_min"), QStringLiteral("cct_max"), QStringLiteral("cct_1"),
        QStringLiteral("cct_2"), QStringLiteral("lumens_1"), QStringLiteral("lumens_2"),
        QStringLiteral("lumens_max"), QStringLiteral("vf1"), QStringLiteral("vf2"),
        QStringLiteral("vsupply")};
}

QList<int> ModelledLightshapeColorLibrary::profileDescriptor()
{
    const QString strategy = parameterValue(kStrategy).toString();
    bool dt8 = false;
    try {
        dt8 = parameterValue(kDt8).toBool();
    } catch (const StringException&) {
        dt8 = false; // absent or null
    }
    const QString lower = strategy.toLower();
    if (lower == QLatin1String("tw")) {
        if (dt8)
            return {32, 2, 168, 10, 128, 128, 1, 161, 17, 177, 184, 26};
        return {32, 2, 168, 10, 128, 128, 129, 144, 9, 161, 25, 177, 184, 26};
    }
    if (lower == QLatin1String("wd")) {
        if (dt8)
            QM_THROW_STRING(
                QStringLiteral("Warm dimming strategy not available for dali color dt8 drivers."));
        return {96, 2, 8, 8, 128, 176, 11, 129, 27, 145, 9, 24};
    }
    QM_THROW_STRING(QStringLiteral("Invalid light shape strategy code '%1'").arg(strategy));
}

QString ModelledLightshapeColorLibrary::optimizationStrategyToValue(const QString& name)
{
    static const char* const modes[] = {"perfect_life", "open_loop", "feed_forward"};
    for (int code = 0; code < 3; ++code) {
        if (name == QLatin1String(modes[code]))
            return QString::number(code);
    }
    QM_THROW_STRING(
        QStringLiteral("optimization strategy parameter value '%1' is invalid. Use '%2', '%3' or '%4'")
            .arg(name, QLatin1String(modes[0]), QLatin1String(modes[1]), QLatin1String(modes[2])));
}

QString ModelledLightshapeColorLibrary::optimizationStrategy() const
{
    try {
        return parameterValue(QStringLiteral("optimization_strategy")).toString().toLower();
    } catch (const StringException&) {
        return QStringLiteral("feed_forward");
    }
}

int ModelledLightshapeColorLibrary::integerInput(const QString& name, int minimum, int maximum) const
{
    const double number = numberInput(name);
    // The engine takes whole numbers; a fraction is rounded as QVariant::toInt rounds it.
    const bool fits = number > std::numeric_limits<int>::min() - 1.0 && number < kIntMax + 1.0;
    const int converted = fits ? QVariant(number).toInt() : 0;
    if (!fits || converted < minimum || converted > maximum) {
        const QString given = QString::number(number, 'g', 15);
        if (maximum == kIntMax && minimum == 1)
            QM_THROW_STRING(
                QStringLiteral("Parameter %1 must be a positive whole number, not %2").arg(name, given));
        QM_THROW_STRING(QStringLiteral("Parameter %1 must lie in %2..%3, not %4")
                            .arg(name)
                            .arg(minimum)
                            .arg(maximum)
                            .arg(given));
    }
    return converted;
}

ModelledLightshapeColorLibrary::EngineInputs ModelledLightshapeColorLibrary::engineInputs(
    bool withLedCurrents) const
{
    EngineInputs in;
    auto positive = [this](const char* name) { return integerInput(QLatin1String(name), 1, kIntMax); };
    auto cct = [this](const char* name) { return integerInput(QLatin1String(name), kCctMin, kCctMax); };
    const int current1 = positive("current_cs1");
    const int current2 = positive("current_cs2");
    in.currentCs1 = decimal(current1);
    in.currentCs2 = decimal(current2);
    if (withLedCurrents) {
        const QString led1 = QStringLiteral("led_current_1");
        const QString led2 = QStringLiteral("led_current_2");
        in.ledCurrent1 = decimal(parameterExists(led1) ? integerInput(led1, 1, kIntMax) : current1);
        in.ledCurrent2 = decimal(parameterExists(led2) ? integerInput(led2, 1, kIntMax) : current2);
    }
    in.cctMin = decimal(cct("cct_min"));
    in.cctMax = decimal(cct("cct_max"));
    in.lumensMax = decimal(positive("lumens_max"));
    in.lumens1 = decimal(positive("lumens_1"));
    in.lumens2 = decimal(positive("lumens_2"));
    const int cct1 = cct("cct_1");
    const int cct2 = cct("cct_2");
    in.vf1 = decimal(positive("vf1"));
    in.vf2 = decimal(positive("vf2"));
    in.vsupply = decimal(positive("vsupply"));

    double x1 = 0.0, y1 = 0.0, x2 = 0.0, y2 = 0.0;
    cctToXy(cct1, x1, y1);
    cctToXy(cct2, x2, y2);
    in.x1 = coordinate(x1);
    in.y1 = coordinate(y1);
    in.x2 = coordinate(x2);
    in.y2 = coordinate(y2);
    if (in.x1 == in.x2 && in.y1 == in.y2) {
        // Two LEDs of one colour span no line to mix along: the colour matrix is singular.
        QM_THROW_STRING(QStringLiteral("Parameters cct_1 (%1) and cct_2 (%2) give both LEDs the same "
                                       "chromaticity (x %3, y %4); the two LEDs must differ")
                            .arg(cct1)
                            .arg(cct2)
                            .arg(QString::fromLatin1(in.x1), QString::fromLatin1(in.y1)));
    }
    return in;
}

ModelledLightshapeColorLibrary::ArgumentVector::ArgumentVector(const QList<QByteArray>& texts)
    : _texts(texts.begin(), texts.end())
{
    for (QByteArray& text : _texts)
        _pointers.push_back(text.data());
    _pointers.push_back(nullptr);
}

void ModelledLightshapeColorLibrary::requireFinite(double value, const QString& what, int cct)
{
    if (!std::isfinite(value)) {
        QM_THROW_STRING(
            QStringLiteral("The computation gave no finite %1 at the point of %2 K; check the LED data")
                .arg(what)
                .arg(cct));
    }
}

} // namespace tarvesk::service
