// Device: writing a profile into the device, checking it and recording every
// step of it.

#include "core/device.h"
#include "core/itf_error.h"
#include "core/json_text_guard.h"
#include "core/parameters/parameter.h"
#include "core/profile/profile.h"
#include "core/profile/profile_type.h"
#include "core/step.h"
#include "log/logging_categories.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>

#include <cmath>
#include <limits>
#include <memory>

namespace tarvesk::core {

namespace {

const QString kLxActive = QStringLiteral("light_shaping_active");
const QString kLxForwardVoltages = QStringLiteral("light_shaping_default_forward_voltages");
const QString kLxSettings = QStringLiteral("light_shaping_settings");
const QString kLxCctBalance = QStringLiteral("light_shaping_cct_balance_curve");
const QString kLxDt8 = QStringLiteral("light_shaping_dt8");
const QString kMinimumLevel = QStringLiteral("minimum_level");
const QString kDimmingCurve = QStringLiteral("dimming_curve");
const QString kNtcThrottling = QStringLiteral("ntc_throttling_temperature");
const QString kDaliFactoryReset = QStringLiteral("dali_factory_reset");

constexpr unsigned kLastPriorityLevel = 4;
constexpr int kMinimumLevelAttempts = 3;
constexpr double kMinimumLevelTolerance = 0.3;
constexpr double kMinimumLevelRatioTolerance = 0.11;

QString okOrError(int status)
{
    return status == 0 ? QStringLiteral("ok") : QStringLiteral("error");
}

QString readResult(const QVariant& value, int status)
{
    return QStringLiteral("[%1] %2").arg(value.toString(), okOrError(status));
}

// Parameters whose read-back must match what was written.
bool mustMatch(const QString& id, bool lxActive)
{
    return id == kDimmingCurve || id == kNtcThrottling || id == kLxActive
        || (lxActive && id == kLxCctBalance);
}

// Parameters without which the profile cannot be in the driver: the run fails
// when the device lacks or refuses one of them. The lightshape ones only
// count while lightshape is active.
bool isRequired(const QString& id, bool lxActive)
{
    return id == kDimmingCurve || id == kNtcThrottling
        || (lxActive && (id == kLxActive || id == kLxCctBalance));
}

bool isNumeric(const QVariant& value)
{
    switch (value.userType()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

// Numbers by value (an integer read back equals the same number written as a
// double); everything else as variants.
bool sameValue(const QVariant& a, const QVariant& b)
{
    if (isNumeric(a) && isNumeric(b)) {
        const double x = a.toDouble();
        const double y = b.toDouble();
        return std::fabs(x - y) <= 1e-9 * std::max({1.0, std::fabs(x), std::fabs(y)});
    }
    return a == b;
}

bool toFiniteDouble(const QVariant& value, double& out)
{
    if (!value.isValid() || value.userType() == QMetaType::QString)
        return false;
    bool ok = false;
    out = value.toDouble(&ok);
    return ok && std::isfinite(out);
}

// Why the device parameter cannot take a value that a profile holds for it,
// judged by the device parameter's own definition; empty when it can.
QString valueRefusal(IParameter* target, const QVariant& value)
{
    switch (target->getParameterType()) {
    case PARAM_TYPE_NUMBER: {
        double raw = 0;
        if (!toFiniteDouble(value, raw))
            return QStringLiteral("value %1 is not a number").arg(value.toString());
        auto* definition = qobject_cast<Parameter*>(target);
        if (!definition)
            return QString();
        // Scale the value the way the device parameter does, on a copy.
        std::unique_ptr<IParameter> probe(definition->clone());
        auto* scaledProbe = static_cast<Parameter*>(probe.get());
        scaledProbe->setActualValue(value);
        const QVariant scaledVariant = scaledProbe->getScaledValue();
        double scaled = 0;
        if (scaledVariant.userType() == QMetaType::QString || !toFiniteDouble(scaledVariant, scaled))
            return QString(); // a special value of the parameter
        double limit = 0;
        const double slack = 1e-9 * std::max(1.0, std::fabs(scaled));
        const bool belowMin = toFiniteDouble(definition->getMinValue(), limit) && scaled < limit - slack;
        const bool aboveMax = toFiniteDouble(definition->getMaxValue(), limit) && scaled > limit + slack;
        if (belowMin || aboveMax)
            return QStringLiteral("value %1 outside the limits %2 to %3")
                .arg(scaled)
                .arg(definition->getMinValue().isValid() ? definition->getMinValue().toString()
                                                         : QStringLiteral("-"),
                    definition->getMaxValue().isValid() ? definition->getMaxValue().toString()
                                                        : QStringLiteral("-"));
        return QString();
    }
    case PARAM_TYPE_ENUM: {
        auto* definition = qobject_cast<Parameter*>(target);
        if (definition && !definition->getEnumOptions().isEmpty()
            && !definition->getEnumOptions().contains(value.toString()))
            return QStringLiteral("value %1 is not an option").arg(value.toString());
        return QString();
    }
    case PARAM_TYPE_BOOLEAN: {
        if (value.userType() == QMetaType::Bool)
            return QString();
        double number = 0;
        if (toFiniteDouble(value, number) && (number == 0 || number == 1))
            return QString();
        return QStringLiteral("value %1 is not a boolean").arg(value.toString());
    }
    default:
        return QString();
    }
}

bool isReadOnly(IParameter* target)
{
    auto* definition = qobject_cast<Parameter*>(target);
    return definition && definition->isReadOnly();
}

int integralOrZero(const QJsonValue& value)
{
    if (!value.isDouble())
        return 0;
    const double number = value.toDouble();
    if (std::floor(number) != number || number < std::numeric_limits<int>::min()
        || number > std::numeric_limits<int>::max())
        return 0;
    return int(number);
}

} // namespace

int Device::setProfile(
    Profile* profile, QString accessLevel, Step& root, bool validateSetParams, bool validate)
{
    // Released on every way out, also when a parameter callback throws.
    QMutexLocker lock(&_deviceMutex);

    QStringList stages = {STEP_KEY_PRE, STEP_KEY_SET_PARAMS, STEP_KEY_RESET_DALI, STEP_KEY_POST};
    if (validateSetParams)
        stages.append(STEP_KEY_VALIDATE_SET_PARAMS);
    if (validate)
        stages.append(STEP_KEY_VALIDATION);

    int status = profileSetPre();
    if (status != 0)
        return status;

    const bool lxActive = doStepIsLxActive(root, profile);

    Step* setStep = root.addChild(QStringLiteral("Set parameters"));
    status = setParameters(
        profile, accessLevel, lxActive, setStep, stages.contains(STEP_KEY_VALIDATE_SET_PARAMS));
    setStep->setResult(okOrError(status));
    if (status != 0)
        return status;

    // resetDali sets its own result: it may also be skipped.
    status = resetDali(root.addChild(QStringLiteral("Reset DALI")));
    if (status != 0)
        return status;

    Step* postStep = root.addChild(QStringLiteral("Post condition"));
    status = profileSetPost(postStep);
    postStep->setResult(okOrError(status));
    if (status != 0)
        return status;

    if (!stages.contains(STEP_KEY_VALIDATION))
        return 0;
    Step* validationStep = root.addChild(QStringLiteral("Final validation"));
    status = finalParameterValidation(profile, accessLevel, lxActive, validationStep);
    validationStep->setResult(okOrError(status));
    return status;
}

bool Device::doStepIsLxActive(Step& root, Profile* profile)
{
    bool active = false;
    if (IParameter* parameter = profile ? profile->getParameter(kLxActive) : nullptr) {
        QVariant value;
        parameter->getValue(value, IParameter::UPDATE_NO);
        active = value.toBool();
    }
    root.addChild(QStringLiteral("is lightshape active"))
        ->setResult(active ? QStringLiteral("yes") : QStringLiteral("no"));
    return active;
}

int Device::setParameters(Profile* profile, QString accessLevel, bool lxActive, Step* parent, bool readBack)
{
    ProfileType* profileType = profile ? profile->getProfileType() : nullptr;
    qCDebug(service::loggerGlog()) << "Device::setParameters :" << profileType;
    if (!profileType || profileType != _profileType) {
        const QString wanted = profile ? profile->getTypeName() : QString();
        const QString own = _profileType ? _profileType->getName() : QString();
        qCDebug(service::loggerGlog()).noquote()
            << "Invalid profile type "
            << QStringLiteral("Incompatible profile type %1 : device profile is %2").arg(wanted, own);
        return ITF_ERR_INVALID_PARAM;
    }
    qCDebug(service::loggerGlog()) << "Valid profile type";

    QList<IParameter*> outOfRange;
    for (unsigned level = 0; level <= kLastPriorityLevel; ++level) {
        Step* levelStep = parent->addChild(QStringLiteral("Priority %1").arg(level));
        qCDebug(service::loggerGlog()) << "****"
                                       << "...checking parameters at priority level " << level;
        for (auto it = profile->parameterBegin(); it != profile->parameterEnd(); ++it) {
            IParameter* parameter = it.value();
            const bool wanted = parameter->isEnabled() && parameter->isAccessLevelSupported(accessLevel);
            if (parameter->getPriorityLevel() != level || !wanted) {
                if (level == 0 && wanted && parameter->getPriorityLevel() > kLastPriorityLevel)
                    outOfRange.append(parameter);
                qCDebug(service::loggerGlog()).noquote()
                    << QStringLiteral("... skipping parameter %1 | %2 | %3")
                           .arg(parameter->getIdentifier())
                           .arg(parameter->getAddress(), 10)
                           .arg(parameter->getAccessLevel());
                continue;
            }
            const int status = writeProfileParameter(parameter, accessLevel, lxActive, levelStep, readBack);
            if (status != 0)
                return status;
        }
        levelStep->setResult(QStringLiteral("ok"));
    }

    // Named rather than dropped silently: wanted parameters that no level writes.
    if (!outOfRange.isEmpty()) {
        Step* skipped = parent->addChild(QStringLiteral("Not written"));
        for (IParameter* parameter : outOfRange)
            skipped
                ->addChild(QStringLiteral("> Set %1 [%2]")
                               .arg(parameter->getIdentifier(), parameter->getActualValue().toString()))
                ->setResult(QStringLiteral("skipped: priority level %1 outside 0 to 4")
                                .arg(int(parameter->getPriorityLevel())));
        skipped->setResult(QStringLiteral("skipped: %1 parameters").arg(outOfRange.size()));
    }
    return 0;
}

int Device::writeProfileParameter(
    IParameter* profileParameter, const QString&, bool lxActive, Step* levelStep, bool readBack)
{
    const QString id = profileParameter->getIdentifier();
    Step* setStep = levelStep->addChild(
        QStringLiteral("> Set %1 [%2]").arg(id, profileParameter->getActualValue().toString()));
    QVariant value;
    profileParameter->getValue(value, IParameter::UPDATE_NO);
    IParameter* target = getParameterInterface(id);
    const bool required = isRequired(id, lxActive);

    // A parameter that is not written is named in the tree; it fails the run
    // only when the profile cannot be in the driver without it.
    auto notWritten = [&](const QString& reason, int status) {
        if (required) {
            setStep->setResult(QStringLiteral("error: ") + reason);
            levelStep->setResult(QStringLiteral("error: set failed"));
            return status;
        }
        setStep->setResult(QStringLiteral("skipped: ") + reason);
        return 0;
    };

    if (!target || !value.isValid()) {
        qCCritical(service::loggerGlog()).noquote()
            << GLOG_PREFIX
            << QStringLiteral("* device %1 does not contain parameter %2. parameter value set skipped!")
                   .arg(getId())
                   .arg(id);
        return notWritten(target ? QStringLiteral("no value in profile")
                                 : QStringLiteral("trying to set something not in device!"),
            ITF_ERR_INVALID_PARAM);
    }

    int status = 0;
    if (id != kLxForwardVoltages) {
        if (isReadOnly(target))
            return notWritten(QStringLiteral("read-only in device"), ITF_ERR_INVALID_PARAM);
        // A profile file must not drive a driver beyond what the parameter allows.
        const QString refusal = valueRefusal(target, value);
        if (!refusal.isEmpty()) {
            qCCritical(service::loggerGlog()).noquote()
                << GLOG_PREFIX << QStringLiteral("Profile value refused for %1: %2").arg(id, refusal);
            setStep->setResult(QStringLiteral("error: ") + refusal);
            levelStep->setResult(QStringLiteral("error: invalid value"));
            return ITF_ERR_INVALID_PARAM;
        }
        deviceHierarchyInfo(QStringLiteral("Executing \"device.param.set\"\tid: %1\tpid: %2\tvalue: %3")
                                .arg(getId())
                                .arg(id, value.toString()));
        status = target->setValue(value, IParameter::UPDATE_YES);
    }

    if (status == ITF_ERR_UNSUPPORTED_PARAMETER) {
        qCWarning(service::loggerGlog()).noquote()
            << QStringLiteral("Warning %1 pid\"%2\"").arg(itfErrorToString(status), id);
        return notWritten(QStringLiteral("unsupported"), status);
    }
    if (status != 0) {
        setStep->setResult(QStringLiteral("error: set failed"));
        qCCritical(service::loggerGlog()).noquote()
            << GLOG_PREFIX << QStringLiteral("Error %1").arg(itfErrorToString(status));
        levelStep->setResult(QStringLiteral("error: set failed"));
        return status;
    }
    setStep->setResult(QStringLiteral("ok"));

    if (!readBack || id == kLxSettings)
        return 0;
    Step* getStep = levelStep->addChild(QStringLiteral("< Get %1").arg(id));
    QVariant readValue;
    const int readStatus = target->getValue(readValue, IParameter::UPDATE_YES);
    qDebug() << "initial_" << target->getIdentifier() << "expected: " << value << "read: " << readValue;

    if (id == kMinimumLevel && verifyMinimumDimmingLevel(profileParameter, readValue, getStep) != 0) {
        getStep->setResult(QStringLiteral("error: verify min level"));
        levelStep->setResult(QStringLiteral("error: verify min level"));
        return ITF_ERR_TRANSFER;
    }
    // A read that delivered no value proves nothing: for these it is a failure.
    if (mustMatch(id, lxActive)
        && (readStatus != 0 || !readValue.isValid() || !sameValue(value, readValue))) {
        getStep->setResult(QStringLiteral("error: readback failed"));
        levelStep->setResult(QStringLiteral("error: readback failed"));
        qDebug().noquote() << QStringLiteral("Write and read values do not match for parameter %1").arg(id);
        return ITF_ERR_TRANSFER;
    }
    getStep->setResult(readResult(readValue, readStatus));
    return 0;
}

int Device::verifyMinimumDimmingLevel(IParameter* profileParameter, QVariant readBack, Step* parent)
{
    Step* verify = parent->addChild(QStringLiteral("Verify minimum level"));
    Step* curveStep = verify->addChild(QStringLiteral("< Get \"dimming_curve\""));
    IParameter* curveParameter = getParameterInterface(kDimmingCurve);
    QVariant curve;
    const int curveStatus = curveParameter ? curveParameter->getValue(curve, IParameter::UPDATE_YES) : -1;
    if (curveParameter)
        curveStep->setResult(readResult(curve, curveStatus));
    if (!curveParameter || curveStatus != 0) {
        verify->setResult(QStringLiteral("error: Could not get dimming curve"));
        return ITF_ERR_TRANSFER;
    }
    const bool linear = curve.toString() == QLatin1String("linear");
    IParameter* target = getParameterInterface(profileParameter->getIdentifier());
    QVariant expectedValue;
    profileParameter->getValue(expectedValue, IParameter::UPDATE_NO);

    for (int attempt = 0; attempt < kMinimumLevelAttempts; ++attempt) {
        double expected = 0;
        double measured = 0;
        if (toFiniteDouble(expectedValue, expected) && toFiniteDouble(readBack, measured)) {
            const double difference = std::fabs(expected - measured);
            // The ratio needs a level read back other than zero.
            const bool withinRatio = !linear && measured != 0
                && std::fabs(1 - expected / measured) <= kMinimumLevelRatioTolerance;
            if (difference <= kMinimumLevelTolerance || withinRatio) {
                verify->setResult(QStringLiteral("ok"));
                return 0;
            }
        }
        Step* correct = verify->addChild(
            QStringLiteral("< Set \"min level\" (verify step) [%1]").arg(expectedValue.toString()));
        const int writeStatus = target ? target->setValue(expectedValue, IParameter::UPDATE_YES)
                                       : ITF_ERR_UNSUPPORTED_PARAMETER;
        correct->setResult(okOrError(writeStatus));
        if (writeStatus != 0)
            continue;
        Step* reread = verify->addChild(QStringLiteral("> Get \"min level\" (verify step)"));
        QVariant again;
        const int readStatus = target->getValue(again, IParameter::UPDATE_YES);
        reread->setResult(readResult(again, readStatus));
        // A failed read leaves no value to judge, never the previous one.
        readBack = readStatus == 0 ? again : QVariant();
    }
    verify->setResult(QStringLiteral("error: Could not 'correct' min level"));
    return ITF_ERR_TRANSFER;
}

bool Device::isDt8()
{
    IParameter* parameter = getParameterInterface(kLxDt8);
    if (!parameter)
        return false;
    QVariant value;
    parameter->getValue(value, IParameter::UPDATE_NO);
    return value.toBool();
}

int Device::restoreAfterReset(Step* step, IParameter* target, const QString& name, const QVariant& value)
{
    Step* restore = step->addChild(QStringLiteral("> Set '%1' [%2]").arg(name, value.toString()));
    const int status = target->setValue(value, IParameter::UPDATE_YES);
    restore->setResult(okOrError(status));
    return status;
}

int Device::resetDali(Step* step)
{
    IParameter* reset = getParameterInterface(kDaliFactoryReset);
    IParameter* curveParameter = getParameterInterface(kDimmingCurve);
    IParameter* minimumParameter = getParameterInterface(kMinimumLevel);
    if (!isDt8()) {
        step->setResult(QStringLiteral("skipped: not dt8"));
        return 0;
    }
    if (!reset) {
        step->setResult(QStringLiteral("skipped: no reset"));
        return 0;
    }

    Step* curveStep = step->addChild(QStringLiteral("< Get 'dimming_curve'"));
    QVariant curve;
    const int curveStatus = curveParameter ? curveParameter->getValue(curve, IParameter::UPDATE_YES) : 0;
    if (curveParameter)
        curveStep->setResult(readResult(curve, curveStatus));
    Step* minimumStep = step->addChild(QStringLiteral("< Get 'minimum_level'"));
    QVariant minimum;
    const int minimumStatus
        = minimumParameter ? minimumParameter->getValue(minimum, IParameter::UPDATE_YES) : 0;
    qDebug() << "DALI reset get minimum diming level" << minimum;
    if (minimumParameter)
        minimumStep->setResult(readResult(minimum, minimumStatus));

    // The reset would lose settings that could then not be restored.
    if (curveStatus != 0 || minimumStatus != 0) {
        step->setResult(QStringLiteral("error: could not read the settings to restore"));
        return curveStatus != 0 ? curveStatus : minimumStatus;
    }

    Step* resetStep = step->addChild(QStringLiteral("< Set \"dali_reset\""));
    const int status = reset->setValue(1, IParameter::UPDATE_YES);
    resetStep->setResult(okOrError(status));
    if (status != 0) {
        step->setResult(QStringLiteral("error"));
        return status;
    }

    // Control gear may take this long to process RESET; what is written
    // earlier can be overwritten by the reset itself.
    busDelay(DALI_RESET_SETTLE_MS);
    int restoreStatus = 0;
    if (curveParameter)
        restoreStatus = restoreAfterReset(step, curveParameter, kDimmingCurve, curve);
    if (minimumParameter) {
        const int minimumRestore = restoreAfterReset(step, minimumParameter, kMinimumLevel, minimum);
        if (restoreStatus == 0)
            restoreStatus = minimumRestore;
    }
    step->setResult(okOrError(restoreStatus));
    return restoreStatus;
}

int Device::finalParameterValidation(Profile* profile, QString accessLevel, bool lxActive, Step* parent)
{
    qDebug() << "final parameters verification";
    if (!profile)
        return ITF_ERR_INVALID_PARAM;
    static const QStringList checked = {kDimmingCurve, kNtcThrottling, kLxSettings, kLxCctBalance, kLxActive};
    int firstFailure = 0;
    for (auto it = profile->parameterBegin(); it != profile->parameterEnd(); ++it) {
        IParameter* parameter = it.value();
        const QString id = parameter->getIdentifier();
        if (!checked.contains(id))
            continue;
        Step* check
            = parent->addChild(QStringLiteral("%1 [%2]").arg(id, parameter->getActualValue().toString()));
        if (!parameter->isAccessLevelSupported(accessLevel)) {
            check->setResult(QStringLiteral("Skipped: access level"));
            continue;
        }
        // A value that the profile does not set was not written: nothing to compare.
        if (!parameter->isEnabled()) {
            check->setResult(QStringLiteral("skipped: not in profile"));
            continue;
        }
        QVariant expected;
        parameter->getValue(expected, IParameter::UPDATE_NO);
        IParameter* target = getParameterInterface(id);
        if (!target || !expected.isValid()) {
            qCCritical(service::loggerGlog()).noquote()
                << GLOG_PREFIX
                << QStringLiteral("* device %1 does not contain parameter %2. parameter value set  skipped!")
                       .arg(getId())
                       .arg(id);
            continue;
        }

        if (id == kLxSettings && lxActive) {
            QVariant read;
            const int status = target->getValue(read, IParameter::UPDATE_YES);
            const QList<int> expectedBytes = bytesFromLightShapeProfileString(expected.toString());
            const QList<int> readBytes = status == 0
                ? bytesFromLightShapeProfileString(read.toString()).mid(0, expectedBytes.size())
                : QList<int>();
            qDebug() << "lx expected: " << expectedBytes << "lx read: " << readBytes;
            if (status == 0 && expectedBytes == readBytes) {
                check->setResult(QStringLiteral("ok"));
                continue;
            }
            check->setResult(QStringLiteral("error"));
            qDebug().noquote()
                << QStringLiteral("Write and read values do not match for parameter %1").arg(id);
            return ITF_ERR_TRANSFER;
        }

        deviceHierarchyInfo(QStringLiteral("Validating '%1'").arg(id));
        Step* getStep = check->addChild(QStringLiteral("< Get '%1'").arg(id));
        QVariant read;
        const int status = target->getValue(read, IParameter::UPDATE_YES);
        getStep->setResult(readResult(read, status));
        if (status != 0 && firstFailure == 0)
            firstFailure = status;
        qDebug() << target->getIdentifier() << "expected: " << expected << "read: " << read;
        const bool matches = status == 0 && read.isValid() && sameValue(expected, read);
        if (!matches)
            qDebug().noquote() << QStringLiteral(
                "Non Critical Write and read values do not match for parameter %1")
                                      .arg(target->getIdentifier());
        if (id == kDimmingCurve || id == kNtcThrottling || id == kLxActive
            || (id == kLxCctBalance && lxActive)) {
            if (!matches) {
                check->setResult(QStringLiteral("error"));
                qDebug().noquote()
                    << QStringLiteral("Write and read values do not match for parameter %1").arg(id);
                return ITF_ERR_TRANSFER;
            }
            check->setResult(QStringLiteral("ok"));
        }
    }
    return firstFailure;
}

QList<int> Device::bytesFromLightShapeProfileString(const QString& text) const
{
    QList<int> bytes;
    // The profile's text may come from a client: only strict JSON reaches the
    // framework's parser, which leaks on some other text.
    const QByteArray utf8 = text.toUtf8();
    if (!core::jsonTextFault(utf8).isEmpty())
        return bytes;
    const QJsonDocument document = QJsonDocument::fromJson(utf8);
    if (document.isObject()) {
        const QJsonObject object = document.object();
        for (int i = 0; i < object.size(); ++i)
            bytes.append(integralOrZero(object.value(QString::number(i))));
    } else if (document.isArray()) {
        const QJsonArray array = document.array();
        for (const QJsonValue& value : array)
            bytes.append(integralOrZero(value));
    }
    return bytes;
}

} // namespace tarvesk::core
