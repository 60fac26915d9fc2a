#pragma once

#include <QString>
#include <QtGlobal>

namespace tarvesk::sim {

// How one simulated Vandrel box presents itself on USB and to the host's
// register reads.
struct SimBoxConfig
{
    quint16 vendorId = 0x04D8;
    quint16 productId = 0xFF00;
    // USB device release (bcdDevice): 0x2014 is the newer hardware, anything else the older.
    quint16 release = 0x2014;
    quint8 firmwareVersion = 21;
    quint8 subversion = 12;
    // Register 3: 0x02 DMX-SPI, 0x04 Dorvane master, 0x10 Corvalt DALI, 0x20 factory, 0x40 Dorvane 2.
    quint8 capabilities = 0x00;
    quint32 serial = 1;
    QString manufacturer = QStringLiteral("Tarvesk");
    QString product = QStringLiteral("Vandrel USB interface");
    QString serialText; // empty: the serial number in decimal
};

} // namespace tarvesk::sim
