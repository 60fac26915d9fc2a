#include "core/core_errors.h"
#include "core/itf_error.h"
#include "core/memory/lightshape_ram_buffer_memory_read_write.h"
#include "core/memory/memory_codec.h"
#include "core/memory/ram_memory_read_write.h"
#include "core/memory/ram_offset.h"
#include "fake_memory_interface.h"
#include "qt_printers.h"

#include <gtest/gtest.h>

#include <QObject>

#include <functional>

using namespace tarvesk::core;
using tarvesk::test::FakeMemoryInterface;

namespace {

// The text of the failure that the call throws, or "no failure".
QString failureOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const MemoryAccessError& e) {
        return QString::fromUtf8(e.what());
    }
    return QStringLiteral("no failure");
}

QList<int> byteRun(int count, int first = 1)
{
    QList<int> bytes;
    for (int i = 0; i < count; ++i)
        bytes << (first + i) % 256;
    return bytes;
}

// The accesses of one buffered region write as the driver sees them: the
// flash target, the buffer filled in 16-bit pairs (a lone last byte alone),
// then the unlock and dump codes on parameter 254.
QStringList regionJournal(int region, const QList<int>& chunk)
{
    QStringList lines {QStringLiteral("W0 4740=%1").arg(region, 0, 16)};
    for (int i = 0; i < chunk.size(); i += 2) {
        if (i + 1 < chunk.size())
            lines
                << QStringLiteral("W1 %1=%2").arg(0x4741 + i, 0, 16).arg(chunk[i] | chunk[i + 1] << 8, 0, 16);
        else
            lines << QStringLiteral("W0 %1=%2").arg(0x4741 + i, 0, 16).arg(chunk[i], 0, 16);
    }
    lines << QStringLiteral("W0 fe=c3") << QStringLiteral("W0 fe=b7");
    return lines;
}

// Logical RAM address 3000 lies at 3000 + 0x1300.
const QString kStatusRead = QStringLiteral("R0 1eb8");

class MemoryTest : public ::testing::Test
{
protected:
    QObject device;
    FakeMemoryInterface* memory = new FakeMemoryInterface(&device, QStringLiteral("presmonde"));
};

} // namespace

TEST(MemoryCodecs, FlashWordsUnpackThreeBytesFromTwoWords)
{
    const FlashMemoryDecoder decoder;
    EXPECT_EQ(decoder.decode({0x1AB, 0x2CD}), (QList<int> {0xAB, 0xCD, 0x21}));
    EXPECT_EQ(decoder.decode({0xFFF, 0xFFF, 0, 0}), (QList<int> {0xFF, 0xFF, 0xFF, 0, 0, 0}));
    EXPECT_TRUE(decoder.decode({1, 2, 3}).isEmpty());
    EXPECT_TRUE(decoder.decode({}).isEmpty());
    // Packing by the rule the driver follows and unpacking give the bytes back.
    for (int b2 : {0x00, 0x0F, 0xF0, 0x5A}) {
        const int b0 = 0x12, b1 = 0xEF;
        EXPECT_EQ(decoder.decode({b0 | (b2 & 0x0F) << 8, b1 | (b2 & 0xF0) << 4}), (QList<int> {b0, b1, b2}));
    }
    EXPECT_EQ(MemoryEncoder().encode({1, 2, 300}), (QList<int> {1, 2, 300}));
}

TEST(MemoryCodecs, PresmondeRamOffset)
{
    std::unique_ptr<AbstractRamOffset> offset(RamOffsetFactory::create(QStringLiteral("anything")));
    const struct
    {
        int logical, physical;
    } rows[]
        = {{0, 0x300}, {1279, 0x7FF}, {1280, 0x1800}, {3000, 7864}, {3327, 0x1FFF}, {3328, 3328}, {-1, -1}};
    for (const auto& row : rows)
        EXPECT_EQ(offset->value(row.logical), row.physical) << row.logical;
}

