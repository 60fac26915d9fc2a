#pragma once

#include "service/rpc/rpc_methods/lightshape/colorlib/modelled_lightshape_color_library.h"

namespace tarvesk::service {

// Version "1.3": 65-point curves from the version 1.3 engine, which models
// the LEDs and the driver for two channels and corrects the levels in a
// closed loop on the colour temperature. Strategy "tw" runs a path linear in
// kelvin, or linear in mirek for a DALI device type 8 driver
// ("dali_device_type_8" true, or strategy "twdt8", which has no profile
// descriptor); "wd" is warm dimming. "optimization_strategy" picks the
// engine's mode, by default "feed_forward"; "open_loop" computes no levels
// and is refused. Besides the curves it reports the colour temperature and
// the total power of every point, from the highest colour temperature down.
//
// Results live in the engine's process-wide records: the latest
// configuration of any object of this class wins.
class Version1Rev3LightshapeColorLibrary : public ModelledLightshapeColorLibrary
{
public:
    Version1Rev3LightshapeColorLibrary();

    QList<int> curveData(CurveId id) override;
    XYCoordinates xyData() override;
    void configLibrary() override;
    QList<double> getCCTValuesFromLibrary() override;
    QList<double> getTotalPowerFromLibrary() override;

    // "tw" "12" ("13" on DT8), "twdt8" "13", "wd" "5" (exact).
    static QString strategyNameToValue(const QString& name, bool dt8);
};

} // namespace tarvesk::service
