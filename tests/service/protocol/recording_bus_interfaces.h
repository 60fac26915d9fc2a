#pragma once

#include "core/itf_error.h"
#include "interfaces/dali_interface.h"
#include "interfaces/dmx/dmx_interface.h"
#include "interfaces/dmx/spi_interface.h"
#include "interfaces/dorvane/dorvane_interface.h"
#include "protocol/dali/dali_packet.h"
#include "protocol/dmx/dmx_packet.h"
#include "protocol/dorvane/dorvane_packet.h"
#include "protocol/options.h"
#include "protocol/spi/spi_packet.h"

#include <QVariantMap>

#include <optional>

namespace tarvesk::test {

// One send as a bus interface saw it.
struct RecordedSend
{
    QByteArray bytes;
    QVariantMap options;
    int action = -1;   // Dorvane only
    int nordhune = -1; // SPI only
};

// What the bus does with the next send: a status and, when set, an answer
// packet with those bytes and flags (also with a failing status, so that a
// leak of it shows).
struct ScriptedOutcome
{
    int status = core::ITF_OK;
    std::optional<QByteArray> answer;
    quint8 flags = 0;
    double timeSinceLast = 0;
};

inline QVariantMap recordedOptions(const proto::Options* options)
{
    namespace option = proto::option;
    static const QLatin1String keys[] = {option::ExpectAnswer, option::SendTwice, option::ModuleCheck,
        option::FullBitbang, option::SendToPhysicalDali, option::InternalAddressing, option::RetryInvalid,
        option::Internal, option::BananaMode, option::WaitForIdle, option::Encryption, option::DorvaneMaster,
        option::Dorvane2, option::IsDorvane, option::DorvaneCorvalt, option::AnswerTimeout,
        option::SettlingTime, option::StopbitTime, option::RetryCount, option::BreakTime};
    QVariantMap map;
    for (const QLatin1String& key : keys) {
        if (options && options->hasOption(key))
            map.insert(key, options->getOption(key));
    }
    if (options && options->hasOption(QStringLiteral("uart_speed")))
        map.insert(QStringLiteral("uart_speed"), options->getOption(QStringLiteral("uart_speed")));
    return map;
}

// Records every send and answers with `next`.
template <class Packet> class Recorder
{
public:
    std::vector<RecordedSend> sends;
    ScriptedOutcome next;

protected:
    int record(const Packet* packet, Packet** reply, const proto::Options* options, RecordedSend send = {})
    {
        send.bytes = packet->getRawDataString();
        send.options = recordedOptions(options);
        sends.push_back(send);
        if (next.answer) {
            auto* answer = new Packet(
                reinterpret_cast<const unsigned char*>(next.answer->constData()), next.answer->size());
            answer->setFlags(next.flags);
            answer->setTimeSinceLast(next.timeSinceLast);
            *reply = answer;
        }
        return next.status;
    }
};

class RecordingDaliInterface : public itf::DaliInterface, public Recorder<proto::DaliPacket>
{
public:
    RecordingDaliInterface()
        : DaliInterface(nullptr)
    { }
    int sendDali(proto::DaliPacket* packet, proto::DaliPacket** reply, proto::Options* options) override
    {
        return record(packet, reply, options);
    }
    FrameSizes frameSizes(bool fullBitbang) const override
    {
        return fullBitbang ? bitbangSizes : frameSizesOf;
    }
    FrameSizes frameSizesOf {1, 4};
    FrameSizes bitbangSizes {1, 62};
};

class RecordingDmxInterface : public itf::DmxInterface, public Recorder<proto::DmxPacket>
{
public:
    RecordingDmxInterface()
        : DmxInterface(nullptr)
    { }
    int sendDmx(proto::DmxPacket* packet, proto::DmxPacket** reply, proto::Options* options) override
    {
        return record(packet, reply, options);
    }
};

class RecordingSpiInterface : public itf::SpiInterface, public Recorder<proto::SpiPacket>
{
public:
    RecordingSpiInterface()
        : SpiInterface(nullptr)
    { }
    int sendSpi(proto::SpiPacket* packet, proto::SpiPacket** reply, proto::Options* options) override
    {
        RecordedSend send;
        send.nordhune = packet->getNordhune();
        return record(packet, reply, options, send);
    }
};

class RecordingDorvaneInterface : public itf::DorvaneInterface, public Recorder<proto::DorvanePacket>
{
public:
    RecordingDorvaneInterface()
        : DorvaneInterface(nullptr)
    { }
    DorvaneState getDorvaneState() const override { return state; }
    void setDorvaneState(DorvaneState s) override { state = s; }
    void init() override { }
    int sendDorvane(proto::DorvanePacket* packet, proto::DorvanePacket** reply, proto::Options* options,
        DorvaneAction action) override
    {
        RecordedSend send;
        send.action = action;
        const int status = record(packet, reply, options, send);
        // As the box's interface does: the options it is handed come back changed.
        options->addOption(proto::option::ExpectAnswer, true);
        return status;
    }
    bool isDorvaneDeviceConnected() override { return true; }
    int getParameter(core::NetworkResolution, int, unsigned int&) override { return core::ITF_OK; }
    int setParameter(core::NetworkResolution, int, unsigned int) override { return core::ITF_OK; }

    DorvaneState state = DORVANE_1_DEVICE;
};

} // namespace tarvesk::test
