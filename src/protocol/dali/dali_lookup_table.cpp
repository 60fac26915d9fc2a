#include "protocol/dali/dali_lookup_table.h"

#include "service/string_exception.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonParseError>
#include <QJsonValue>

#include <cmath>

namespace tarvesk::proto {

namespace {

const char* const kArrayKeys[] = {"DaliCommandLUT", "DaliSpecialCommandLUT", "DaliDT1CommandLUT",
    "DaliDT6CommandLUT", "DaliDT8CommandLUT", "DaliDT17CommandLUT"};

// Curve constants, as doubles with exactly these values.
constexpr double kLinearStep = 0.3948616600790514;    // 99.9 / 253
constexpr double kLogScale = 84.33333333333333;       // 253 / 3
constexpr double kTolveneOffset = 0.2845849802371542; // 72 / 253
constexpr double kLinearInverse = 2.5325325325325325; // 253 / 99.9
constexpr double kTolveneScale = 0.920863309352518;   // 256 / 278
constexpr double kTolveneExponent = 0.20948616600790526;
constexpr double kPiecewiseKnee = 7.096971084153505; // 4651 / 655.35
constexpr int kMax16 = 65535;
// Every 16-bit curve is saturated (65535) well below this percentage; capping the
// input here keeps infinities out of the formulas (inf - inf would be NaN).
constexpr double kPercentCap = 10000.0;

QString hexByte(unsigned char value)
{
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0'));
}

// The command byte of one element, or -1 when "Value" is absent or not an integer
// (a fraction, or text that is not hexadecimal).
int readValue(const QJsonValue& value)
{
    if (value.isDouble()) {
        const double d = value.toDouble();
        return d == std::floor(d) && d >= 0 && d <= 0xFFFF ? static_cast<int>(d) : -1;
    }
    if (value.isString()) {
        bool ok = false;
        const int v = value.toString().toInt(&ok, 16);
        return ok && v >= 0 ? v : -1;
    }
    return -1;
}

double tolveneB()
{
    return std::pow(10.0, kTolveneExponent) - 1.0;
}

// Limits a raw percentage to lower..100 and rounds it to one decimal.
double finishPercentage(double v, double lower)
{
    if (!(v >= lower))
        v = lower;
    if (v > 100.0)
        v = 100.0;
    return static_cast<int>(std::floor(10.0 * v + 0.5)) / 10.0;
}

// Rounds a raw 8-bit position to a level in 1..254, clamping in floating point
// before the conversion so that huge or infinite values cannot overflow.
int finishLevel8(double x)
{
    const double level = std::floor(x + 1.0 + 0.5);
    if (!(level >= 1.0))
        return 1;
    if (level > 254.0)
        return 254;
    return static_cast<int>(level);
}

int finishLevel16(double r, bool res8bits)
{
    if (!(r >= 0.0))
        r = 0.0;
    if (r >= kMax16)
        r = kMax16;
    const int level = static_cast<int>(r);
    return res8bits ? static_cast<int>(std::floor(std::sqrt(static_cast<double>(level)))) : level;
}

unsigned int clampLevel16(int level)
{
    return static_cast<unsigned int>(qBound(0, level, kMax16));
}

double dravoRaw(unsigned int level, unsigned char dimCurve)
{
    const double l = level;
    switch (dimCurve) {
    case 0:
        return l / kMax16 * 100.0;
    case 1:
        return std::pow(10.0, l / 21845.0 - 1.0);
    case 2:
        if (level <= 8703) {
            const unsigned int t = level >> 5;
            return (((t * t) >> 4) + 28) / 655.35;
        } else {
            const double a = static_cast<double>(level) + 18.0 * (level >> 8) - 4665.0;
            return std::trunc(a + 75.0 * (a - 8704.0) / 56756.0) / 655.35;
        }
    default:
        return std::pow(l / 6553.5, 2);
    }
}

} // namespace

DaliLookupRecord::DaliLookupRecord(
    int value, const QString& name, const QString& description, QObject* parent)
    : QObject(parent)
    , _value(value)
    , _name(name)
    , _description(description)
{ }

DaliLookupTable::DaliLookupTable(QObject* parent)
    : PacketLookupTable(parent)
{ }

DaliLookupTable::~DaliLookupTable() = default; // the records are children of the table

bool DaliLookupTable::initFromJsonData(const QByteArray& data)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError)
        QM_THROW_STRING(QStringLiteral("Error while parsing JSON data for DALI lookup table: %1")
                            .arg(error.errorString()));
    _document = document;
    if (!_document.isObject())
        return true;
    QJsonObject json = _document.object();
    for (int set = 0; set < SET_COUNT; ++set)
        initTable(json, QLatin1String(kArrayKeys[set]), _sets[set].byValue, _sets[set].byName);
    return true;
}

