#pragma once

#include <QHash>
#include <QJsonDocument>
#include <QObject>
#include <QString>

namespace tarvesk::proto {

// One Halvoran parameter: its one-byte address, name and description.
class HalvoranLookupRecord : public QObject
{
    Q_OBJECT

public:
    HalvoranLookupRecord(
        int address, const QString& name, const QString& description, QObject* parent = nullptr);

    int getAddress() const { return _address; }
    const QString& getName() const { return _name; }
    const QString& getDescription() const { return _description; }

private:
    int _address;
    QString _name;
    QString _description;
};

// Process-wide table of Halvoran parameter names and addresses, read from a JSON
// document with the array "HalvoranLUT". Later records replace earlier ones of the
// same address or name. Loaded before use and read-only afterwards: no lock.
class HalvoranLookupTable : public QObject
{
    Q_OBJECT

public:
    // Created empty on the first call (thread-safe), never destroyed.
    Q_INVOKABLE static HalvoranLookupTable* instance();

    // False only when the bytes are not JSON; a document without the array is
    // reported with a warning and loads nothing.
    bool initFromJsonData(const QByteArray& data);

    // The name at an address, or the address as two lower-case hexadecimal digits.
    Q_INVOKABLE QString getParameterName(unsigned char address) const;
    // The address of a name, or -1 with a warning.
    Q_INVOKABLE int getAddress(const QString& parameterName) const;
    // The description of a name, or an empty text with a warning.
    Q_INVOKABLE QString getDescription(const QString& parameterName) const;

    explicit HalvoranLookupTable(QObject* parent = nullptr);
    ~HalvoranLookupTable() override;

private:
    void insertRecord(HalvoranLookupRecord* record);

    QHash<int, HalvoranLookupRecord*> _byAddress; // records are children of the table
    QHash<QString, HalvoranLookupRecord*> _byName;
    QJsonDocument _document;
};

} // namespace tarvesk::proto
