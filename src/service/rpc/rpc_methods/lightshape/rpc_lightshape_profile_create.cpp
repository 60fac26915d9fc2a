#include "service/rpc/rpc_methods/lightshape/rpc_lightshape_profile_create.h"

#include "service/rpc/rpc_methods/lightshape/colorlib/ilightshape_color_library.h"
#include "service/rpc_object.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"
#include "service/string_exception.h"

#include <algorithm>
#include <cmath>

namespace tarvesk::service {

namespace {

int integerParam(RpcRequest* request, const QString& name)
{
    RpcValue* value = request->getParam(name);
    bool ok = false;
    const int number = value ? value->toInteger(&ok) : 0;
    if (!ok)
        QM_THROW_STRING(QStringLiteral("Parameter %1 must be a number that fits an integer").arg(name));
    return number;
}

} // namespace

RpcLightshapeProfileCreate::RpcLightshapeProfileCreate()
    : AbstractRpcLightshapeProfile(QStringLiteral("lightshape.profile.create"))
{ }

RpcMethodError RpcLightshapeProfileCreate::handleRequest(RpcRequest* request, RpcResponse* response)
{
    using CurveId = AbstractLightshapeColorLibrary::CurveId;
    AbstractLightshapeColorLibrary* lib = library(request);
    const QList<int> curve1 = lib->curve(CurveId::CURVE_1);
    const QList<int> curve2 = lib->curve(CurveId::CURVE_2);
    const QList<int> bytes = lib->profile();

    auto* result = new RpcObject;
    const QString version = request->getParam(QStringLiteral("version"))->getStringValue();
    if (!curve1.isEmpty() && !curve2.isEmpty() && version != QLatin1String("1.0")) {
        // The curves' peaks scale the currents and lumens of a second pass.
        const double f1 = *std::max_element(curve1.begin(), curve1.end()) / 255.0;
        const double f2 = *std::max_element(curve2.begin(), curve2.end()) / 255.0;
        for (const char* current : {"current_cs1", "current_cs2"}) {
            if (!request->hasParameter(QLatin1String(current)))
                request->addParameter(QLatin1String(current), new RpcValue(150));
        }
        const int current1 = integerParam(request, QStringLiteral("current_cs1"));
        const int current2 = integerParam(request, QStringLiteral("current_cs2"));
        const int lumens1 = integerParam(request, QStringLiteral("lumens_1"));
        const int lumens2 = integerParam(request, QStringLiteral("lumens_2"));
        const int adjustedCurrent1 = std::max(static_cast<int>(std::floor(current1 * f1)), 150);
        const int adjustedCurrent2 = std::max(static_cast<int>(std::floor(current2 * f2)), 150);
        const int adjustedLumens1 = static_cast<int>(std::floor(f1 * lumens1));
        const int adjustedLumens2 = static_cast<int>(std::floor(f2 * lumens2));
        result->addChild(QStringLiteral("adjusted_current_cs1"), new RpcValue(adjustedCurrent1));
        result->addChild(QStringLiteral("adjusted_current_cs2"), new RpcValue(adjustedCurrent2));
        result->addChild(QStringLiteral("adjusted_lumens_1"), new RpcValue(adjustedLumens1));
        result->addChild(QStringLiteral("adjusted_lumens_2"), new RpcValue(adjustedLumens2));
        request->addParameter(QStringLiteral("current_cs1"), new RpcValue(adjustedCurrent1));
        request->addParameter(QStringLiteral("current_cs2"), new RpcValue(adjustedCurrent2));
        request->addParameter(QStringLiteral("lumens_1"), new RpcValue(adjustedLumens1));
        request->addParameter(QStringLiteral("lumens_2"), new RpcValue(adjustedLumens2));

        AbstractLightshapeColorLibrary* adjusted = library(request);
        const QList<int> adjustedCurve1 = adjusted->curve(CurveId::CURVE_1);
        const QList<int> adjustedCurve2 = adjusted->curve(CurveId::CURVE_2);
        result->addChild(QStringLiteral("adjustedBytes"), new RpcValue(adjusted->profile()));
        result->addChild(QStringLiteral("adjustedCurve1"), new RpcValue(adjustedCurve1));
        result->addChild(QStringLiteral("adjustedCurve2"), new RpcValue(adjustedCurve2));
    }
    result->addChild(QStringLiteral("bytes"), new RpcValue(bytes));
    result->addChild(QStringLiteral("curve1"), new RpcValue(curve1));
    result->addChild(QStringLiteral("curve2"), new RpcValue(curve2));
    if (version == QLatin1String("1.3")) {
        result->addChild(QStringLiteral("CCTset"), new RpcValue(lib->getCCTValues()));
        result->addChild(QStringLiteral("Ptot"), new RpcValue(lib->getTotalPower()));
    }
    response->setResultValue(result);
    return RpcMethodError(0, QString());
}

} // namespace tarvesk::service