void DaliLookupTable::initTable(QJsonObject& json, const QString& arrayName,
    QHash<int, DaliLookupRecord*>& byValue, QHash<QString, DaliLookupRecord*>& byName)
{
    const auto it = json.constFind(arrayName);
    if (it == json.constEnd() || !it.value().isArray())
        QM_THROW_STRING(QStringLiteral("Invalid DALI command definition file, does not contain array '%1'")
                            .arg(arrayName));
    const QJsonArray array = it.value().toArray();
    for (const QJsonValue& element : array) {
        if (!element.isObject())
            continue;
        const QJsonObject object = element.toObject();
        const QString name = object.value(QLatin1String("Name")).toString();
        const int value = readValue(object.value(QLatin1String("Value")));
        // A record without a usable byte would otherwise become command 0 (OFF)
        // and could even take that byte's name from the real OFF record.
        if (value < 0) {
            qWarning().noquote() << tr(
                "Skipping DALI command \"%1\" in '%2': its \"Value\" is not a command byte")
                                        .arg(name, arrayName);
            continue;
        }
        if (byValue.contains(value))
            continue; // the first record of a value wins
        auto* record
            = new DaliLookupRecord(value, name, object.value(QLatin1String("Description")).toString(), this);
        byValue.insert(value, record);
        byName.insert(name, record);
    }
}

int DaliLookupTable::setForDeviceType(unsigned char deviceType)
{
    switch (deviceType) {
    case 1:
        return SET_DT1;
    case 6:
        return SET_DT6;
    case 8:
        return SET_DT8;
    case 17:
        return SET_DT17;
    default:
        return SET_STANDARD;
    }
}

QString DaliLookupTable::getCommandName(unsigned char command, unsigned char deviceType) const
{
    const int set = setForDeviceType(deviceType);
    if (const DaliLookupRecord* record = _sets[set].byValue.value(command))
        return record->getName();
    if (const DaliLookupRecord* record = _sets[SET_STANDARD].byValue.value(command))
        return record->getName();
    return hexByte(command);
}

QString DaliLookupTable::getSpecialCommandName(unsigned char command) const
{
    if (const DaliLookupRecord* record = _sets[SET_SPECIAL].byValue.value(command))
        return record->getName();
    return hexByte(command);
}

int DaliLookupTable::getCommand(const QString& commandName, unsigned char deviceType) const
{
    const int set = setForDeviceType(deviceType);
    if (const DaliLookupRecord* record = _sets[set].byName.value(commandName))
        return record->getValue();
    if (const DaliLookupRecord* record = _sets[SET_STANDARD].byName.value(commandName))
        return record->getValue();
    if (deviceType == 0)
        qWarning().noquote() << tr("Can't find value for command name \"%1\"").arg(commandName);
    else
        qWarning().noquote() << tr("Can't find value for command name \"%1\" (device type %2)")
                                    .arg(commandName)
                                    .arg(deviceType);
    return -1;
}

int DaliLookupTable::getSpecialCommand(const QString& commandName) const
{
    if (const DaliLookupRecord* record = _sets[SET_SPECIAL].byName.value(commandName))
        return record->getValue();
    qWarning().noquote() << tr("Can't find value for special command name \"%1\"").arg(commandName);
    return -1;
}

double DaliLookupTable::levelToPerc(const QString& lookupVariant, int daliLevel, unsigned char dimCurve)
{
    if (lookupVariant == QLatin1String("dali"))
        return levelToPercBasic(daliLevel, dimCurve);
    if (lookupVariant == QLatin1String("dali_tolvene_old"))
        return levelToPercTOLVENE(daliLevel, dimCurve);
    if (lookupVariant == QLatin1String("dv_wy_dravo"))
        return levelToPercDRAVOCorvalt(clampLevel16(daliLevel), dimCurve);
    if (lookupVariant == QLatin1String("dv_wy_tolvene"))
        return levelToPercTOLVENECorvalt(clampLevel16(daliLevel), dimCurve);
    qWarning().noquote() << tr("Calculating unknown level percentage: \"%1\"").arg(lookupVariant);
    return 0.0;
}

int DaliLookupTable::percToLevel(
    const QString& lookupVariant, double percentage, unsigned char dimCurve, bool res8bits)
{
    const bool known = lookupVariant == QLatin1String("dali")
        || lookupVariant == QLatin1String("dali_tolvene_old") || lookupVariant == QLatin1String("dv_wy_dravo")
        || lookupVariant == QLatin1String("dv_wy_tolvene");
    if (!known) {
        qWarning().noquote() << tr("Calculating unknown level percentage: \"%1\"").arg(lookupVariant);
        return 0;
    }
    if (std::isnan(percentage)) {
        qWarning().noquote() << tr("Percentage is not a number for level curve \"%1\"").arg(lookupVariant);
        return -1;
    }
    if (lookupVariant == QLatin1String("dali"))
        return percToLevelBasic(percentage, dimCurve);
    if (lookupVariant == QLatin1String("dali_tolvene_old"))
        return percToLevelTOLVENE(percentage, dimCurve);
    if (lookupVariant == QLatin1String("dv_wy_dravo"))
        return percToLevelDRAVOCorvalt(percentage, dimCurve, res8bits);
    return percToLevelTOLVENECorvalt(percentage, dimCurve, res8bits);
}

