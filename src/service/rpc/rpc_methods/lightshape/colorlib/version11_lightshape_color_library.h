#pragma once

#include "service/rpc/rpc_methods/lightshape/colorlib/modelled_lightshape_color_library.h"

namespace tarvesk::service {

// Version "1.1": 65-point curves from the version 1.1 engine, which models the
// LEDs (light output over current and junction temperature, forward voltage)
// and the driver (its current error and low-current hybrid region) for two
// channels. Strategy "tw" (tunable white at constant light output) or "wd"
// (warm dimming); "optimization_strategy" picks the engine's mode, by default
// "feed_forward". Curve 1 is channel 1, curve 2 channel 2, each from the
// lowest colour temperature to the highest.
//
// Results live in the engine's process-wide records: the latest
// configuration of any object of this class wins.
class Version1Rev1LightshapeColorLibrary : public ModelledLightshapeColorLibrary
{
public:
    Version1Rev1LightshapeColorLibrary();

    QList<int> curveData(CurveId id) override;
    XYCoordinates xyData() override;
    void configLibrary() override;
    QList<double> getCCTValuesFromLibrary() override { return {0.0}; }
    QList<double> getTotalPowerFromLibrary() override { return {0.0}; }

    // "tw" "0", "wd" "5" (exact).
    static QString strategyNameToValue(const QString& name);
};

} // namespace tarvesk::service
