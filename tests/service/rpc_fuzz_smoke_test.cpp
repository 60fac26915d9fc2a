// A short, fixed run of the JSON-RPC fuzz target's checks with the normal
// toolchain: the seed corpus plus deterministic mutations of it. The full
// libFuzzer run is described in fuzz/README.md.

#include "../../fuzz/rpc_fuzz_harness.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <random>

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) { }

QList<QByteArray> seeds()
{
    const QByteArray root = qgetenv("QM_SOURCE_DIR");
    const QString source = root.isEmpty() ? QFileInfo(QStringLiteral(__FILE__)).absolutePath() + "/../.."
                                          : QString::fromLocal8Bit(root);
    QDir corpus(source + "/fuzz/corpus/rpc_request");
    QList<QByteArray> result;
    const QStringList files = corpus.entryList(QDir::Files, QDir::Name);
    for (const QString& name : files) {
        QFile file(corpus.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            result.append(file.readAll());
    }
    return result;
}

QByteArray mutate(QByteArray input, std::mt19937& random)
{
    static const QByteArray tokens[]
        = {"\"0x", "null", "1e300", "-2147483649", "9223372036854775807", "[", "]", "{", "}", ",", ":", "\"",
            "\\u0000", "\xc3\xbc", "\xff", "\"params\":[1]", "\"bytes\":[256]", "\"value\":\"nan\""};
    const int edits = 1 + int(random() % 4);
    for (int e = 0; e < edits; ++e) {
        const int at = input.isEmpty() ? 0 : int(random() % uint(input.size()));
        switch (random() % 4) {
        case 0:
            if (!input.isEmpty())
                input[at] = char(random());
            break;
        case 1:
            input.insert(at, tokens[random() % (sizeof(tokens) / sizeof(tokens[0]))]);
            break;
        case 2:
            input.remove(at, int(random() % 8));
            break;
        default:
            input.insert(at, input.mid(at, int(random() % 16)));
            break;
        }
    }
    return input;
}

TEST(RpcFuzzSmoke, SeedsAndMutationsGetSoundReplies)
{
    const QtMessageHandler previous = qInstallMessageHandler(quiet);
    {
        tarvesk::fuzz::RpcFuzzHarness harness;
        const QList<QByteArray> corpus = seeds();
        ASSERT_GE(corpus.size(), 10);
        auto check = [&](const QByteArray& input) {
            const std::string fault
                = harness.run(reinterpret_cast<const uint8_t*>(input.constData()), size_t(input.size()));
            EXPECT_EQ(fault, "") << input.toStdString();
        };
        for (const QByteArray& seed : corpus)
            check(seed);
        std::mt19937 random(20240611);
        for (int i = 0; i < 3000; ++i)
            check(mutate(corpus.at(int(random() % uint(corpus.size()))), random));
    }
    qInstallMessageHandler(previous);
    tarvesk::service::AbstractRpcMethod::setApiMode(false);
    tarvesk::service::AbstractRpcMethod::setDatabase(nullptr);
}

} // namespace
