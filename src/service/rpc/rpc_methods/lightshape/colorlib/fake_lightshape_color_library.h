#pragma once

#include "service/rpc/rpc_methods/lightshape/colorlib/ilightshape_color_library.h"

namespace tarvesk::service {

// Version "0.0": a library that computes nothing, for tests of the lightshape
// methods. It needs "param1", "param2" and "param3"; curve n is [n, n, n], so
// its profile is [0, 0, 0, 0, 0, 71, 1, 1, 1, 71, 2, 2, 2, 255].
class FakeLightshapeColorLibrary : public AbstractLightshapeColorLibrary
{
public:
    FakeLightshapeColorLibrary();

    int numberOfCurves() const override { return _curves; }
    QSet<QString> requiredInputParametersNames() const override;
    QList<int> profileDescriptor() override;
    QList<int> curveData(CurveId id) override;
    XYCoordinates xyData() override;
    void configLibrary() override { }
    QList<double> getCCTValuesFromLibrary() override { return {0.0}; }
    QList<double> getTotalPowerFromLibrary() override { return {0.0}; }

private:
    const int _curves;
};

} // namespace tarvesk::service
