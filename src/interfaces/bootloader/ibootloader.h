#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

namespace tarvesk::proto {
class Options;
class WystrelPacket;
} // namespace tarvesk::proto

namespace tarvesk::itf {

// The protocol of a driver's bootloader: reading and writing flash rows,
// erasing pages, the hardware information, leaving the bootloader and the
// spam that catches it right after a restart. Every operation returns a bus
// status (0 on success).
class IBootloader : public QObject
{
    Q_OBJECT

public:
    ~IBootloader() override;

    virtual bool checkDeviceInBootloaderMode() = 0;
    // Writes the rows (four hex digits of the word address, then the row's
    // words) in list order; retries spent are added to retryCount.
    virtual int writeRows(QStringList rows, int& count, int& retryCount, unsigned char deviceAddress) = 0;
    virtual int sendBootloaderSpam(int timeMs, bool& entered, int& elapsedMs) = 0;
    virtual int erasePage(unsigned char page) = 0;
    virtual int readRowAddress(
        int address, unsigned char& version, QString& rowText, unsigned char deviceAddress)
        = 0;
    virtual int getHardwareSystemInfo(unsigned short& first, unsigned short& second) = 0;
    virtual int stopBootloaderMode() = 0;
    virtual int sendBootloaderCommand(
        proto::WystrelPacket& request, proto::Options& options, proto::WystrelPacket& answer)
        = 0;
    virtual void finalizeWriteRows() = 0;

signals:
    // The driver was told to leave its bootloader.
    void bootloaderModeStopped();
    // An exchange proved that the bootloader answers: the mode may be taken as
    // active for minTimeout ms, plus extraTimeout ms once.
    void bootloaderModeVerified(unsigned int minTimeout, qint64 extraTimeout);
};

} // namespace tarvesk::itf
