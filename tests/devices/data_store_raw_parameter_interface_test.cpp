#include "core/firmware.h"
#include "core/itf_error.h"
#include "core/parameters/datastore/data_store.h"
#include "devices/data_store_raw_parameter_interface.h"

#include <gtest/gtest.h>

#include <memory>

using namespace tarvesk;
using core::ITF_RES_BYTE;
using core::ITF_RES_LONG;
using core::ITF_RES_WORD;

namespace {

// The firmware datastore as raw memory: word addresses of 14-bit flash words.
TEST(DataStoreRawParameterInterface, ReadsAndWritesTheWordsOfTheImage)
{
    core::DataStore store;
    devices::DataStoreRawParameterInterface memory(nullptr, QStringLiteral("datastore"), &store);
    store.setWord(0x790, 0x1234);

    const struct
    {
        const char* name;
        bool write;
        core::NetworkResolution resolution;
        int address;
        unsigned value; // written, or expected from a read
        int status;
        int wordAfter; // the image's word at the address afterwards (-1: unset)
    } cases[] = {
        {"word read", false, ITF_RES_WORD, 0x790, 0x1234, 0, 0x1234},
        {"byte read: the low byte", false, ITF_RES_BYTE, 0x790, 0x34, 0, 0x1234},
        {"long read: the word", false, ITF_RES_LONG, 0x790, 0x1234, 0, 0x1234},
        {"byte write keeps the high bits", true, ITF_RES_BYTE, 0x790, 0xAB, 0, 0x12AB},
        {"word write", true, ITF_RES_WORD, 0x791, 0x3FFF, 0, 0x3FFF},
        {"byte write to an unset word", true, ITF_RES_BYTE, 0x792, 0x7F, 0, 0x7F},
        {"unset word is no value", false, ITF_RES_WORD, 0x793, 0, core::ITF_ERR_FW_ADDRESS_RANGE, -1},
        {"negative address", false, ITF_RES_BYTE, -1, 0, core::ITF_ERR_FW_ADDRESS_RANGE, -1},
        {"past the image", false, ITF_RES_WORD, core::Firmware::kWordLimit, 0, core::ITF_ERR_FW_ADDRESS_RANGE,
            -1},
        // Refused, nothing written: what the word or the width cannot hold, and
        // addresses the image never takes.
        {"word wider than 14 bits", true, ITF_RES_WORD, 0x790, 0x4000, core::ITF_ERR_INVALID_PARAM, 0x12AB},
        {"long wider than 14 bits", true, ITF_RES_LONG, 0x790, 0x10000, core::ITF_ERR_INVALID_PARAM, 0x12AB},
        {"byte wider than 8 bits", true, ITF_RES_BYTE, 0x790, 0x100, core::ITF_ERR_INVALID_PARAM, 0x12AB},
        {"write at a negative address", true, ITF_RES_WORD, -1, 1, core::ITF_ERR_FW_ADDRESS_RANGE, -1},
        {"write past the image", true, ITF_RES_WORD, core::Firmware::kWordLimit, 1,
            core::ITF_ERR_FW_ADDRESS_RANGE, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.write) {
            EXPECT_EQ(memory.setParameter(c.resolution, c.address, c.value), c.status);
        } else {
            unsigned value = 0xDEAD;
            EXPECT_EQ(memory.getParameter(c.resolution, c.address, value), c.status);
            EXPECT_EQ(value, c.status == 0 ? c.value : 0xDEADu);
        }
        EXPECT_EQ(store.getWord(c.address), c.wordAfter);
    }
}

TEST(DataStoreRawParameterInterface, WithoutADatastoreNothingIsRead)
{
    devices::DataStoreRawParameterInterface memory(nullptr, QStringLiteral("datastore"), nullptr);
    unsigned value = 0;
    EXPECT_EQ(memory.getParameter(ITF_RES_WORD, 0x790, value), core::ITF_ERR_DATASTORE_UNINITIALISED);
    EXPECT_EQ(memory.setParameter(ITF_RES_WORD, 0x790, 1), core::ITF_ERR_DATASTORE_UNINITIALISED);
}

} // namespace
