// Reads arbitrary bytes as Intel HEX of a 14-bit device. A refused text must
// leave the image untouched; a taken one must hold 14-bit words below the
// configuration words only, modules that export and read back to the same
// words, and a datastore whose write-back is stable.
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
    FirmwareTextError error;
    if (!image.importHexString(text, &error)) {
        checkRefusedImage(image, error);
        return 0;
    }
    if (!image.getDataStore()->isInitialized() || image.getFirmwareData().size() > 0x8000)
        std::abort();
    checkWordsAre14Bit(image);
    checkModulesExportAndReadBack(image);
    checkDataStoreWriteIsStable(image);
    return 0;
}
