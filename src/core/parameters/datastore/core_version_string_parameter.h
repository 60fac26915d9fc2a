#pragma once

#include "core/parameters/datastore/builtin_parameter.h"
#include "core/parameters/integer_raw_parameter.h"

namespace tarvesk::core {

// The driver's core firmware version as the text major.minor; the word holds
// the major number in bits 0-7 and the minor number in bits 8-13.
class CoreVersionStringParameter : public IntegerRawParameter
{
    Q_OBJECT

public:
    static constexpr int Address = 16361; // 0x3FE9

    CoreVersionStringParameter();
    QM_BUILTIN_CLONE(CoreVersionStringParameter)

    // A failed read (its bus status, or a missing device or interface) gives
    // no value: a version that could not be read is never taken for 0.0.
    int readRawValue(QVariant& out) override;

    // The word is the driver firmware's own identity, which every version
    // gate reads: a write is refused without any bus traffic (-14), as a
    // read-only DALI parameter refuses one.
    int setRawValue(QVariant value) override;

    // The part of the version text at the index; throws StringException when
    // the version cannot be read or has no such part.
    QString versionInfoAt(int index);
    QString major() { return versionInfoAt(0); }
    QString minor() { return versionInfoAt(1); }

    static QString versionText(unsigned int word);
};

// The core versions on which a gated parameter is read.
enum class CoreVersionRule {
    Core20_34, // 16.21 and later in core 16, 20.34 and later
    Core21_3   // 21.3 and later
};

bool coreVersionSupports(CoreVersionRule rule, int major, int minor);

// Whether the parameter's driver runs a core that the rule admits. A device
// without "core_version_string" is not checked. When it is not admitted the
// reason is logged at debug level, the line starting with the identifier and
// notSupportedText. Throws StringException when the version cannot be read.
bool isSupportedByCore(RawParameter& parameter, CoreVersionRule rule,
    const QString& notSupportedText = QStringLiteral(" parameter not suppported for core version "));

} // namespace tarvesk::core
