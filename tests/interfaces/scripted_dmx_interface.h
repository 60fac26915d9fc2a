#pragma once

#include "core/itf_error.h"
#include "interfaces/dmx/dmx_interface.h"
#include "protocol/dmx/dmx_packet.h"
#include "protocol/options.h"

#include <QStringList>
#include <QVariantMap>

#include <deque>
#include <vector>

namespace tarvesk::test {

// The option keys a bus interface may be handed, for recording what a sender passed.
inline QVariantMap optionsOf(const proto::Options& options)
{
    static const QLatin1String keys[] = {proto::option::ExpectAnswer, proto::option::SendTwice,
        proto::option::ModuleCheck, proto::option::SendToPhysicalDali, proto::option::InternalAddressing,
        proto::option::RetryInvalid, proto::option::Internal, proto::option::BananaMode,
        proto::option::DorvaneMaster, proto::option::Dorvane2, proto::option::IsDorvane,
        proto::option::DorvaneCorvalt, proto::option::AnswerTimeout, proto::option::SettlingTime,
        proto::option::StopbitTime, proto::option::RetryCount, proto::option::BreakTime};
    QVariantMap map;
    for (const QLatin1String& key : keys) {
        if (options.hasOption(key))
            map.insert(key, options.getOption(key));
    }
    return map;
}

// A frame with its additive checksum appended (the Wystrel checksum).
inline QByteArray withChecksum(std::initializer_list<int> bytes)
{
    QByteArray frame;
    quint8 sum = 0;
    for (int b : bytes) {
        frame.append(char(b));
        sum = quint8(sum + b);
    }
    frame.append(char(sum));
    return frame;
}

// A DMX line whose other end is a script: every frame and its options are
// recorded, and each sendDmx takes the next scripted reply (none left: status 0
// and no answer).
class ScriptedDmxInterface : public itf::DmxInterface
{
public:
    struct Reply
    {
        int status = core::ITF_OK;
        QByteArray bytes; // the answer frame; empty and no flags: no answer
        quint8 flags = 0;

        static Reply answer(const QByteArray& bytes) { return {core::ITF_OK, bytes, 0}; }
        static Reply timeoutEvent() { return {core::ITF_OK, QByteArray(), proto::PACKET_FLAG_TIMEOUT_EVENT}; }
        static Reply none() { return {}; }
        static Reply failure(int status) { return {status, QByteArray(), 0}; }
    };

    explicit ScriptedDmxInterface(core::Device* device = nullptr)
        : itf::DmxInterface(device)
    { }

    int sendDmx(proto::DmxPacket* packet, proto::DmxPacket** reply, proto::Options* options) override
    {
        sent << QString::fromLatin1(packet->getRawDataString().toHex(' ')).toUpper();
        sentOptions.push_back(options ? optionsOf(*options) : QVariantMap());
        if (replies.empty())
            return core::ITF_OK;
        const Reply next = replies.front();
        replies.pop_front();
        if (next.status == core::ITF_OK && (!next.bytes.isEmpty() || next.flags)) {
            auto* answer = new proto::DmxPacket(
                reinterpret_cast<const unsigned char*>(next.bytes.constData()), next.bytes.size());
            answer->setFlags(next.flags);
            *reply = answer;
        }
        return next.status;
    }

    std::deque<Reply> replies;
    QStringList sent;
    std::vector<QVariantMap> sentOptions;
};

} // namespace tarvesk::test
