// Reads arbitrary bytes as firmware module text (an uploaded module file). A
// refused text must leave the image untouched; a taken one must hold 14-bit
// words only, one line address per row line, and modules that export and read
// back to the same words.
#include "core/firmware.h"
#include "firmware_fuzz_checks.h"
#include "quiet_log.h"

#include <QString>

#include <cstdint>
#include <cstdlib>

using tarvesk::core::Firmware;
using tarvesk::core::FirmwareTextError;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    silenceLogOnce();
    if (size > 64 * 1024)
        return 0;
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(data), int(size));

    Firmware image;
    QList<int> addresses;
    int first = -1;
    FirmwareTextError error;
    if (!image.importModString(text, addresses, first, &error)) {
        if (!addresses.isEmpty() || first != -1)
            std::abort();
        checkRefusedImage(image, error);
        return 0;
    }
    if (!addresses.isEmpty() && first != addresses.first())
        std::abort();
    for (const int address : addresses) {
        if (address % 32 != 0 || address < 0 || address > 0x3FE0)
            std::abort();
    }
    checkWordsAre14Bit(image);
    checkModulesExportAndReadBack(image);
    checkDataStoreWriteIsStable(image);
    return 0;
}
