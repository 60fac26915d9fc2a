#include "protocol/halvoran_lookup_table.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonParseError>

#include <climits>
#include <cmath>

namespace tarvesk::proto {

HalvoranLookupRecord::HalvoranLookupRecord(
    int address, const QString& name, const QString& description, QObject* parent)
    : QObject(parent)
    , _address(address)
    , _name(name)
    , _description(description)
{ }

HalvoranLookupTable::HalvoranLookupTable(QObject* parent)
    : QObject(parent)
{ }

HalvoranLookupTable::~HalvoranLookupTable() = default; // the records are children of the table

HalvoranLookupTable* HalvoranLookupTable::instance()
{
    static HalvoranLookupTable* const table = new HalvoranLookupTable();
    return table;
}

bool HalvoranLookupTable::initFromJsonData(const QByteArray& data)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError) {
        qWarning().noquote()
            << tr("Error while parsing JSON data for halvoran lookup table : %1").arg(error.errorString());
        return false;
    }
    _document = document;
    if (!_document.isObject())
        return true;
    const QJsonValue array = _document.object().value(QLatin1String("HalvoranLUT"));
    if (!array.isArray()) {
        qWarning().noquote() << tr(
            "Invalid Halvoran parameter definition file, does not contain array \"HalvoranLUT\"");
        return true;
    }
    for (const QJsonValue& element : array.toArray()) {
        if (!element.isObject())
            continue;
        const QJsonObject object = element.toObject();
        const QString name = object.value(QLatin1String("Name")).toString();
        const double address = std::trunc(object.value(QLatin1String("Address")).toDouble());
        if (!(address >= INT_MIN && address <= INT_MAX)) {
            qWarning().noquote()
                << tr("Skipping Halvoran parameter \"%1\": its address is out of range").arg(name);
            continue;
        }
        insertRecord(new HalvoranLookupRecord(
            static_cast<int>(address), name, object.value(QLatin1String("Description")).toString(), this));
    }
    return true;
}

void HalvoranLookupTable::insertRecord(HalvoranLookupRecord* record)
{
    HalvoranLookupRecord* oldByAddress = _byAddress.value(record->getAddress());
    HalvoranLookupRecord* oldByName = _byName.value(record->getName());
    _byAddress.insert(record->getAddress(), record);
    _byName.insert(record->getName(), record);
    // A displaced record that neither index reaches any more is released.
    const auto unreachable = [this](const HalvoranLookupRecord* old) {
        return old && _byAddress.value(old->getAddress()) != old && _byName.value(old->getName()) != old;
    };
    if (unreachable(oldByAddress))
        delete oldByAddress;
    if (oldByName != oldByAddress && unreachable(oldByName))
        delete oldByName;
}

QString HalvoranLookupTable::getParameterName(unsigned char address) const
{
    if (const HalvoranLookupRecord* record = _byAddress.value(address))
        return record->getName();
    return QStringLiteral("%1").arg(address, 2, 16, QLatin1Char('0'));
}

int HalvoranLookupTable::getAddress(const QString& parameterName) const
{
    if (const HalvoranLookupRecord* record = _byName.value(parameterName))
        return record->getAddress();
    qWarning().noquote() << tr("Can't find address for parameter name \"%1\"").arg(parameterName);
    return -1;
}

QString HalvoranLookupTable::getDescription(const QString& parameterName) const
{
    if (const HalvoranLookupRecord* record = _byName.value(parameterName))
        return record->getDescription();
    qWarning().noquote() << tr("Can't find description for parameter name \"%1\"").arg(parameterName);
    return QString();
}

} // namespace tarvesk::proto
