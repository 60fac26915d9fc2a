// Decodes arbitrary bytes as an RDM discovery response and as an RDM answer.
#include "protocol/dmx/rdm_packet.h"
#include "quiet_log.h"

#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <cstdlib>

using namespace tarvesk::proto;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    silenceLogOnce();
    if (size > size_t(RawPacket::MaxDataSize))
        return 0;

    RdmPacket packet(data, int(size));
    QString uid = QStringLiteral("stale");
    const int status = packet.decodeUid(uid);
    if (status == 0 && uid.size() != 13)
        std::abort();
    if (status != 0 && !uid.isEmpty())
        std::abort();

    packet.answer_isValid(CHECK_IGNORE_NONE);
    packet.getDeviceInfo();
    packet.getSensorDefinition();
    packet.getSensorValue();
    packet.calcVariables(nullptr);
    packet.getPacketInformation(nullptr);
    packet.getPacketTypeIdentString();
    return 0;
}
