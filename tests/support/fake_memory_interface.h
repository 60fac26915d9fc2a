#pragma once

#include "core/parameters/raw_parameter_interface.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace tarvesk::test {

// A memory space of a device for tests: a map from address to value, a
// journal of every access in order, and failures injected per address.
//
// Journal lines: "R<width> <address>" for a read, "W<width> <address>=<value>"
// for a write; width 0, 1, 2 for byte, word, long; numbers in hexadecimal.
class FakeMemoryInterface : public core::RawParameterInterface
{
    Q_OBJECT

public:
    FakeMemoryInterface(QObject* device, const QString& identifier);

    int getParameter(core::NetworkResolution resolution, int address, unsigned int& value) override;
    int setParameter(core::NetworkResolution resolution, int address, unsigned int value) override;

    void poke(int address, unsigned int value) { _memory[address] = value; }
    unsigned int peek(int address) const { return _memory.value(address, 0); }

    // The next reads (or writes) at the address answer these statuses in turn,
    // one per access; an access past the list succeeds. A failing read leaves
    // its out-value untouched, a failing write leaves memory untouched.
    void failReads(int address, const QList<int>& statuses) { _readFailures[address] = statuses; }
    void failWrites(int address, const QList<int>& statuses) { _writeFailures[address] = statuses; }

    const QStringList& journal() const { return _journal; }
    void clearJournal() { _journal.clear(); }

private:
    static int nextFailure(QMap<int, QList<int>>& failures, int address);

    QMap<int, unsigned int> _memory;
    QMap<int, QList<int>> _readFailures;
    QMap<int, QList<int>> _writeFailures;
    QStringList _journal;
};

} // namespace tarvesk::test
