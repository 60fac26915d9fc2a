#pragma once

// Checks shared by the firmware text fuzzers: what must hold of an image after
// a text was refused or taken.
#include "core/firmware.h"
#include "core/firmware_module.h"
#include "core/parameters/datastore/data_store.h"

#include <QList>
#include <QVector>

#include <cstdlib>

inline void checkRefusedImage(tarvesk::core::Firmware& image, const tarvesk::core::FirmwareTextError& error)
{
    QList<tarvesk::core::FirmwareModule*> modules;
    image.getModuleList(modules);
    // A refused text leaves the image untouched and says where and why.
    if (!image.getFirmwareData().isEmpty() || !modules.isEmpty() || image.getDataStore()->isInitialized()
        || error.line < 1 || error.fault.isEmpty())
        std::abort();
}

inline void checkWordsAre14Bit(const tarvesk::core::Firmware& image)
{
    for (const int word : image.getFirmwareData()) {
        if (word < -1 || word > 0x3FFF)
            std::abort();
    }
}

// Every module found inside program flash exports to module text that reads
// back, into a fresh image, to the same words.
inline void checkModulesExportAndReadBack(const tarvesk::core::Firmware& image)
{
    QList<tarvesk::core::FirmwareModule*> modules;
    image.getModuleList(modules);
    for (const tarvesk::core::FirmwareModule* module : modules) {
        const int start = module->getStartAddress();
        const int end = module->getEndAddress();
        if (start < 512 || end > 0x3FFF || end <= start)
            continue;
        QString text;
        if (image.exportBlockString(text, start, end) != 0)
            std::abort();
        tarvesk::core::Firmware again;
        QList<int> addresses;
        int first = -1;
        tarvesk::core::FirmwareTextError error;
        if (!again.importModString(text, addresses, first, &error) || first != start)
            std::abort();
        for (int a = start; a <= end; ++a) {
            if (again.getUnsignedWord(a) != image.getUnsignedWord(a))
                std::abort();
        }
    }
}

// Once the datastore has read an image, writing its values back is stable:
// a second read and write gives the same words.
inline void checkDataStoreWriteIsStable(tarvesk::core::Firmware& image)
{
    tarvesk::core::DataStore* store = image.getDataStore();
    store->convertMemoryMapToParameterValues();
    store->convertParameterValuesToMemoryMap();
    const QVector<int> first = image.getFirmwareData();
    store->convertMemoryMapToParameterValues();
    store->convertParameterValuesToMemoryMap();
    if (image.getFirmwareData() != first)
        std::abort();
    checkWordsAre14Bit(image);
}
