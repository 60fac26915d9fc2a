#include "service/rpc/rpc_methods/lightshape/colorlib/ilightshape_color_library.h"

#include "service/string_exception.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <algorithm>
#include <cmath>

namespace tarvesk::service {

const QLoggingCategory& lxColorLibrary()
{
    static const QLoggingCategory category("lightshape.colorlibrary");
    return category;
}

XYCoordinates::XYCoordinates(const QList<float>& x, const QList<float>& y)
    : _x(x)
    , _y(y)
{ }

AbstractLightshapeColorLibrary::AbstractLightshapeColorLibrary(const QString& version)
    : _version(version)
{ }

AbstractLightshapeColorLibrary::~AbstractLightshapeColorLibrary() = default;

void AbstractLightshapeColorLibrary::requireInputParameters() const
{
    if (_inputParameters.isEmpty()) {
        QM_THROW_STRING(QStringLiteral("Input parameters not provided. Please execute setInputParameters() "
                                       "before calling this function."));
    }
}

QList<int> AbstractLightshapeColorLibrary::profile()
{
    requireInputParameters();
    QList<int> curves;
    for (int i = 1; i <= numberOfCurves(); ++i) {
        const QList<int> points = curve(static_cast<CurveId>(i));
        curves += curveDescriptor(points.size(), CURVE_TYPE_POINTS);
        curves += points;
    }
    return profileDescriptor() + curves + profileTerminator();
}

QList<int> AbstractLightshapeColorLibrary::curve(CurveId id)
{
    requireInputParameters();
    return curveData(id);
}

XYCoordinates AbstractLightshapeColorLibrary::xy()
{
    requireInputParameters();
    return xyData();
}

QList<double> AbstractLightshapeColorLibrary::getCCTValues()
{
    return getCCTValuesFromLibrary();
}

QList<double> AbstractLightshapeColorLibrary::getTotalPower()
{
    return getTotalPowerFromLibrary();
}

int AbstractLightshapeColorLibrary::numberOfCurves() const
{
    return 2;
}

void AbstractLightshapeColorLibrary::setInputParameters(const QString& text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError) {
        qCDebug(lxColorLibrary()).noquote() << "Unparseable json input data: " << text;
        QM_THROW_STRING(QStringLiteral("input data could not be parsed: ") + error.errorString());
    }
    if (document.isObject())
        setInputParameters(document.object());
    else if (document.isArray())
        setInputParameters(document.array());
    else
        QM_THROW_STRING(QStringLiteral("no input parameters provided."));
}

void AbstractLightshapeColorLibrary::setInputParameters(const QJsonObject& object)
{
    QJsonArray array;
    for (auto it = object.constBegin(); it != object.constEnd(); ++it)
        array.append(QJsonObject {{QStringLiteral("name"), it.key()}, {QStringLiteral("value"), it.value()}});
    setInputParameters(array);
}

void AbstractLightshapeColorLibrary::setInputParameters(const QJsonArray& array)
{
    if (array.isEmpty())
        QM_THROW_STRING(QStringLiteral("no input parameters provided."));
    validateInputParameters(array);
    if (lxColorLibrary().isDebugEnabled())
        qCDebug(lxColorLibrary()).noquote() << "input params info: " << QJsonDocument(array).toJson();
    _inputParameters = array;
    configLibrary();
}

void AbstractLightshapeColorLibrary::validateInputParameters(const QJsonArray& array) const
{
    QSet<QString> provided;
    for (const QJsonValue& element : array)
        provided.insert(element.toObject().value(QStringLiteral("name")).toString());
    const QSet<QString> required = requiredInputParametersNames();
    qCDebug(lxColorLibrary()) << "Provided input params: " << provided;
    qCDebug(lxColorLibrary()) << "Required input params: " << required;
    for (const QString& name : required) {
        if (!provided.contains(name)) {
            QM_THROW_STRING(
                QStringLiteral("Parameter %1 is required and not provided in list of input parameters")
                    .arg(name));
        }
    }
}

QList<int> AbstractLightshapeColorLibrary::curveDescriptor(int points, CurveType type)
{
    if (points < 2)
        throw StringException(QStringLiteral("Malformed curve, need at least 2 points to define a curve"));
    const quint32 quotient = 256u / static_cast<quint32>(points - 1);
    // Above 257 points the quotient is 0; its logarithm would not be a number.
    const int k = quotient == 0 ? 0 : static_cast<int>(std::trunc(std::log2(static_cast<double>(quotient))));
    return {(k & 0x1F) | ((static_cast<int>(type) & 1) << 6)};
}

void AbstractLightshapeColorLibrary::cctToXy(int cct, double& x, double& y)
{
    const double t = std::max(std::min(cct, 25000), 1667);
    if (t <= 4000)
        x = -266124000.0 / std::pow(t, 3) - 234358.0 / (t * t) + 877.696 / t + 0.17991;
    else
        x = -3025850000.0 / std::pow(t, 3) + 2107040.0 / (t * t) + 222.635 / t + 0.24039;
    const double x3 = std::pow(x, 3);
    if (t <= 2222)
        y = -1.1063814 * x3 - 1.3481102 * x * x + 2.18555832 * x - 0.20219683;
    else if (t <= 4000)
        y = -0.9549476 * x3 - 1.37418593 * x * x + 2.09137015 * x - 0.16748867;
    else
        y = 3.081758 * x3 - 5.8733867 * x * x + 3.75112997 * x - 0.37001483;
}

bool AbstractLightshapeColorLibrary::parameterExists(const QString& name) const
{
    for (const QJsonValue& element : _inputParameters) {
        const QJsonObject object = element.toObject();
        if (object.value(QStringLiteral("name")).toString().compare(name, Qt::CaseInsensitive) == 0) {
            const QJsonValue value = object.value(QStringLiteral("value"));
            return !value.isUndefined() && !value.isNull();
        }
    }
    return false;
}

QVariant AbstractLightshapeColorLibrary::parameterValue(const QString& name) const
{
    for (const QJsonValue& element : _inputParameters) {
        const QJsonObject object = element.toObject();
        if (object.value(QStringLiteral("name")).toString().compare(name, Qt::CaseInsensitive) != 0)
            continue;
        const QJsonValue value = object.value(QStringLiteral("value"));
        if (value.isUndefined() || value.isNull())
            QM_THROW_STRING(QStringLiteral("parameter %1 value provided in parameter list.").arg(name));
        if (value.isString())
            return value.toString().toLower();
        return value.toVariant();
    }
    QM_THROW_STRING(QStringLiteral("parameter %1 not provided in parameter list.").arg(name));
}

double AbstractLightshapeColorLibrary::numberInput(const QString& name) const
{
    const QVariant value = parameterValue(name);
    bool ok = false;
    double number = 0.0;
    const int type = value.userType();
    if (type == QMetaType::Double || type == QMetaType::Int || type == QMetaType::LongLong
        || type == QMetaType::QString)
        number = value.toDouble(&ok);
    if (!ok || !std::isfinite(number)) {
        QM_THROW_STRING(QStringLiteral("Parameter %1 must be a number, not '%2'")
                            .arg(name, value.toJsonValue().isString() ? value.toString() : value.typeName()));
    }
    return number;
}

} // namespace tarvesk::service