TEST_F(MemoryTest, RamWritesByteAndWordAndRefusesOtherWidths)
{
    RamMemoryReadWrite ram(new MemoryEncoder(), new FlashMemoryDecoder(), memory);
    EXPECT_EQ(ram.write({1, 2, 3}, 100, ITF_RES_WORD), (QList<int> {1, 2, 3}));
    EXPECT_EQ(memory->journal(), (QStringList {"W1 64=201", "W0 66=3"}));

    memory->clearJournal();
    memory->failWrites(12, {ITF_ERR_NO_DEVICE});
    EXPECT_EQ(failureOf([&] {
        ram.write({7, 8, 9, 10}, 10, ITF_RES_BYTE);
    }),
        "ITF_ERR_NO_DEVICE: failed to write parameter at memory address c. error code = -3");
    EXPECT_EQ(memory->journal(), (QStringList {"W0 a=7", "W0 b=8", "W0 c=9"}));
    EXPECT_EQ(memory->peek(11), 8u);

    memory->clearJournal();
    memory->failWrites(20, {ITF_ERR_TIMEOUT});
    EXPECT_EQ(failureOf([&] { ram.write({1}, 20, ITF_RES_BYTE); }),
        "failed to write parameter at memory address 14. error code = -6");
    EXPECT_EQ(failureOf([&] { ram.write({1}, 20, ITF_RES_LONG); }), "Invalid network resolution provided 2");
    EXPECT_EQ(memory->journal(), (QStringList {"W0 14=1"}));
}

