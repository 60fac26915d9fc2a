#include "core/parameters/datastore/lightshape_cct_balance_curve_parameter.h"

#include "core/core_errors.h"
#include "core/idevice.h"
#include "core/itf_error.h"
#include "core/parameters/datastore/lightshape_module.h"
#include "core/parameters/raw_parameter_interface.h"
#include "interfaces/dali_exception.h"
#include "interfaces/idali.h"
#include "protocol/dali/dali_command_table.h"

#include <QDebug>

namespace tarvesk::core {

namespace {

using proto::DaliCommandTable;

constexpr int kDriveTypeAddress = 52;
constexpr unsigned kCaspelinkDriveType = 2;
const QString kLinear = QStringLiteral("Linear");

// The device's DALI port, or null when it has none.
std::shared_ptr<itf::IDali> daliPortOf(IDevice* device)
{
    try {
        return device->getDaliInterface();
    } catch (const std::exception& e) {
        qWarning().noquote() << e.what();
        return nullptr;
    }
}

} // namespace

LightShapeCctBalanceCurveParameter::LightShapeCctBalanceCurveParameter()
    : EnumRawParameter(QStringLiteral("light_shaping_cct_balance_curve"), LightShapeModule::ActiveAddress,
        presmondeInterface())
{
    describeBuiltin(*this, QStringLiteral("CCT balance curve"), QStringLiteral("user_basic"),
        QStringLiteral("LightShape"), false);
    setPriorityLevel(3);
    setBitmask(0x08);
    addEnumValue(0x00, QStringLiteral("Logarithmic"));
    addEnumValue(0x08, kLinear);
    setEnumOptions({QStringLiteral("Logarithmic"), kLinear});
    setDefaultValue(kLinear);
}

int LightShapeCctBalanceCurveParameter::setRawValue(QVariant value)
{
    RawParameterInterface* itf = getRawInterface();
    unsigned int driveType = 0;
    int status = itf->getParameter(ITF_RES_BYTE, kDriveTypeAddress, driveType);
    if (status != 0)
        return status;
    if (driveType < kCaspelinkDriveType)
        return ITF_ERR_UNSUPPORTED_PARAMETER;
    unsigned int control = 0;
    status = itf->getParameter(getNetworkResolution(), getAddress(), control);
    if (status != 0)
        return status;
    if (!(control & LightShapeModule::ActiveBit))
        return ITF_ERR_UNSUPPORTED_PARAMETER;
    const std::shared_ptr<itf::IDali> dali = daliPortOf(getDeviceInterface());
    if (!dali)
        return ITF_ERR_UNSUPPORTED_PARAMETER;
    try {
        dali->sendCommand(DaliCommandTable::special("DTR0"), value.toString() == kLinear ? 1 : 0);
        dali->sendCommand(DaliCommandTable::special("ENABLE DEVICE TYPE"), DaliCommandTable::LedDeviceType);
        dali->sendCommandTwice(
            DaliAddress, DaliCommandTable::opcode("SELECT DIMMING CURVE", DaliCommandTable::LedDeviceType));
    } catch (const std::exception& e) {
        qWarning().noquote() << e.what();
        return ITF_ERR_UNSUPPORTED_PARAMETER;
    }
    return 0;
}

int LightShapeCctBalanceCurveParameter::readRawValue(QVariant& out)
{
    IDevice* device = getDeviceInterface();
    unsigned int driveType = 0;
    const int status = getRawInterface()->getParameter(ITF_RES_BYTE, kDriveTypeAddress, driveType);
    if (status != 0)
        return status;
    setParameterDependencies();
    if (driveType < kCaspelinkDriveType)
        throw ParameterError(
            "device is not a caspelink or does not have a communication interface. is caspelink? false");
    const std::shared_ptr<itf::IDali> dali = daliPortOf(device);
    if (!dali)
        return ITF_ERR_UNSUPPORTED_PARAMETER;
    const QStringList options = getEnumOptions();
    for (int attempt = Attempts; attempt >= 1; --attempt) {
        qDebug().noquote()
            << QStringLiteral("start getting value for cct balance curve, retry %1").arg(attempt);
        dali->sendCommand(DaliCommandTable::special("ENABLE DEVICE TYPE"), DaliCommandTable::LedDeviceType);
        itf::DaliAnswer answer;
        QString failure;
        try {
            answer = dali->sendCommandExpectingAnswer(
                DaliAddress, DaliCommandTable::opcode("QUERY DIMMING CURVE", DaliCommandTable::LedDeviceType));
        } catch (const itf::DaliException& e) {
            // An answer that may be another master's: the next attempt asks
            // again from ENABLE DEVICE TYPE, which the query needs right before it.
            if (e.code() != ITF_ERR_PACKET_NOT_ANSWER)
                throw;
            failure = QStringLiteral("Answer in doubt");
        }
        if (failure.isEmpty() && !answer)
            failure = QStringLiteral("Invalid answer for dimming curve query");
        else if (failure.isEmpty() && *answer >= options.size())
            failure = QStringLiteral("Invalid dimming curve value %1").arg(*answer);
        if (failure.isEmpty()) {
            out = options.at(*answer);
            qDebug().noquote()
                << QStringLiteral("%1 value retrieved: %2").arg(getIdentifier(), out.toString());
            return 0;
        }
        qDebug().noquote() << QStringLiteral("Failure to get parameter %1 on retry %2: %3")
                                  .arg(getIdentifier())
                                  .arg(attempt)
                                  .arg(failure);
    }
    return ITF_ERR_NO_REPLY;
}

} // namespace tarvesk::core
