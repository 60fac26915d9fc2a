#pragma once

#include <QObject>

namespace tarvesk::proto {

// Base of the protocol lookup tables. Packets receive them keyed by protocol
// name (the DALI command table under "DALI") so that they can name their bytes.
class PacketLookupTable : public QObject
{
    Q_OBJECT

public:
    explicit PacketLookupTable(QObject* parent = nullptr);
    ~PacketLookupTable() override;
};

} // namespace tarvesk::proto
