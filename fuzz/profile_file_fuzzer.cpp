// Reads arbitrary bytes as a profile file the way "profile.load" does: the
// first byte says whether the rest is taken as the compressed layout (odd) or
// as plain text (even). The inflater must never give more than the header
// announces nor more than the limit; a text that parses as profiles goes
// through the renaming of earlier parameter names, which keeps every input
// parameter and adds at most one more per parameter and two besides.
#include "core/file/qcompress_inflater.h"
#include "quiet_log.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/profile/profile_method_support.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_load.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <cstdlib>

using tarvesk::core::QCompressInflater;
using tarvesk::service::RpcProfileLoad;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    silenceLogOnce();
    if (size < 1 || size > 1000001)
        return 0;
    QByteArray bytes(reinterpret_cast<const char*>(data + 1), int(size - 1));
    if (data[0] & 1) {
        const auto inflated = QCompressInflater::inflate(bytes, RpcProfileLoad::maximumUncompressedSize);
        if (quint32(inflated.data.size()) > inflated.announced
            || quint32(inflated.data.size()) > RpcProfileLoad::maximumUncompressedSize)
            std::abort();
        if (inflated.status != QCompressInflater::Status::Ok)
            return 0;
        bytes = inflated.data;
    } else {
        bytes.replace('\r', QByteArray());
    }
    const int zero = bytes.indexOf('\0');
    const QString text = QString::fromUtf8(zero < 0 ? bytes : bytes.left(zero));

    QJsonArray profiles;
    try {
        profiles = tarvesk::service::profile_support::profileArrayOf(text);
    } catch (const JsonRpcException&) {
        return 0;
    }
    for (const QJsonValue& profile : profiles) {
        const QJsonArray parameters = profile.toObject().value(QStringLiteral("parameters")).toArray();
        const QJsonArray renamed = RpcProfileLoad::asdjustParamsForBackwardsCompatibility(parameters);
        if (renamed.size() < parameters.size() || renamed.size() > 2 * parameters.size() + 2)
            std::abort();
    }
    return 0;
}
