#pragma once

#include "protocol/packet_lookup_table.h"

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <QString>

namespace tarvesk::proto {

// One named DALI command byte.
class DaliLookupRecord : public QObject
{
    Q_OBJECT

public:
    DaliLookupRecord(int value, const QString& name, const QString& description, QObject* parent = nullptr);

    int getValue() const { return _value; }
    const QString& getName() const { return _name; }
    const QString& getDescription() const { return _description; }

private:
    int _value;
    QString _name;
    QString _description;
};

// Names of DALI command bytes and the bytes of command names, for the standard
// commands, the special commands and the extended sets of device types 1, 6, 8
// and 17, loaded once from the data package's JSON command table; plus the
// conversions between arc levels and percentages of the dimming curves.
// Written only while the database is built, read-only afterwards: no lock.
class DaliLookupTable : public PacketLookupTable
{
    Q_OBJECT

public:
    explicit DaliLookupTable(QObject* parent = nullptr);
    ~DaliLookupTable() override;

    // Throws StringException for text that is not JSON or a missing command array.
    bool initFromJsonData(const QByteArray& data);
    void initTable(QJsonObject& json, const QString& arrayName, QHash<int, DaliLookupRecord*>& byValue,
        QHash<QString, DaliLookupRecord*>& byName);

    // The name of a command byte under a device type (its own set first, then the
    // standard set); an unknown byte gives its two lower-case hexadecimal digits.
    QString getCommandName(unsigned char command, unsigned char deviceType) const;
    QString getSpecialCommandName(unsigned char command) const;

    // The byte of a command name, or -1 with a warning for a name the table does
    // not know (never 0: that is OFF, or an arc power level to short address 0).
    // Device types 1, 6, 8 and 17 look in their own set first, then the standard set.
    Q_INVOKABLE int getCommand(const QString& commandName, unsigned char deviceType) const;
    Q_INVOKABLE int getCommand(const QString& commandName) const { return getCommand(commandName, 0); }
    Q_INVOKABLE int getSpecialCommand(const QString& commandName) const;

    // Curve variants "dali", "dali_tolvene_old" (arc levels 1..254) and
    // "dv_wy_dravo", "dv_wy_tolvene" (16-bit levels). An unknown variant gives 0
    // with a warning; percToLevel rejects a percentage that is not a number with -1.
    Q_INVOKABLE static double levelToPerc(
        const QString& lookupVariant, int daliLevel, unsigned char dimCurve);
    Q_INVOKABLE static int percToLevel(
        const QString& lookupVariant, double percentage, unsigned char dimCurve, bool res8bits);

    static double levelToPercBasic(int level, unsigned char dimCurve);
    static int percToLevelBasic(double percentage, unsigned char dimCurve);
    static double levelToPercTOLVENE(int level, unsigned char dimCurve);
    static int percToLevelTOLVENE(double percentage, unsigned char dimCurve);
    static double levelToPercDRAVOCorvalt(unsigned int level, unsigned char dimCurve);
    static int percToLevelDRAVOCorvalt(double percentage, unsigned char dimCurve, bool res8bits);
    static double levelToPercTOLVENECorvalt(unsigned int level, unsigned char dimCurve);
    static int percToLevelTOLVENECorvalt(double percentage, unsigned char dimCurve, bool res8bits);

private:
    struct CommandSet
    {
        QHash<int, DaliLookupRecord*> byValue; // owns the records (also children of the table)
        QHash<QString, DaliLookupRecord*> byName;
    };
    enum SetIndex { SET_STANDARD, SET_SPECIAL, SET_DT1, SET_DT6, SET_DT8, SET_DT17, SET_COUNT };

    static int setForDeviceType(unsigned char deviceType);

    CommandSet _sets[SET_COUNT];
    QJsonDocument _document;
};

} // namespace tarvesk::proto
