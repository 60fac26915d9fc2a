#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QLoggingCategory>
#include <QSet>
#include <QString>
#include <QVariant>

namespace tarvesk::service {

// "lightshape.colorlibrary": debug lines of the colour libraries.
const QLoggingCategory& lxColorLibrary();

// The chromaticity path of a computation: x and y per point.
class XYCoordinates
{
public:
    XYCoordinates(const QList<float>& x, const QList<float>& y);

    QList<float> x() const { return _x; }
    QList<float> y() const { return _y; }

private:
    QList<float> _x;
    QList<float> _y;
};

// A colour library turns named lightshape inputs (the LEDs' colour
// temperatures and lumens, the CCT range, a strategy) into the curves a
// two-channel driver follows while dimming and into the lightshape profile,
// the bytes a driver stores:
//
//   profile descriptor      profileDescriptor() of the version
//   per curve               one curve descriptor byte, then the curve's points (0..255)
//   terminator              255
//
// Each version implements the pure operations; configLibrary() validates the
// inputs and runs the version's computation, and throws StringException on a
// bad value or a failed computation. Inputs are kept as a list of
// {"name", "value"} objects; names are required exactly but looked up
// ignoring case, and text values read lower-cased.
class AbstractLightshapeColorLibrary
{
public:
    // Curves of a profile, numbered from 1.
    enum CurveId { CURVE_1 = 1, CURVE_2 = 2, CURVE_3 = 3, CURVE_4 = 4 };
    // Bit 0 goes into bit 6 of a curve descriptor byte.
    enum CurveType { CURVE_TYPE_POINTS = 1 };

    explicit AbstractLightshapeColorLibrary(const QString& version);
    virtual ~AbstractLightshapeColorLibrary();

    AbstractLightshapeColorLibrary(const AbstractLightshapeColorLibrary&) = delete;
    AbstractLightshapeColorLibrary& operator=(const AbstractLightshapeColorLibrary&) = delete;

    // The profile bytes of the latest configuration.
    virtual QList<int> profile();
    // Throws until inputs are set, then curveData(id) / xyData().
    virtual QList<int> curve(CurveId id);
    virtual XYCoordinates xy();
    virtual QList<double> getCCTValues();
    virtual QList<double> getTotalPower();
    virtual int numberOfCurves() const;

    // The input names that must be present (compared exactly).
    virtual QSet<QString> requiredInputParametersNames() const = 0;
    // The leading bytes of the profile; asked after all curves were taken.
    virtual QList<int> profileDescriptor() = 0;
    // The points of one curve, each 0..255, at least 2; an unknown id throws.
    virtual QList<int> curveData(CurveId id) = 0;
    virtual XYCoordinates xyData() = 0;
    virtual void configLibrary() = 0;
    virtual QList<double> getCCTValuesFromLibrary() = 0;
    virtual QList<double> getTotalPowerFromLibrary() = 0;

    // JSON text of an object or an array.
    void setInputParameters(const QString& text);
    // One {"name": key, "value": value} per key, in key order.
    void setInputParameters(const QJsonObject& object);
    // Validates, stores and runs configLibrary(). A failed validation keeps
    // the previous inputs; a failure in configLibrary() keeps the new ones.
    void setInputParameters(const QJsonArray& array);
    void validateInputParameters(const QJsonArray& array) const;

    // [k | type bit << 6], k = trunc(log2(256 div (points - 1))) in bits 0-4.
    static QList<int> curveDescriptor(int points, CurveType type);
    static QList<int> profileTerminator() { return {255}; }
    const QString& version() const { return _version; }
    // CIE 1931 chromaticity of the black-body line (Kim et al.'s cubic
    // spline), the temperature held within 1667..25000 K.
    static void cctToXy(int cct, double& x, double& y);

protected:
    // Whether an input of that name (ignoring case) has a non-null value.
    bool parameterExists(const QString& name) const;
    // The input's value; a text comes back lower-cased. Throws when the input
    // is missing or its value is null.
    QVariant parameterValue(const QString& name) const;
    // The input's value as a finite number (a number, or a text that reads as
    // one); throws "Parameter %1 must be a number, not '...'" otherwise.
    double numberInput(const QString& name) const;

private:
    void requireInputParameters() const;

    QJsonArray _inputParameters;
    const QString _version;
};

} // namespace tarvesk::service
