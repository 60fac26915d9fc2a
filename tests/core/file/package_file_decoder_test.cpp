#include "core/core_errors.h"
#include "core/file/package_file_decoder.h"
#include "core/file/packaged_file_loader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>
#include <unistd.h>

using tarvesk::core::FileError;
using tarvesk::core::PackagedFileLoader;
using tarvesk::core::PackageFileDecoder;

namespace {

// The package format written out by hand, independent of the codec: big-endian
// length fields, UTF-16BE names, XOR 0x9E, then Qt's qCompress framing.
struct RawRecord
{
    QString name;
    QByteArray data;
    bool nullData = false;
};

void appendBe32(QByteArray& out, quint32 value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((value >> shift) & 0xFF));
}

QByteArray handMadeStream(const QVector<RawRecord>& records)
{
    QByteArray out;
    for (const RawRecord& r : records) {
        appendBe32(out, quint32(r.name.size()));
        appendBe32(out, quint32(r.name.size() * 2));
        for (QChar c : r.name) {
            out.append(char(c.unicode() >> 8));
            out.append(char(c.unicode() & 0xFF));
        }
        appendBe32(out, quint32(r.data.size()));
        appendBe32(out, r.nullData ? 0xFFFFFFFFu : quint32(r.data.size()));
        out.append(r.data);
    }
    return out;
}

QByteArray scramble(QByteArray bytes)
{
    for (char& c : bytes)
        c = char(static_cast<unsigned char>(c) ^ 0x9E);
    return bytes;
}

quint32 be32(const QByteArray& bytes, int at)
{
    return (quint32(quint8(bytes[at])) << 24) | (quint32(quint8(bytes[at + 1])) << 16)
        | (quint32(quint8(bytes[at + 2])) << 8) | quint32(quint8(bytes[at + 3]));
}

// Parses a record stream by hand; fails the test on any inconsistency.
QVector<RawRecord> parseStream(const QByteArray& s)
{
    QVector<RawRecord> records;
    int at = 0;
    while (at < s.size()) {
        RawRecord r;
        const quint32 units = be32(s, at);
        EXPECT_EQ(be32(s, at + 4), units * 2);
        at += 8;
        for (quint32 i = 0; i < units; ++i, at += 2)
            r.name.append(QChar(ushort((quint8(s[at]) << 8) | quint8(s[at + 1]))));
        const quint32 length = be32(s, at);
        const quint32 count = be32(s, at + 4);
        EXPECT_TRUE(count == length || (length == 0 && count == 0xFFFFFFFFu));
        at += 8;
        r.data = s.mid(at, int(length));
        at += int(length);
        records.append(r);
    }
    EXPECT_EQ(at, s.size());
    return records;
}

void writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

class PackageFileDecoderTest : public ::testing::Test
{
protected:
    QTemporaryDir tmp;
    QString packageDir() const { return tmp.path(); }

    void writePackage(const QByteArray& bytes) { writeFile(tmp.filePath("data.1"), bytes); }

    void makeTree()
    {
        writeFile(tmp.filePath("src/data/product_database/Constants.JS"), "var A = 1;\n");
        writeFile(tmp.filePath("src/data/html/index.html"), "<html>\xc3\xa9</html>");
        writeFile(tmp.filePath("src/data/firmware_mods/empty.txt"), QByteArray());
        writeFile(tmp.filePath("src/data/bin/all.bin"), [] {
            QByteArray b;
            for (int i = 0; i < 256; ++i)
                b.append(char(i));
            return b;
        }());
        writeFile(tmp.filePath("src/data/.hidden"), "secret");
        writeFile(tmp.filePath("src/data/.git/config"), "secret");
    }
};

} // namespace

