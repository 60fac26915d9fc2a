#pragma once

#include "core/device.h"

#include <QMap>
#include <QSet>
#include <QStringList>
#include <QVariant>

#include <functional>

namespace tarvesk::test {

// A DALI control gear behind a fake bus, for profile programming: the gear
// holds one value per parameter identifier, which the device's parameter
// callbacks read and write. Like real gear it
//  - goes back to its reset values when "dali_factory_reset" is written 1,
//  - stores "minimum_level" quantised to its own resolution,
//  - may fail, per parameter, the next reads or writes with given statuses,
//    refuse a parameter it does not know (-14), or keep a stuck value.
// Every access and every bus delay is written to the journal in order:
// "get <id>", "set <id>=<value>", "reset", "wait <ms>".
class FakeDaliDevice : public core::Device
{
    Q_OBJECT

public:
    explicit FakeDaliDevice(core::Universe* universe);

    core::InterfaceType getInterfaceType() const override { return core::ITF_TYPE_DALI; }

    QVariant gear(const QString& id) const { return _gear.value(id); }
    void setGear(const QString& id, const QVariant& value) { _gear[id] = value; }
    void forgetGear(const QString& id) { _gear.remove(id); }
    void setResetValues(const QVariantMap& values) { _resetValues = values; }
    void setMinimumLevelQuantum(double quantum) { _minimumLevelQuantum = quantum; }
    // Writes succeed but the gear keeps its value.
    void setStuck(const QString& id) { _stuck.insert(id); }

    // The next accesses of the parameter answer these statuses in turn.
    void failReads(const QString& id, const QList<int>& statuses) { _readFailures[id] = statuses; }
    void failWrites(const QString& id, const QList<int>& statuses) { _writeFailures[id] = statuses; }
    // The next write of the parameter throws.
    void throwOnWrite(const QString& id) { _throwOnWrite.insert(id); }

    int preStatus = 0;
    int postStatus = 0;

    const QStringList& journal() const { return _journal; }
    void clearJournal() { _journal.clear(); }

    int getParamCallback(core::Parameter* param) override;
    int setParamCallback(core::Parameter* param, QVariant value) override;
    int profileSetPre() override { return preStatus; }
    int profileSetPost(core::Step* step) override;

protected:
    void busDelay(int milliseconds) override;

private:
    static int nextFailure(QMap<QString, QList<int>>& failures, const QString& id);

    QVariantMap _gear;
    QVariantMap _resetValues;
    double _minimumLevelQuantum = 0;
    QSet<QString> _stuck;
    QSet<QString> _throwOnWrite;
    QMap<QString, QList<int>> _readFailures;
    QMap<QString, QList<int>> _writeFailures;
    QStringList _journal;
};

} // namespace tarvesk::test
