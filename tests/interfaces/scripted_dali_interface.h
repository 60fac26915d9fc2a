#pragma once

#include "core/itf_error.h"
#include "interfaces/dali_interface.h"
#include "protocol/dali/dali_packet.h"
#include "protocol/options.h"

#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace tarvesk::test {

// A DALI interface whose bus is a script: every frame is written to a journal
// ("C7 12 ?" = a special frame that awaits an answer, "03 81 x2" = sent twice),
// and a responder decides what each frame brings back.
class ScriptedDaliInterface : public itf::DaliInterface
{
public:
    struct Sent
    {
        unsigned char first = 0;
        unsigned char second = 0;
        bool twice = false;
        bool expectAnswer = false;
        bool moduleCheck = false;
        double settling = 0, answerTimeout = 0, stopbit = 0;
        QString text() const
        {
            QString s = QStringLiteral("%1 %2")
                            .arg(first, 2, 16, QLatin1Char('0'))
                            .arg(second, 2, 16, QLatin1Char('0'))
                            .toUpper();
            if (twice)
                s += QStringLiteral(" x2");
            if (expectAnswer)
                s += QStringLiteral(" ?");
            return s;
        }
    };

    // What the bus did with one frame.
    struct Outcome
    {
        int status = core::ITF_OK;
        enum Kind { NoPacket, Answer, Silence, Collision, Bytes } kind = NoPacket;
        unsigned char byte = 0;
        std::vector<unsigned char> bytes;

        static Outcome answer(unsigned char b) { return {core::ITF_OK, Answer, b, {}}; }
        static Outcome silence() { return {core::ITF_OK, Silence, 0, {}}; }
        // A garbled backward frame; `decoded` is what the receiver made of it.
        static Outcome collision(std::optional<unsigned char> decoded = std::nullopt)
        {
            return decoded ? Outcome {core::ITF_OK, Collision, *decoded, {*decoded}}
                           : Outcome {core::ITF_OK, Collision, 0, {}};
        }
        static Outcome failure(int status) { return {status, NoPacket, 0, {}}; }
        static Outcome frame(std::vector<unsigned char> b) { return {core::ITF_OK, Bytes, 0, std::move(b)}; }
    };

    using Responder = std::function<Outcome(const Sent&)>;

    ScriptedDaliInterface()
        : DaliInterface(nullptr)
    { }

    // Queries get silence unless the responder says otherwise.
    Responder responder;
    std::vector<Sent> sent;

    QStringList journal() const
    {
        QStringList lines;
        for (const Sent& s : sent)
            lines << s.text();
        return lines;
    }

    // Answers queries from a list, in order; other frames get nothing.
    void answerQueries(std::vector<Outcome> outcomes)
    {
        auto queue = std::make_shared<std::vector<Outcome>>(std::move(outcomes));
        responder = [queue](const Sent& s) {
            if (!s.expectAnswer || queue->empty())
                return Outcome::silence();
            Outcome next = queue->front();
            queue->erase(queue->begin());
            return next;
        };
    }

    int sendDali(proto::DaliPacket* cmd, proto::DaliPacket** reply, proto::Options* options) override
    {
        Sent s;
        s.first = cmd->getByte0();
        s.second = cmd->getByte1();
        s.twice = options->isOptionTrue(QStringLiteral("send_twice"));
        s.expectAnswer = options->isOptionTrue(QStringLiteral("expect_answer"));
        s.moduleCheck = options->isOptionTrue(QStringLiteral("module_check"));
        s.settling = options->getOption(QStringLiteral("settling_time")).toDouble();
        s.answerTimeout = options->getOption(QStringLiteral("answer_timeout")).toDouble();
        s.stopbit = options->getOption(QStringLiteral("stopbit_time")).toDouble();
        sent.push_back(s);

        const Outcome out = responder ? responder(s) : Outcome::silence();
        switch (out.kind) {
        case Outcome::NoPacket:
            break;
        case Outcome::Answer:
            *reply = new proto::DaliPacket(&out.byte, 1);
            break;
        case Outcome::Silence:
            *reply = new proto::DaliPacket();
            (*reply)->setFlags(proto::PACKET_FLAG_TIMEOUT_EVENT);
            break;
        case Outcome::Collision:
            *reply = new proto::DaliPacket(out.bytes.data(), int(out.bytes.size()));
            (*reply)->setFlags(proto::PACKET_FLAG_FRAME_ERROR);
            break;
        case Outcome::Bytes:
            *reply = new proto::DaliPacket(out.bytes.data(), int(out.bytes.size()));
            break;
        }
        return out.status;
    }

    // The internal senders, for the tests of their option handling.
    using DaliInterface::_sendCommand;
    using DaliInterface::_specialCommand;
};

} // namespace tarvesk::test
