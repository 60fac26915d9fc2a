#pragma once

#include "service/rpc_object.h"

namespace tarvesk::proto {
class RawPacket;
}

namespace tarvesk::service {

// The outcome of a raw send: {"status": "reply", "bytes": [...], "answer_time": ms}
// for a clean answer; otherwise only "status": "error" for a failed send or a
// garbled answer, and for no answer "timeout" when one was expected, else "ok".
// An answer packet without data bytes, a time-out event and an answer the
// module did not handle all count as no answer. The answer is only read; the
// caller keeps it.
class RpcTypeSendResult : public RpcObject
{
public:
    RpcTypeSendResult(int result, const proto::RawPacket* answer, bool expectAnswer);
};

} // namespace tarvesk::service
