#include "service/rpc/rpc_types/rpc_type_send_result.h"

#include "protocol/raw_packet.h"
#include "service/rpc_array.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

namespace {

// A packet that says nobody answered rather than what was answered.
bool isNoAnswer(const proto::RawPacket& answer)
{
    return answer.isTimeoutEvent() || answer.isNotHandledByModule()
        || (answer.getDataSize() == 0 && !answer.isFrameError());
}

} // namespace

RpcTypeSendResult::RpcTypeSendResult(int result, const proto::RawPacket* answer, bool expectAnswer)
{
    const QString status = QStringLiteral("status");
    const QString silence = expectAnswer ? QStringLiteral("timeout") : QStringLiteral("ok");
    if (result != 0) {
        addChild(status, new RpcValue(QStringLiteral("error")));
    } else if (!answer || isNoAnswer(*answer)) {
        addChild(status, new RpcValue(silence));
    } else if (answer->isFrameError()) {
        addChild(status, new RpcValue(QStringLiteral("error")));
    } else {
        addChild(status, new RpcValue(QStringLiteral("reply")));
        auto* bytes = new RpcArray;
        for (int i = 0; i < answer->getDataSize(); ++i)
            bytes->addChild(new RpcValue(int(answer->getUint8(i))));
        addChild(QStringLiteral("bytes"), bytes);
        addChild(QStringLiteral("answer_time"), new RpcValue(answer->getTimeSinceLast()));
    }
}

} // namespace tarvesk::service
