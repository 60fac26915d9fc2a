#pragma once

#include "service/rpc/rpc_methods/lightshape/colorlib/ilightshape_color_library.h"

namespace tarvesk::service {

// Version "1.0": two-channel drivers with a warm and a cool LED string.
// Strategy "tw" (tunable white, "constant" or "maximize" light output) and
// "wd" (warm dimming) run the version 1.0 engine; "blt" has a fixed profile
// and computes nothing.
//
// Results live in the engine's process-wide records, so two objects of this
// class share them: the latest configuration of either wins.
class Version1Rev0LightshapeColorLibrary : public AbstractLightshapeColorLibrary
{
public:
    Version1Rev0LightshapeColorLibrary();

    QList<int> profile() override;
    QSet<QString> requiredInputParametersNames() const override;
    QList<int> profileDescriptor() override;
    QList<int> curveData(CurveId id) override;
    XYCoordinates xyData() override;
    // Before the engine runs, every number it gets is checked (and named in
    // the message when it is out of range), so that nothing is narrowed to
    // 16 bits or overruns the engine's work arrays.
    void configLibrary() override;
    QList<double> getCCTValuesFromLibrary() override { return {0.0}; }
    QList<double> getTotalPowerFromLibrary() override { return {0.0}; }

    // The LED bin of a colour temperature: the first bin CCT not below it,
    // bin 0 below 1800 K, bin 11 above 6500 K.
    static int ledBinForCct(int cct);

private:
    bool isBlt() const;
    int integerInput(const QString& name, int minimum, int maximum) const;
};

} // namespace tarvesk::service
