#pragma once

#include "service/rpc_object.h"

#include <QString>
#include <QVector>

namespace tarvesk::service {

// The outcome of a raw memory access: {"status": "ok", "bytes": [...]} when
// the status text is exactly "ok", otherwise {"status": ..., "error_code": n}.
class RpcTypeRawSendResult : public RpcObject
{
public:
    RpcTypeRawSendResult(const QString& status, int value, int errorCode);
    RpcTypeRawSendResult(const QString& status, const QVector<int>& values, int errorCode);
};

} // namespace tarvesk::service
