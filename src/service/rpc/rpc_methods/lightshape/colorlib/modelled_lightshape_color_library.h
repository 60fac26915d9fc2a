#pragma once

#include "service/rpc/rpc_methods/lightshape/colorlib/ilightshape_color_library.h"

#include <QByteArray>
#include <QList>

#include <vector>

namespace tarvesk::service {

// What the versions "1.1" and "1.3" share: libraries whose engines model the
// LEDs and the driver along a 65-point path and take their inputs as a text
// argument vector. Same required inputs, same profile descriptor, same
// optimisation modes, and the same checks of the inputs before an engine runs:
// an engine reports nothing, so whatever reaches it must already make sense.
// A computed level or power that is still not a finite number is refused
// rather than answered as a byte of 0 or a JSON null. The chromaticity path
// (xy()) is not checked: a point without light, the end of warm dimming, has
// none.
class ModelledLightshapeColorLibrary : public AbstractLightshapeColorLibrary
{
public:
    QSet<QString> requiredInputParametersNames() const override;
    // "tw" (12 bytes with DALI DT8, else 14) or "wd" (12 bytes, not for DT8).
    QList<int> profileDescriptor() override;

    // "perfect_life" "0", "open_loop" "1", "feed_forward" "2" (exact).
    static QString optimizationStrategyToValue(const QString& name);

protected:
    using AbstractLightshapeColorLibrary::AbstractLightshapeColorLibrary;

    // The checked inputs as the engine gets them: decimal integers and
    // chromaticities of six significant digits.
    struct EngineInputs
    {
        QByteArray currentCs1, currentCs2, ledCurrent1, ledCurrent2;
        QByteArray cctMin, cctMax, lumensMax, lumens1, lumens2, vf1, vf2, vsupply;
        QByteArray x1, y1, x2, y2;
    };

    // The text of "optimization_strategy", lower-cased; "feed_forward" when
    // it is absent.
    QString optimizationStrategy() const;
    // Reads and checks the numeric inputs: currents, lumens, forward and
    // supply voltages positive, colour temperatures within 1000..25000 K, and
    // two LEDs of different chromaticity. "led_current_1/2" (when present,
    // else the set currents) only when asked for.
    EngineInputs engineInputs(bool withLedCurrents) const;

    // Owned copies of the argument texts and the null-terminated vector of
    // pointers to them that an engine's config() parses.
    class ArgumentVector
    {
    public:
        explicit ArgumentVector(const QList<QByteArray>& texts);
        char** data() { return _pointers.data(); }

    private:
        std::vector<QByteArray> _texts;
        std::vector<char*> _pointers;
    };

    // Values that are not finite never reach a reply as curve bytes or
    // numbers: this throws, naming what (a "level of curve 1", say) and the
    // colour temperature of the point.
    static void requireFinite(double value, const QString& what, int cct);

private:
    int integerInput(const QString& name, int minimum, int maximum) const;
};

} // namespace tarvesk::service