double DaliLookupTable::levelToPercBasic(int level, unsigned char dimCurve)
{
    const double v
        = dimCurve == 1 ? std::pow(10.0, (level - 1) / kLogScale - 1.0) : (level - 1) * kLinearStep + 0.1;
    return finishPercentage(v, 0.1);
}

int DaliLookupTable::percToLevelBasic(double percentage, unsigned char dimCurve)
{
    if (dimCurve == 1)
        return percentage <= 0.0 ? 1 : finishLevel8((std::log10(percentage) + 1.0) * kLogScale);
    return finishLevel8((percentage - 0.1) * kLinearInverse);
}

double DaliLookupTable::levelToPercTOLVENE(int level, unsigned char dimCurve)
{
    double v;
    if (dimCurve == 1) {
        const double a = std::pow(10.0, (level - 1) / kLogScale - 1.0);
        const double b = tolveneB();
        v = a - b * (1.0 - (a - b - 1.0) / (100.0 - b - 1.0));
    } else {
        v = (level - 1) * kLinearStep + 0.1 - kTolveneOffset * (250.0 - (level - 4)) / 250.0;
    }
    return finishPercentage(v, 1.0);
}

int DaliLookupTable::percToLevelTOLVENE(double percentage, unsigned char dimCurve)
{
    const double p = qBound(1.0, percentage, 100.0);
    if (dimCurve == 1) {
        const double b = tolveneB();
        return finishLevel8((std::log10(p + b * (1.0 - (p - 1.0) / 99.0)) + 1.0) * kLogScale);
    }
    return finishLevel8((p - 0.1 + kTolveneOffset * (1.0 + (1.0 - p) / 99.0)) * kLinearInverse);
}

double DaliLookupTable::levelToPercDRAVOCorvalt(unsigned int level, unsigned char dimCurve)
{
    return finishPercentage(dravoRaw(level, dimCurve), 0.1);
}

int DaliLookupTable::percToLevelDRAVOCorvalt(double percentage, unsigned char dimCurve, bool res8bits)
{
    if (!(percentage > 0.1))
        return 0; // also the lowest level of every curve
    const double q = qMin(percentage, kPercentCap);
    double r;
    switch (dimCurve) {
    case 0:
        r = std::floor(q / 99.9 * 65469.465 + 0.5);
        break;
    case 1:
        r = std::floor((std::log10(q) + 1.0) * 21845.0 + 0.5);
        break;
    case 2:
        if (q < kPiecewiseKnee) {
            const double a = std::floor(655.35 * q - 28.0 + 0.5);
            r = 32.0 * std::floor(std::sqrt(16.0 * a) + 0.5);
        } else {
            r = std::trunc((q - 7.1) * 1.0764262648008611 * 568.31 + 8704.0);
        }
        break;
    default:
        r = std::floor(std::sqrt(q) * 6553.5 + 0.5);
        break;
    }
    return finishLevel16(r, res8bits);
}

double DaliLookupTable::levelToPercTOLVENECorvalt(unsigned int level, unsigned char dimCurve)
{
    double v;
    if (dimCurve == 0 || dimCurve == 1) {
        const double w = dravoRaw(level, dimCurve);
        v = w - 0.6 * (1.0 - (w - 1.6) / 98.4);
    } else if (dimCurve == 2) {
        if (level <= 7167) {
            const unsigned int t = level >> 5;
            v = (((t + 32) * (t + 32)) >> 5) / 655.35;
        } else {
            const double n = level >> 8;
            const double a = static_cast<double>(level) + 22.0 * n - 5736.0;
            v = (a + std::trunc(126.0 * (a - 7168.0) / 58241.0)) / 655.35;
        }
    } else {
        v = std::pow(level / 6553.5, 2);
    }
    return finishPercentage(v, 1.0);
}

int DaliLookupTable::percToLevelTOLVENECorvalt(double percentage, unsigned char dimCurve, bool res8bits)
{
    const double q = qBound(1.0, percentage, kPercentCap);
    const double lifted = q + 0.6 * (1.0 - (q - 1.0) / 99.0);
    double r;
    switch (dimCurve) {
    case 0:
        r = std::trunc(std::floor((lifted - 1.0) / 99.0 * 64879.65 + 0.5) + 655.35);
        break;
    case 1:
        r = std::floor((std::log10(lifted) + 1.0) * 21845.0 + 0.5);
        break;
    case 2:
        if (q < kPiecewiseKnee) {
            const double a = std::trunc(655.35 * q - 28.0);
            r = 32.0 * std::trunc(std::sqrt(16.0 * a));
        } else {
            const double x = 655.35 * q + 4665.0;
            r = std::trunc((x + 104.0859375 * (x - 7784.0) / -63487.0) * kTolveneScale);
        }
        break;
    default:
        r = std::floor(std::sqrt(q) * 6553.5 + 0.5);
        break;
    }
    return finishLevel16(r, res8bits);
}

} // namespace tarvesk::proto
