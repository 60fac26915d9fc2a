#include "http_test_client.h"
#include "service_process.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <vector>

using qmtest::ServiceProcess;

namespace {

QString sourceDir()
{
    return QString::fromLocal8Bit(qgetenv("QM_SOURCE_DIR"));
}

QString readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// What README says a reply holds, after "# => ": fragments of the reply separated
// by "...", found in that order; blanks do not count, so that the compact text
// of the README matches the indented reply.
bool replyMatches(QString reply, QString expected)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    reply.remove(blanks);
    expected.remove(blanks);
    int from = 0;
    for (const QString& fragment : expected.split(QStringLiteral("..."), Qt::SkipEmptyParts)) {
        const int at = reply.indexOf(fragment, from);
        if (at < 0)
            return false;
        from = at + fragment.size();
    }
    return true;
}

struct Expectation
{
    int readmeLine;
    QString text;
};

// The shell examples between one start of the service and the next, as a
// reader types them into one terminal.
struct Session
{
    int readmeLine = 0;
    QString bench; // relative to the source folder; empty: real USB
    QStringList arguments;
    QStringList script;           // bash lines
    std::vector<int> scriptLines; // README line of each script line
};

// Every curl call leaves its output in reply_<n> and the README line it came
// from in reply_<n>.at; "# => " checks the latest reply.
const char* const Prelude = R"(set -eo pipefail
echo 0 > "$QM_REPLIES/count"
curl() {
    local n=$(( $(cat "$QM_REPLIES/count") + 1 ))
    echo $n > "$QM_REPLIES/count"
    echo "${BASH_LINENO[-1]}" > "$QM_REPLIES/reply_$n.at"
    command curl "$@" | tee "$QM_REPLIES/reply_$n"
}
__expect() { echo "$(cat "$QM_REPLIES/count") $1" >> "$QM_REPLIES/expect"; }
)";

