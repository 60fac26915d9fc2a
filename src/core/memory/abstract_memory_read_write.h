#pragma once

#include "core/memory/memory_codec.h"
#include "core/network_resolution.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>

namespace tarvesk::core {

// Moves a block of bytes to or from a driver's memory in a fixed order:
// validate, encode, write; or validate, read, decode. Every failure is thrown
// as a MemoryAccessError whose text says what failed; a failure part-way
// leaves the values already written in the driver.
class AbstractMemoryReadWrite : public QObject
{
    Q_OBJECT

public:
    // Takes ownership of both codecs.
    AbstractMemoryReadWrite(MemoryEncoder* encoder, MemoryDecoder* decoder);
    ~AbstractMemoryReadWrite() override;

    // Returns what writeToMemory returns.
    Q_INVOKABLE virtual QList<int> write(QList<int> bytes, int startAddress,
        tarvesk::core::NetworkResolution resolution = tarvesk::core::ITF_RES_WORD);
    // Reads startAddress..endAddress inclusive and returns the decoded bytes.
    Q_INVOKABLE virtual QList<int> read(int startAddress, int endAddress,
        tarvesk::core::NetworkResolution resolution = tarvesk::core::ITF_RES_WORD);

    // The failure text of a bus status: "ITF_ERR_NO_DEVICE: " leads it when no device answered.
    static QString withStatusPrefix(int status, const QString& message);
    [[noreturn]] static void fail(const QString& message);

protected:
    virtual QList<int> writeToMemory(QList<int> bytes, int startAddress, NetworkResolution resolution) = 0;
    virtual QList<int> readFromMemory(int startAddress, int endAddress, NetworkResolution resolution) = 0;
    virtual void validateWrite(const QList<int>& bytes, int startAddress);
    virtual void validateRead(int startAddress, int endAddress);

private:
    std::unique_ptr<MemoryEncoder> _encoder;
    std::unique_ptr<MemoryDecoder> _decoder;
};

} // namespace tarvesk::core
