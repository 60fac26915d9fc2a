#include "service/rpc/rpc_methods/lightshape/rpc_lightshape_profile_verify.h"

#include "service/rpc/rpc_methods/lightshape/colorlib/ilightshape_color_library.h"
#include "service/rpc_array.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <cmath>

namespace tarvesk::service {

namespace {

// Whether the client's "bytes" are exactly the profile: a JSON array of
// numbers with the profile's integer values. An element that is not a whole
// number (a text, null, 66.5) matches no byte.
bool sameBytes(const RpcValue* given, const QList<int>& profile)
{
    const RpcArray* array = given ? given->getArrayValue() : nullptr;
    const int count = array ? array->childCount() : 0;
    if (count != profile.size())
        return false;
    for (int i = 0; i < count; ++i) {
        const RpcValue* element = array->child(i);
        if (element->getType() != RpcValue::RPC_VALUE_DOUBLE
            || element->getDoubleValue() != static_cast<double>(profile[i]))
            return false;
    }
    return true;
}

} // namespace

RpcLightshapeProfileVerify::RpcLightshapeProfileVerify()
    : AbstractRpcLightshapeProfile(QStringLiteral("lightshape.profile.verify"))
{ }

QList<RpcRequestParameter> RpcLightshapeProfileVerify::inputParameters() const
{
    QList<RpcRequestParameter> parameters = AbstractRpcLightshapeProfile::inputParameters();
    parameters.append(RpcRequestParameter(RpcRequestEnums::PARAM_BYTES, QVariant(), true));
    return parameters;
}

RpcMethodError RpcLightshapeProfileVerify::handleRequest(RpcRequest* request, RpcResponse* response)
{
    AbstractLightshapeColorLibrary* lib = library(request);
    const QList<int> profile = lib->profile();
    response->setResultValue(new RpcValue(sameBytes(request->getParam(QStringLiteral("bytes")), profile)));
    return RpcMethodError(0, QString());
}

} // namespace tarvesk::service