class ReadmeExamples : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QStringList lines = readText(sourceDir() + "/README.md").split('\n');
        ASSERT_GT(lines.size(), 100);
        const QRegularExpression start(QStringLiteral(
            R"(^(?:QM_SIM_BENCH=(\S+)\s+)?bash scripts/run\.sh((?:\s+-[-\w]+)*)\s*&?\s*(?:#.*)?$)"));
        bool inShell = false;
        // The shell functions defined so far: a reader's terminal keeps them
        // when the service starts again on another bench.
        QStringList helpers;
        std::vector<int> helperLines;
        const QRegularExpression function(QStringLiteral(R"(^[A-Za-z_]\w*\(\)\s*\{)"));
        bool inFunction = false;
        for (int i = 0; i < lines.size(); ++i) {
            const QString& line = lines.at(i);
            const int readmeLine = i + 1;
            if (!inShell) {
                inShell = line.trimmed() == QLatin1String("```sh");
                // An example outside a shell block would go unchecked.
                const bool example = line.contains(QLatin1String("127.0.0.1:8012"))
                    || line.trimmed().startsWith(QLatin1String("rpc "));
                EXPECT_FALSE(line.startsWith(QLatin1String("    ")) && example)
                    << "README.md:" << readmeLine << " is an example outside a ```sh block";
                continue;
            }
            if (line.trimmed() == QLatin1String("```")) {
                inShell = false;
                continue;
            }
            const QRegularExpressionMatch started = start.match(line.trimmed());
            if (started.hasMatch()) {
                sessions.push_back(Session {readmeLine, started.captured(1),
                    started.captured(2).split(' ', Qt::SkipEmptyParts), helpers, helperLines});
                continue;
            }
            if (line.trimmed() == QLatin1String("bash scripts/test.sh"))
                continue;
            ASSERT_FALSE(sessions.empty())
                << "README.md:" << readmeLine << " runs before the service is started";
            Session& session = sessions.back();
            const int mark = line.indexOf(QLatin1String("# => "));
            QString command = mark < 0 ? line : line.left(mark);
            while (command.endsWith(' '))
                command.chop(1);
            if (!command.trimmed().isEmpty()) {
                session.script << command;
                session.scriptLines.push_back(readmeLine);
                if (inFunction || function.match(command).hasMatch()) {
                    helpers << command;
                    helperLines.push_back(readmeLine);
                    inFunction = !command.trimmed().endsWith('}');
                }
            }
            if (mark >= 0) {
                session.script << QStringLiteral("__expect %1").arg(expectations.size());
                session.scriptLines.push_back(readmeLine);
                expectations.push_back(Expectation {readmeLine, line.mid(mark + 5).trimmed()});
            }
        }
        EXPECT_FALSE(inShell) << "README.md ends inside a ```sh block";
    }

    // Starts the service for the session, runs its examples and checks every
    // reply: the ones README describes hold what it says, the others are no
    // JSON-RPC error. Returns the expectations that were checked.
    std::vector<int> run(const Session& session)
    {
        SCOPED_TRACE("the session started at README.md:" + std::to_string(session.readmeLine));
        std::vector<int> checked;
        ServiceProcess service;
        // README names the folders under ~ as a desktop has them.
        service.environment().remove("XDG_DATA_HOME");
        service.environment().remove("XDG_CONFIG_HOME");
        if (!session.bench.isEmpty())
            service.environment().insert("QM_SIM_BENCH", sourceDir() + "/" + session.bench);
        else
            service.environment().remove("QM_SIM_BENCH");
        const int port = qmtest::freeLoopbackPort();
        if (!service.startServing(port, session.arguments)) {
            ADD_FAILURE() << "the service did not start: " << service.standardError().toStdString();
            return checked;
        }

        QTemporaryDir replies;
        QString script = QString::fromLatin1(Prelude);
        const int preludeLines = script.count('\n');
        for (const QString& line : session.script)
            script += QString(line).replace(
                          QLatin1String("127.0.0.1:8012"), QStringLiteral("127.0.0.1:%1").arg(port))
                + '\n';
        QProcess bash;
        QProcessEnvironment env = service.environment();
        env.insert("QM_REPLIES", replies.path());
        bash.setProcessEnvironment(env);
        bash.setWorkingDirectory(sourceDir());
        bash.start("bash", {"-c", script});
        const bool finished = bash.waitForFinished(300000);
        const QString output = QString::fromUtf8(bash.readAllStandardOutput());
        const QString errors = QString::fromUtf8(bash.readAllStandardError());
        if (!finished)
            bash.kill();
        const auto readmeLineOf = [&](int scriptLine) {
            const int index = scriptLine - preludeLines - 1;
            return index >= 0 && index < int(session.scriptLines.size())
                ? session.scriptLines.at(size_t(index))
                : 0;
        };
        EXPECT_TRUE(finished && bash.exitStatus() == QProcess::NormalExit && bash.exitCode() == 0)
            << "the examples stopped: " << errors.toStdString() << "\n"
            << output.right(3000).toStdString();

        std::map<int, std::vector<int>> expectedOfReply;
        for (const QString& entry : readText(replies.filePath("expect")).split('\n', Qt::SkipEmptyParts)) {
            const QStringList fields = entry.split(' ');
            expectedOfReply[fields.at(0).toInt()].push_back(fields.at(1).toInt());
        }
        const int count = readText(replies.filePath("count")).trimmed().toInt();
        for (int n = 1; n <= count; ++n) {
            const QString reply = readText(replies.filePath(QStringLiteral("reply_%1").arg(n)));
            const int line
                = readmeLineOf(readText(replies.filePath(QStringLiteral("reply_%1.at").arg(n))).toInt());
            const auto expected = expectedOfReply.find(n);
            if (expected == expectedOfReply.end()) {
                const QJsonObject object = QJsonDocument::fromJson(reply.toUtf8()).object();
                EXPECT_FALSE(object.contains("error"))
                    << "README.md:" << line << " answers an error it does not mention:\n"
                    << reply.toStdString();
                continue;
            }
            for (int e : expected->second) {
                checked.push_back(e);
                EXPECT_TRUE(replyMatches(reply, expectations.at(size_t(e)).text))
                    << "README.md:" << expectations.at(size_t(e)).readmeLine << " expects "
                    << expectations.at(size_t(e)).text.toStdString() << "\n but the reply is\n"
                    << reply.toStdString();
            }
        }
        if (expectedOfReply.count(0))
            ADD_FAILURE() << "an expectation before any reply";
        return checked;
    }

    std::vector<Session> sessions;
    std::vector<Expectation> expectations;
};

TEST(ReadmeReplyMatching, FragmentsInOrderWithoutBlanks)
{
    const QString reply = QStringLiteral("{\n    \"result\": {\n        \"bytes\": [\n 141,\n 0\n ],\n"
                                         "        \"status\": \"reply\"\n    }\n}\n");
    EXPECT_TRUE(replyMatches(reply, "\"bytes\": [141, ...], \"status\": \"reply\""));
    EXPECT_TRUE(replyMatches(reply, "\"status\": \"reply\""));
    EXPECT_FALSE(replyMatches(reply, "\"status\": \"reply\" ... \"bytes\""));
    EXPECT_FALSE(replyMatches(reply, "\"bytes\": [142"));
}

// Each shell example of README.md runs as printed against the service (on the
// bench its section starts), and every reply README shows is what the service
// answers.
TEST_F(ReadmeExamples, RunAsPrinted)
{
    ASSERT_GE(sessions.size(), 2u);
    std::vector<bool> reached(expectations.size(), false);
    for (const Session& session : sessions) {
        if (session.script.isEmpty())
            continue;
        for (int e : run(session))
            reached.at(size_t(e)) = true;
    }
    for (size_t e = 0; e < expectations.size(); ++e)
        EXPECT_TRUE(reached.at(e)) << "README.md:" << expectations.at(e).readmeLine << " was never checked";
    EXPECT_GE(expectations.size(), 20u);
}

} // namespace
