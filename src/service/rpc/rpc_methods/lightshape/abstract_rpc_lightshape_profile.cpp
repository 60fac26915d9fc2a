#include "service/rpc/rpc_methods/lightshape/abstract_rpc_lightshape_profile.h"

#include "log/logging_categories.h"
#include "service/rpc/rpc_methods/lightshape/colorlib/lightshape_color_library_factory.h"
#include "service/rpc_request.h"
#include "service/rpc_value.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace tarvesk::service {

AbstractRpcLightshapeProfile::AbstractRpcLightshapeProfile(const QString& name)
    : AbstractRpcMethod(name)
{ }

AbstractRpcLightshapeProfile::~AbstractRpcLightshapeProfile() = default;

QList<RpcRequestParameter> AbstractRpcLightshapeProfile::inputParameters() const
{
    using E = RpcRequestEnums;
    return {
        RpcRequestParameter(E::PARAM_VERSION, QStringLiteral("1.0"), false, E::TYPE_STRING),
        RpcRequestParameter(E::PARAM_STRATEGY, QVariant(), true),
        RpcRequestParameter(E::PARAM_CCT_1, QVariant(), true),
        RpcRequestParameter(E::PARAM_CCT_2, QVariant(), true),
        RpcRequestParameter(E::PARAM_LUMENS_1, QVariant(), true),
        RpcRequestParameter(E::PARAM_LUMENS_2, QVariant(), true),
        RpcRequestParameter(E::PARAM_CCT_MAX, QVariant(), true),
        RpcRequestParameter(E::PARAM_CCT_MIN, QVariant(), true),
        RpcRequestParameter(E::PARAM_LUMENS_MAX, QVariant(), true),
        RpcRequestParameter(E::PARAM_OPTIMIZATION_METHOD, QVariant(), true),
        RpcRequestParameter(E::PARAM_VF1, QVariant(), false),
        RpcRequestParameter(E::PARAM_VF2, QVariant(), false),
        RpcRequestParameter(E::PARAM_VSUPPLY, QVariant(), false),
        RpcRequestParameter(E::PARAM_DALI_DEVICE_TYPE_8, false, false),
    };
}

AbstractLightshapeColorLibrary* AbstractRpcLightshapeProfile::library(RpcRequest* request)
{
    const RpcValue* versionValue = request->getParam(QStringLiteral("version"));
    const QString version = versionValue ? versionValue->getStringValue() : QString();
    if (!_library || _library->version() != version) {
        _library.reset();
        _library = LightshapeColorLibraryFactory::create(version);
    }
    // Every parameter of the request goes to the library, with the defaults
    // the parameter check inserted and whatever handleRequest changed.
    const QJsonObject params
        = QJsonDocument::fromJson(request->serializeToJson(QJsonDocument::Compact).toUtf8())
              .object()
              .value(QStringLiteral("params"))
              .toObject();
    if (rpcServerMethod().isDebugEnabled()) {
        qCDebug(rpcServerMethod()).noquote()
            << "input params: " << QString::fromUtf8(QJsonDocument(params).toJson(QJsonDocument::Compact));
    }
    _library->setInputParameters(params);
    return _library.get();
}

} // namespace tarvesk::service