TEST_F(PackageFileDecoderTest, FolderRoundTripIsExactAndReadableByAnIndependentReader)
{
    makeTree();
    PackageFileDecoder writer(packageDir(), "data.1");
    writer.encodeDirToFile(tmp.filePath("src/data"));

    QFile file(tmp.filePath("data.1"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    // qCompress framing: announced payload length, then a zlib stream at level 9.
    ASSERT_GT(bytes.size(), 6);
    EXPECT_EQ(quint8(bytes[4]), 0x78);
    EXPECT_EQ(quint8(bytes[5]), 0xDA);
    const QByteArray stream = scramble(qUncompress(bytes));
    EXPECT_EQ(be32(bytes, 0), quint32(stream.size()));

    const QVector<RawRecord> records = parseStream(stream);
    QStringList names;
    for (const RawRecord& r : records)
        names << r.name;
    const QStringList expected {"data/bin/all.bin", "data/firmware_mods/empty.txt", "data/html/index.html",
        "data/product_database/constants.js"};
    EXPECT_EQ(names, expected); // ascending order on disk, lower case, no hidden entries
    EXPECT_EQ(records[0].data.size(), 256);
    EXPECT_EQ(records[0].data[255], char(255));
    EXPECT_TRUE(records[1].data.isEmpty());
    EXPECT_EQ(records[2].data, QByteArray("<html>\xc3\xa9</html>"));

    PackageFileDecoder reader(packageDir(), "data.1");
    reader.openAndDecodeFile();
    QStringList read = reader.fileNames();
    read.sort();
    EXPECT_EQ(read, expected);
    EXPECT_EQ(reader.filesDataMap(), writer.filesDataMap());
    EXPECT_EQ(reader.fileToByteArray("DATA/Product_Database/Constants.JS"), QByteArray("var A = 1;\n"));
}

TEST_F(PackageFileDecoderTest, ReadsAHandMadePackageInAnyOrderWithNullData)
{
    const QVector<RawRecord> records {
        {"Data/Z.txt", "zz"},
        {"data/a.txt", QByteArray("a\0b", 3), false},
        {"data/null.bin", QByteArray(), true},
    };
    writePackage(qCompress(scramble(handMadeStream(records)), 9));
    PackageFileDecoder decoder(packageDir(), "data.1");
    decoder.openAndDecodeFile();
    EXPECT_EQ(decoder.fileNames(), QStringList({"data/z.txt", "data/a.txt", "data/null.bin"}));
    EXPECT_EQ(decoder.fileToByteArray("data/z.txt"), QByteArray("zz"));
    EXPECT_TRUE(decoder.fileToByteArray("data/null.bin").isEmpty());

    // Decoding again adds: names twice, data once.
    decoder.openAndDecodeFile();
    EXPECT_EQ(decoder.fileNames().size(), 6);
    EXPECT_EQ(decoder.filesDataMap().size(), 3);
}

TEST_F(PackageFileDecoderTest, EmptyPackageFileHoldsNoFiles)
{
    writePackage(QByteArray());
    PackageFileDecoder decoder(packageDir(), "data.1");
    EXPECT_NO_THROW(decoder.openAndDecodeFile());
    EXPECT_TRUE(decoder.fileNames().isEmpty());

    // A package of zero records is valid too.
    writePackage(PackageFileDecoder::encodePackage({}));
    EXPECT_NO_THROW(decoder.openAndDecodeFile());
    EXPECT_TRUE(decoder.fileNames().isEmpty());
}

TEST_F(PackageFileDecoderTest, MissingNameThrowsFileErrorWithLowerCaseName)
{
    PackageFileDecoder decoder(packageDir(), "data.1");
    decoder.addFile("data/a.txt", "x");
    try {
        decoder.fileToByteArray("Data/Missing.TXT");
        FAIL();
    } catch (const FileError& e) {
        EXPECT_STREQ(e.what(), "File not found in package: data/missing.txt");
    }
    PackagedFileLoader loader(std::make_shared<PackageFileDecoder>(decoder));
    EXPECT_EQ(loader.loadFile("DATA/A.txt"), QByteArray("x"));
    EXPECT_THROW(loader.loadFile("data/b.txt"), FileError);
}

TEST_F(PackageFileDecoderTest, DamagedPackagesAreReportedAndLeaveTheDecoderUnchanged)
{
    const QByteArray good = handMadeStream({{"data/a.txt", "hello"}, {"data/b.txt", "world"}});
    QByteArray compressed = qCompress(scramble(good), 9);
    QByteArray corruptZlib = compressed;
    corruptZlib[corruptZlib.size() / 2] = char(corruptZlib[corruptZlib.size() / 2] ^ 0x55);

    struct Case
    {
        const char* what;
        QByteArray bytes;
        const char* message;
    };
    const Case cases[] = {
        {"shorter than the length header", QByteArray("\x00\x01", 2), "length header"},
        {"not zlib at all", QByteArray("this is not a package"), "cannot be uncompressed"},
        {"zlib stream corrupted", corruptZlib, "cannot be uncompressed"},
        {"record stream cut inside a record", qCompress(scramble(good.left(good.size() - 3)), 9),
            "record 2 is cut short"},
        {"record stream cut inside a length", qCompress(scramble(good.left(30)), 9), "record 1 is cut short"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writePackage(c.bytes);
        PackageFileDecoder decoder(packageDir(), "data.1");
        decoder.addFile("kept.txt", "kept");
        try {
            decoder.openAndDecodeFile();
            ADD_FAILURE() << "no error";
        } catch (const FileError& e) {
            EXPECT_NE(std::string(e.what()).find("Package file is damaged"), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
        EXPECT_EQ(decoder.fileNames(), QStringList({"kept.txt"}));
    }
}

// The data package comes from a separate packer. The leading length field of a
// record's name and of its data only repeat what the byte counts after them
// say, so a record whose leading fields disagree with its contents reads whole.
TEST_F(PackageFileDecoderTest, LeadingLengthFieldsThatDisagreeWithTheRecordAreIgnored)
{
    QByteArray stream;
    appendBe32(stream, 0);  // name length: 0, the name has 10 code units
    appendBe32(stream, 20); // name byte count
    for (char c : QByteArray("data/a.txt"))
        stream.append('\0').append(c);
    appendBe32(stream, 0xFFFFFFFFu); // data length: -1
    appendBe32(stream, 5);           // data byte count
    stream.append("hello");
    appendBe32(stream, 99); // name length: 99, the name has 1 code unit
    appendBe32(stream, 2);
    stream.append('\0').append('B');
    appendBe32(stream, 0x7FFFFFFFu); // data length: more than the whole stream
    appendBe32(stream, 2);
    stream.append("xy");
    ASSERT_EQ(stream.size(), 8 + 20 + 8 + 5 + 8 + 2 + 8 + 2);
    writePackage(qCompress(scramble(stream), 9));

    PackageFileDecoder decoder(packageDir(), "data.1");
    ASSERT_NO_THROW(decoder.openAndDecodeFile());
    EXPECT_EQ(decoder.fileNames(), QStringList({"data/a.txt", "b"}));
    EXPECT_EQ(decoder.fileToByteArray("data/a.txt"), QByteArray("hello"));
    EXPECT_EQ(decoder.fileToByteArray("b"), QByteArray("xy"));

    // Written again, the leading fields agree with the contents.
    const QVector<RawRecord> written
        = parseStream(scramble(qUncompress(PackageFileDecoder::encodePackage(decoder.filesDataMap()))));
    ASSERT_EQ(written.size(), 2);
    EXPECT_EQ(written[0].name, "b");
    EXPECT_EQ(written[1].data, QByteArray("hello"));
}

// A package file comes from outside (a download): its length header and its
// zlib stream must not make the reader allocate more than the header announces
// or than the limit, nor retry with ever larger buffers on a stream cut short.
TEST_F(PackageFileDecoderTest, UncompressedPayloadIsBoundedByItsHeaderAndTheLimit)
{
    const QByteArray stream = scramble(handMadeStream({{"data/a.bin", QByteArray(64 * 1024, 'z')}}));
    const QByteArray honest = qCompress(stream, 9);
    QByteArray understated = honest;
    qToBigEndian<quint32>(16, understated.data());
    QByteArray overLimit = honest;
    qToBigEndian<quint32>(PackageFileDecoder::maximumPayloadSize + 1, overLimit.data());
    const QByteArray cutShort = honest.left(honest.size() / 2);

    struct Case
    {
        const char* what;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"payload larger than its header announces", understated},
        {"header announces more than the limit", overLimit},
        {"zlib stream cut short", cutShort},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PackageFileDecoder decoder(packageDir(), "fw.pak");
        try {
            decoder.decodeData(c.bytes);
            ADD_FAILURE() << "no error";
        } catch (const FileError& e) {
            EXPECT_NE(std::string(e.what()).find("Package file is damaged"), std::string::npos) << e.what();
        }
        EXPECT_TRUE(decoder.fileNames().isEmpty());
    }
    PackageFileDecoder decoder(packageDir(), "fw.pak");
    decoder.decodeData(honest);
    EXPECT_EQ(decoder.fileToByteArray("data/a.bin").size(), 64 * 1024);
}

TEST_F(PackageFileDecoderTest, MissingPackageThrowsFileError)
{
    PackageFileDecoder decoder(packageDir(), "data.1");
    EXPECT_FALSE(decoder.exists());
    try {
        decoder.openAndDecodeFile();
        FAIL();
    } catch (const FileError& e) {
        EXPECT_EQ(
            std::string(e.what()), "Package File does not exist: " + decoder.packageFilePath().toStdString());
    }
}

TEST_F(PackageFileDecoderTest, WriteFailuresAreReportedAndLeaveNoPartialFile)
{
    PackageFileDecoder decoder(tmp.filePath("no/such/folder"), "data.1");
    decoder.addFile("data/a.txt", "a");
    EXPECT_THROW(decoder.writePackageFile(), FileError);
    EXPECT_FALSE(QFileInfo::exists(tmp.filePath("no/such/folder/data.1")));

    PackageFileDecoder fromMissingFolder(packageDir(), "data.1");
    EXPECT_THROW(fromMissingFolder.encodeDirToFile(tmp.filePath("absent")), FileError);
    EXPECT_FALSE(fromMissingFolder.exists());
}

TEST_F(PackageFileDecoderTest, UnreadableFolderFileIsAnErrorNotEmptyData)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    writeFile(tmp.filePath("src/data/locked.txt"), "x");
    QFile::setPermissions(tmp.filePath("src/data/locked.txt"), QFileDevice::Permissions());
    PackageFileDecoder decoder(packageDir(), "data.1");
    EXPECT_THROW(decoder.encodeDirToFile(tmp.filePath("src/data")), FileError);
    EXPECT_TRUE(decoder.fileNames().isEmpty());
    EXPECT_FALSE(decoder.exists());
}
