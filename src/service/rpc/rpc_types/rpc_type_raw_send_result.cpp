#include "service/rpc/rpc_types/rpc_type_raw_send_result.h"

#include "service/rpc_array.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

RpcTypeRawSendResult::RpcTypeRawSendResult(const QString& status, int value, int errorCode)
    : RpcTypeRawSendResult(status, QVector<int> {value}, errorCode)
{ }

RpcTypeRawSendResult::RpcTypeRawSendResult(const QString& status, const QVector<int>& values, int errorCode)
{
    addChild(QStringLiteral("status"), new RpcValue(status));
    if (status == QLatin1String("ok")) {
        auto* bytes = new RpcArray;
        for (int value : values)
            bytes->addChild(new RpcValue(value));
        addChild(QStringLiteral("bytes"), bytes);
    } else {
        addChild(QStringLiteral("error_code"), new RpcValue(errorCode));
    }
}

} // namespace tarvesk::service
