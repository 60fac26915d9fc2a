#include "service/rpc/rpc_methods/lightshape/colorlib/fake_lightshape_color_library.h"

namespace tarvesk::service {

FakeLightshapeColorLibrary::FakeLightshapeColorLibrary()
    : AbstractLightshapeColorLibrary(QStringLiteral("0.0"))
    , _curves(AbstractLightshapeColorLibrary::numberOfCurves())
{ }

QSet<QString> FakeLightshapeColorLibrary::requiredInputParametersNames() const
{
    return {QStringLiteral("param1"), QStringLiteral("param2"), QStringLiteral("param3")};
}

QList<int> FakeLightshapeColorLibrary::profileDescriptor()
{
    return {0, 0, 0, 0, 0};
}

QList<int> FakeLightshapeColorLibrary::curveData(CurveId id)
{
    return {id, id, id};
}

XYCoordinates FakeLightshapeColorLibrary::xyData()
{
    return XYCoordinates({}, {});
}

} // namespace tarvesk::service
