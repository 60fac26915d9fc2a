#include "core/itf_error.h"

#include <QObject>

namespace tarvesk::core {

namespace {

struct CodeText
{
    int code;
    const char* text;
};

constexpr CodeText kItfErrors[] = {
    {0, QT_TRANSLATE_NOOP("QObject", "OK")},
    {-1, QT_TRANSLATE_NOOP("QObject", "Transfer failed.")},
    {-2, QT_TRANSLATE_NOOP("QObject", "No access, someone else claimed the device.")},
    {-3, QT_TRANSLATE_NOOP("QObject", "No device.")},
    {-4, QT_TRANSLATE_NOOP("QObject", "Not found.")},
    {-5, QT_TRANSLATE_NOOP("QObject", "Overflow.")},
    {-6, QT_TRANSLATE_NOOP("QObject", "Timeout error.")},
    {-7, QT_TRANSLATE_NOOP("QObject", "IO error.")},
    {-8, QT_TRANSLATE_NOOP("QObject", "Invalid parameter.")},
    {-9, QT_TRANSLATE_NOOP("QObject", "Interface is busy.")},
    {-10, QT_TRANSLATE_NOOP("QObject", "Pipe error.")},
    {-11, QT_TRANSLATE_NOOP("QObject", "No reply where one was expected.")},
    {-12, QT_TRANSLATE_NOOP("QObject", "Too many retries.")},
    {-13, QT_TRANSLATE_NOOP("QObject", "Unsupported feature.")},
    {-14, QT_TRANSLATE_NOOP("QObject", "Unsupported parameter.")},
    {-15, QT_TRANSLATE_NOOP("QObject", "Unsupported module.")},
    {-16, QT_TRANSLATE_NOOP("QObject", "Javascript file not found")},
    {-17, QT_TRANSLATE_NOOP("QObject", "Javascript init() function error")},
    {-18, QT_TRANSLATE_NOOP("QObject", "Javascript evaluation error")},
    {-19, QT_TRANSLATE_NOOP("QObject", "Packet length error.")},
    {-20, QT_TRANSLATE_NOOP("QObject", "Packet checksum error.")},
    {-21, QT_TRANSLATE_NOOP("QObject", "Packet not an answer error. Expected flags to indicate answer.")},
    {-22, QT_TRANSLATE_NOOP("QObject", "Packet does not have a startcode corresponding to the packet.")},
    {-23, QT_TRANSLATE_NOOP("QObject", "USB hangup")},
    {-26, QT_TRANSLATE_NOOP("QObject", "Packet frame error")},
    {-27, QT_TRANSLATE_NOOP("QObject", "Uninitialised datastore, unable to write")},
    {-50, QT_TRANSLATE_NOOP("QObject", "Firmware error, checksum not correct")},
    {-51, QT_TRANSLATE_NOOP("QObject", "Firmware error, hex string has not correct length")},
    {-52, QT_TRANSLATE_NOOP("QObject", "Firmware error, could not covert string to hexadecimal")},
    {-53, QT_TRANSLATE_NOOP("QObject", "Firmware error, invalid address range.")},
    {-54, QT_TRANSLATE_NOOP("QObject", "Firmware error, module not found.")},
    {-55, QT_TRANSLATE_NOOP("QObject", "Firmware error, datastore parameter error")},
    {-56, QT_TRANSLATE_NOOP("QObject", "Firmware error, could not remove page")},
    {-100, QT_TRANSLATE_NOOP("QObject", "Datapak error, data package doesn't a version file.")},
    {-101,
        QT_TRANSLATE_NOOP(
            "QObject", "Datapak error, failed parsing the JSON version file of the data package.")},
    {-102, QT_TRANSLATE_NOOP("QObject", "Datapak error, version file of the data package is empty.")},
    {-103, QT_TRANSLATE_NOOP("QObject", "Datapak error, version file of the data package misses a value")},
    {-104,
        QT_TRANSLATE_NOOP("QObject",
            "Datapak error, application does not meet minimum version requirement of the data package")},
};

constexpr const char* kDorvaneErrors[] = {
    QT_TRANSLATE_NOOP("QObject", "Parameter memory range error"),
    QT_TRANSLATE_NOOP("QObject", "Invalid startcode error"),
    QT_TRANSLATE_NOOP("QObject", "Incorrect checksum value"),
    QT_TRANSLATE_NOOP("QObject", "Unsupported command"),
    QT_TRANSLATE_NOOP("QObject", "Dorvane master : Invalid nordhune index"),
    QT_TRANSLATE_NOOP("QObject", "Dorvane master : Invalid SPI command"),
    QT_TRANSLATE_NOOP("QObject", "Parameter number range error"),
    QT_TRANSLATE_NOOP("QObject", "Wystrel overrun error"),
    QT_TRANSLATE_NOOP("QObject", "Dorvane slave : Not connected"),
    QT_TRANSLATE_NOOP("QObject", "Dorvane slave : Command not retrieved"),
    QT_TRANSLATE_NOOP("QObject", "Dorvane slave : No reply received"),
    QT_TRANSLATE_NOOP("QObject", "Dorvane slave : Data not retrieved connected"),
};

QString unknownCode(int code)
{
    return QObject::tr("Unknown error code %1").arg(code);
}

} // namespace

QString dorvaneErrorToString(int error)
{
    if (error >= 0 && error < int(std::size(kDorvaneErrors)))
        return QObject::tr(kDorvaneErrors[error]);
    return unknownCode(error);
}

QString itfErrorToString(int code)
{
    if (code <= ITF_ERR_DORVANE_BASE && code >= ITF_ERR_DORVANE_LAST)
        return dorvaneErrorToString(ITF_ERR_DORVANE_BASE - code);
    for (const CodeText& entry : kItfErrors) {
        if (entry.code == code)
            return QObject::tr(entry.text);
    }
    return unknownCode(code);
}

void errorInitMetaData() { }

} // namespace tarvesk::core