TEST_F(MemoryTest, ValidationRefusesBeforeAnyAccess)
{
    RamMemoryReadWrite ram(new MemoryEncoder(), new FlashMemoryDecoder(), memory);
    RamMemoryReadWrite none(new MemoryEncoder(), new FlashMemoryDecoder(), nullptr);
    const struct
    {
        std::function<void()> call;
        const char* failure;
    } rows[] = {
        {[&] { ram.write({}, 0); }, "byte array is empty. a valid byte array must be provided!"},
        {[&] { ram.write({1}, -1); }, "address specified can not be a negative value."},
        {[&] { ram.read(-1, 5); }, "address specified can not be a negative value."},
        {[&] { ram.read(5, -1); }, "address specified can not be a negative value."},
        {[&] { ram.read(5, 5); }, "end address must be higher than start address"},
        {[&] { none.write({1}, 0); },
            "no raw interface set. A raw interface must be provided in constructor"},
        {[&] { none.read(0, 2); }, "no raw interface set. A raw interface must be provided in constructor!"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(failureOf(row.call), row.failure);
    EXPECT_TRUE(memory->journal().isEmpty());
}

TEST_F(MemoryTest, RamReadDecodesAndStopsAtAFailure)
{
    RamMemoryReadWrite ram(new MemoryEncoder(), new FlashMemoryDecoder(), memory);
    memory->poke(0x3D00, 0x1AB);
    memory->poke(0x3D01, 0x2CD);
    EXPECT_EQ(ram.read(0x3D00, 0x3D01), (QList<int> {0xAB, 0xCD, 0x21}));
    memory->failReads(0x3D01, {ITF_ERR_NO_REPLY});
    EXPECT_EQ(failureOf([&] { ram.read(0x3D00, 0x3D01); }),
        "failed to read parameter at memory address 15617. error code = -11");
}

// Each step of a buffered write that fails throws its own text and sends none
// of the later steps.
TEST_F(MemoryTest, BufferedWriteStepsAndTheirFailures)
{
    const struct
    {
        int failAddress;
        int failAt; // index of the failing write among the step's writes
        int status;
        const char* failure;
        int accesses;
    } rows[] = {
        {0x4740, 0, ITF_ERR_NO_DEVICE, "ITF_ERR_NO_DEVICE: target flash row address could not be written", 1},
        {0x4743, 0, ITF_ERR_TIMEOUT, "failed to write parameter at memory address 4743. error code = -6", 3},
        {254, 0, ITF_ERR_TIMEOUT, "dump of ram buffer to flash row failed in step 1", 4},
        {254, 1, ITF_ERR_NO_DEVICE, "ITF_ERR_NO_DEVICE: dump of ram buffer to flash row failed in step 2", 5},
    };
    const QList<int> bytes {1, 2, 3};
    const QStringList all = regionJournal(16, bytes);
    for (const auto& row : rows) {
        QObject device;
        auto* memory = new FakeMemoryInterface(&device, QStringLiteral("presmonde"));
        QList<int> statuses;
        for (int i = 0; i < row.failAt; ++i)
            statuses << 0;
        memory->failWrites(row.failAddress, statuses << row.status);
        RamBufferMemoryReadWrite buffer(memory);
        EXPECT_EQ(failureOf([&] { buffer.write(bytes, 16, ITF_RES_WORD); }), row.failure);
        EXPECT_EQ(memory->journal(), all.mid(0, row.accesses));
        EXPECT_EQ(buffer.flashTarget(), 16);
    }

    // Byte mode writes the RAM addresses without the wide-access flag; a width
    // that cannot be written fails after the flash target.
    RamBufferMemoryReadWrite buffer(memory);
    buffer.write({5, 6}, 12, ITF_RES_BYTE);
    EXPECT_EQ(memory->journal(), (QStringList {"W0 740=c", "W0 741=5", "W0 742=6", "W0 fe=c3", "W0 fe=b7"}));
    EXPECT_EQ(buffer.flashTarget(), 12);
    memory->clearJournal();
    EXPECT_EQ(
        failureOf([&] { buffer.write({5}, 10, ITF_RES_LONG); }), "Invalid network resolution provided 2");
    EXPECT_EQ(memory->journal(), (QStringList {"W0 4740=a"}));
}

// A profile goes in chunks of 45 bytes to the regions 16, 14, 12 and 10, then
// the firmware status is read once.
TEST_F(MemoryTest, ProfileWritesChunksInRegionOrder)
{
    const int regions[] = {16, 14, 12, 10};
    for (int size : {0, 1, 45, 46, 180}) {
        memory->clearJournal();
        const QList<int> bytes = byteRun(size);
        QStringList expected;
        for (int k = 0; k * 45 < size; ++k)
            expected += regionJournal(regions[k], bytes.mid(k * 45, 45));
        expected << kStatusRead;
        LightShapeRamBufferMemoryReadWrite writer(memory);
        EXPECT_EQ(writer.writeProfiles(bytes), bytes) << size;
        EXPECT_EQ(memory->journal(), expected) << size;
    }
    memory->clearJournal();
    LightShapeRamBufferMemoryReadWrite writer(memory);
    EXPECT_EQ(failureOf([&] { writer.writeProfiles(byteRun(181)); }),
        "invalid byte package size. max number of bytes possible to store in lx profile region is 180");
    EXPECT_EQ(failureOf([&] {
        writer.writeProfileToRegion(byteRun(46), LightShapeRamBufferMemoryReadWrite::REGION_1);
    }),
        "invalid byte package size. max number of bytes to store in a region is 45");
    EXPECT_TRUE(memory->journal().isEmpty());
}

TEST_F(MemoryTest, ProfileFailuresStopTheWrite)
{
    LightShapeRamBufferMemoryReadWrite writer(memory);
    // The second region's dump fails: the first region keeps its content, the
    // later ones are not written and the status is not read.
    memory->failWrites(254, {0, 0, 0, ITF_ERR_TIMEOUT});
    EXPECT_EQ(failureOf([&] { writer.writeProfiles(byteRun(100)); }),
        "dump of ram buffer to flash row failed in step 2");
    EXPECT_EQ(memory->journal(), regionJournal(16, byteRun(45)) + regionJournal(14, byteRun(45, 46)));

    memory->clearJournal();
    memory->poke(7864, 5);
    EXPECT_EQ(failureOf([&] { writer.writeProfiles({1}); }),
        "a problem occured while writing lx profile data to device (fw status code: 5)");
    EXPECT_EQ(writer.status(), 5);

    // A status that cannot be read is a failure, not the status 0.
    memory->poke(7864, 0);
    memory->failReads(7864, {ITF_ERR_NO_DEVICE, ITF_ERR_TIMEOUT});
    EXPECT_EQ(failureOf([&] { writer.writeProfiles({}); }),
        "ITF_ERR_NO_DEVICE: lx profile status could not be read at memory address 7864. error code = -3");
    EXPECT_EQ(failureOf([&] { writer.status(); }),
        "lx profile status could not be read at memory address 7864. error code = -6");
    EXPECT_EQ(writer.status(), 0);
}

TEST_F(MemoryTest, DumpReadsTheDataWordsOfTheRegions)
{
    LightShapeRamBufferMemoryReadWrite writer(memory);
    memory->poke(0x3D00, 0x107); // region 1: bytes 7, 0, 1
    memory->poke(0x3CE0, 0x009); // region 2: byte 9 first
    memory->poke(0x3CBD, 0x200); // region 4: last word, byte 0x20 last
    EXPECT_EQ(writer.dump(true, LightShapeRamBufferMemoryReadWrite::DUMP_REGION_1), (QList<int> {7, 0, 1}));
    memory->clearJournal();
    const QList<int> second = writer.dump(false, LightShapeRamBufferMemoryReadWrite::DUMP_REGION_2);
    EXPECT_EQ(second.size(), 45);
    EXPECT_EQ(second.first(), 9);
    EXPECT_EQ(memory->journal().size(), 30);
    EXPECT_EQ(memory->journal().first(), "R1 3ce0");
    EXPECT_EQ(memory->journal().last(), "R1 3cfd");

    const QList<int> all = writer.dump(true, LightShapeRamBufferMemoryReadWrite::DUMP_ALL);
    EXPECT_EQ(all.size(), 180);
    EXPECT_EQ(all.mid(0, 3), (QList<int> {7, 0, 1}));
    EXPECT_EQ(all.at(45), 9);
    EXPECT_EQ(all.last(), 0x20);
    memory->poke(0x3CBD, 0);
    EXPECT_EQ(writer.dump(true).size(), 46);
    for (int address : {0x3D00, 0x3CE0})
        memory->poke(address, 0);
    EXPECT_TRUE(writer.dump(true).isEmpty());

    const struct
    {
        int start, end;
        const char* failure;
    } rows[] = {
        {0x3D1E, 0x3D1F, "invalid start address 3d1e. this memory location is reserved for checksum"},
        {0x3CBF, 0x3CC0, "invalid start address 3cbf. this memory location is reserved for checksum"},
        {0x3000, 0x3010, "invalid start address 3000. For LX must be in range 3ca0->3d1d"},
        {0x3CA0, 0x3D1E, "invalid end address 3d1e. For LX must be higher than 3ca0->3d1d"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(failureOf([&] { writer.read(row.start, row.end); }), row.failure);
}

// Clients of the flash methods call the writer through its meta-object.
TEST_F(MemoryTest, InvokableWithDefaults)
{
    LightShapeRamBufferMemoryReadWrite writer(memory);
    memory->poke(0x3D00, 0x042);
    QList<int> result;
    ASSERT_TRUE(
        QMetaObject::invokeMethod(&writer, "dump", Qt::DirectConnection, Q_RETURN_ARG(QList<int>, result)));
    EXPECT_EQ(result, (QList<int> {0x42}));
    memory->clearJournal();
    ASSERT_TRUE(QMetaObject::invokeMethod(&writer, "write", Qt::DirectConnection,
        Q_RETURN_ARG(QList<int>, result), Q_ARG(QList<int>, QList<int>({1, 2})), Q_ARG(int, 16)));
    EXPECT_EQ(memory->journal(), regionJournal(16, {1, 2}));
}
