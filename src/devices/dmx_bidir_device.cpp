#include "devices/dmx_bidir_device.h"

#include "core/database/device_info_record.h"
#include "core/interface_type.h"
#include "core/itf_error.h"
#include "core/parameters/param_type.h"
#include "core/parameters/param_unit.h"
#include "core/parameters/parameter.h"
#include "core/parameters/raw_parameter_interface.h"
#include "devices/dmx_device_raw_brask_interface.h"
#include "devices/dmx_device_raw_cur_interface.h"
#include "devices/nordhune_interfaces.h"
#include "interfaces/dmx/dmx_interface.h"
#include "interfaces/dmx/wystrel_dali_interface.h"
#include "log/logging_categories.h"
#include "protocol/dmx/rdm_packet.h"
#include "protocol/dmx/rdm_pid_names.h"
#include "protocol/options.h"
#include "protocol/wystrel/wystrel_packet.h"

namespace tarvesk::devices {

namespace {

constexpr int WystrelAnswerTimeout = 4000;
constexpr int WystrelBreakTime = 88;
constexpr int RdmBreakTime = 176;
constexpr int UidRetries = 6;

// Identity addresses of the driver's parameter space, before and from version 270 on.
constexpr unsigned LayoutVersion = 270;
constexpr unsigned OldLegacyId = 0x96, NewLegacyId = 0x3FE4;
constexpr unsigned OldProductId = 0x97, NewProductId = 0x3FF9;
constexpr unsigned OldOemId = 0x301, NewOemId = 0x3FF8;

const QString SensorPrefix = QStringLiteral("sensor_value_");

const QStringList& rdmParameterIds()
{
    static const QStringList ids = {QStringLiteral("rdm_protocol_version"), QStringLiteral("device_model_id"),
        QStringLiteral("product_category"), QStringLiteral("software_version_id"),
        QStringLiteral("dmx512_footprint"), QStringLiteral("dmx512_personality"),
        QStringLiteral("dmx512_start_address"), QStringLiteral("subdevice_count"),
        QStringLiteral("sensor_count"), QStringLiteral("device_model_description"),
        QStringLiteral("manufacturer_label"), QStringLiteral("device_label")};
    return ids;
}

QString sensorTypeText(quint8 type)
{
    switch (type) {
    case 0:
        return QStringLiteral("Temperature");
    case 1:
        return QStringLiteral("Voltage");
    case 2:
        return QStringLiteral("Current");
    default:
        return QStringLiteral("Other");
    }
}

core::ParamUnit sensorUnit(quint8 unit)
{
    switch (unit) {
    case 1:
        return core::PARAM_UNIT_TEMPERATURE_CELSIUS;
    case 2:
        return core::PARAM_UNIT_VOLT;
    case 10:
        return core::PARAM_UNIT_WATT;
    default:
        return core::PARAM_UNIT_UNDEFINED;
    }
}

// The E1.20 prefix as a factor; 0 leaves the scale as it is.
double prefixScale(quint8 prefix)
{
    switch (prefix) {
    case 1:
        return 0.1;
    case 2:
        return 0.01;
    case 3:
        return 0.001;
    case 4:
        return 1e-6;
    case 5:
        return 1e-9;
    case 17:
        return 10;
    case 18:
        return 100;
    case 19:
        return 1000;
    case 20:
        return 1e6;
    case 21:
        return 1e9;
    default:
        return 0;
    }
}

} // namespace

const QString DmxBidirDevice::ControllerUid = QStringLiteral("7e2b:00000042");

DmxBidirDevice::DmxBidirDevice(core::Universe* universe, QString uid)
    : DmxDevice(universe)
    , _rdm(true)
{
    setConnectionStatus(CONNECTED);
    setUniqueIDString(uid);
}

DmxBidirDevice::DmxBidirDevice(core::Universe* universe, int uid, int localId, int skipCount)
    : DmxDevice(universe)
    , _rdm(false)
    , _uid(uid)
    , _localId(localId)
    , _skipCount(skipCount)
{
    setConnectionStatus(CONNECTED);
    setUniqueIDString(wystrelUidText(quint32(uid)));
}

DmxBidirDevice::~DmxBidirDevice() = default;

QString DmxBidirDevice::wystrelUidText(quint32 uid)
{
    return QStringLiteral("%1").arg(uid, 8, 16, QLatin1Char('0'));
}

core::InterfaceType DmxBidirDevice::getInterfaceType() const
{
    return core::ITF_TYPE_DMX;
}

int DmxBidirDevice::productInterfaceType() const
{
    return core::DeviceInfoRecord::DMX;
}

itf::DmxInterface* DmxBidirDevice::dmx() const
{
    return qobject_cast<itf::DmxInterface*>(getInterface());
}

itf::DaliInterface* DmxBidirDevice::getWystrelDaliInterface() const
{
    return _dali.get();
}

// --- Exchanges ----------------------------------------------------------------

int DmxBidirDevice::sendWystrel(proto::WystrelPacket* packet, proto::WystrelPacket** answer)
{
    std::unique_ptr<proto::DmxPacket> owned;
    const int status = exchange(packet, WystrelBreakTime, owned);
    if (status == core::ITF_OK && owned && answer)
        *answer = new proto::WystrelPacket(owned.get());
    return status;
}

int DmxBidirDevice::exchange(
    proto::DmxPacket* packet, int breakTime, std::unique_ptr<proto::DmxPacket>& received)
{
    itf::DmxInterface* line = dmx();
    if (!line)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    proto::Options options;
    options.addOption(proto::option::ExpectAnswer, true);
    options.addOption(proto::option::AnswerTimeout, WystrelAnswerTimeout);
    options.addOption(proto::option::BreakTime, breakTime);
    proto::DmxPacket* answer = nullptr;
    const int status = line->sendDmx(packet, &answer, &options);
    received.reset(answer);
    return status;
}

int DmxBidirDevice::sendRdm(proto::RdmPacket* packet, proto::RdmPacket** answer)
{
    if (!dmx())
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    if (!packet->setSourceUid(ControllerUid) || !packet->setTargetUid(getUniqueIDString()))
        return core::ITF_ERR_INVALID_PARAM;
    std::unique_ptr<proto::DmxPacket> owned;
    const int status = exchange(packet, RdmBreakTime, owned);
    if (status == core::ITF_OK && owned && answer)
        *answer = new proto::RdmPacket(owned.get());
    return status;
}

int DmxBidirDevice::rdmGet(quint16 pid, std::unique_ptr<proto::RdmPacket>& answer, int dataByte)
{
    proto::RdmPacket request;
    if (!request.fromPid(pid))
        return core::ITF_ERR_INVALID_PARAM;
    if (dataByte >= 0)
        request.setByte(proto::RdmPacket::HeaderSize, quint8(dataByte));
    request.checksum_recalculate();
    proto::RdmPacket* received = nullptr;
    const int status = sendRdm(&request, &received);
    answer.reset(received);
    if (status != core::ITF_OK)
        return status;
    // Only a checked acknowledgement of this PID counts: a NACK, a garbled or a
    // short answer makes nothing.
    if (!answer || answer->isTimeoutEvent() || answer->checkResponse() != proto::RdmPacket::RESPONSE_OK
        || answer->getResponseType() != proto::RdmPacket::RESPONSE_TYPE_ACK || answer->getPid() != pid) {
        answer.reset();
        return core::ITF_ERR_NO_REPLY;
    }
    return core::ITF_OK;
}

// The text of a GET answer: its parameter data up to the first NUL.
int DmxBidirDevice::rdmText(quint16 pid, QString& text, bool& sendFailed)
{
    std::unique_ptr<proto::RdmPacket> answer;
    const int status = rdmGet(pid, answer);
    sendFailed = status != core::ITF_OK && status != core::ITF_ERR_NO_REPLY;
    if (status != core::ITF_OK)
        return status;
    const int length = qMin(int(answer->getUint8(proto::RdmPacket::HeaderSize - 1)),
        answer->getDataSize() - proto::RdmPacket::HeaderSize - proto::RdmPacket::ChecksumSize);
    QByteArray bytes(
        reinterpret_cast<const char*>(answer->getData()) + proto::RdmPacket::HeaderSize, qMax(0, length));
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    text = QString::fromLatin1(bytes);
    return core::ITF_OK;
}

// --- The Wystrel parameter list -------------------------------------------------

bool DmxBidirDevice::WY_findFirst()
{
    itf::DmxInterface* line = dmx();
    if (!line)
        return false;
    proto::WystrelPacket frame(proto::WystrelPacket::WY_CMD_READ);
    frame.setSkipCount(quint8(_skipCount));
    frame.setLid(quint16(_localId));
    frame.param_setNumber(0);
    frame.checksum_recalculate();
    proto::Options options;
    options.addOption(proto::option::ExpectAnswer, true);
    options.addOption(proto::option::AnswerTimeout, DmxDeviceRawBraskInterface::answerTimeoutFor(_skipCount));
    proto::DmxPacket* received = nullptr;
    const int status = line->sendDmx(&frame, &received, &options);
    delete received;
    return status == core::ITF_OK;
}

bool DmxBidirDevice::WY_findNext(
    unsigned short previous, unsigned short& number, unsigned short& value, bool* answered)
{
    if (answered)
        *answered = false;
    itf::DmxInterface* line = dmx();
    if (!line)
        return false;
    // FIND: the READ command with its sub-command bit, asking for the entry after `previous`.
    proto::WystrelPacket frame(proto::WystrelPacket::WY_CMD_READ);
    frame.cmd_setSubCommand(true);
    frame.param_setNumber(previous);
    frame.setSkipCount(quint8(_skipCount));
    frame.setLid(quint16(_localId));
    frame.checksum_recalculate();
    proto::Options options;
    options.addOption(proto::option::ExpectAnswer, true);
    options.addOption(proto::option::AnswerTimeout, DmxDeviceRawBraskInterface::answerTimeoutFor(_skipCount));
    proto::DmxPacket* received = nullptr;
    const int status = line->sendDmx(&frame, &received, &options);
    std::unique_ptr<proto::DmxPacket> owned(received);
    if (status != core::ITF_OK)
        return false;
    if (owned && !owned->isTimeoutEvent() && owned->getDataSize() >= proto::WystrelPacket::FrameSize) {
        number = owned->getUint8(4);
        value = quint16(owned->getUint8(6) | owned->getUint8(7) << 8);
        if (answered)
            *answered = true;
    }
    return true;
}

// Walks the list to the wanted number. Bounded: a driver that never lists it
// (nor ends its list with 0), or that keeps leaving steps unanswered, ends the walk.
bool DmxBidirDevice::walkTo(unsigned short wanted, unsigned short& value)
{
    if (!WY_findFirst() && !WY_findFirst())
        return false;
    unsigned short number = 0;
    int silent = 0;
    for (int step = 0; step < MaxWalkSteps; ++step) {
        const unsigned short previous = number;
        unsigned short found = 0;
        unsigned short foundValue = 0;
        bool answered = false;
        if (!WY_findNext(previous, found, foundValue, &answered))
            return false;
        if (!answered) {
            if (++silent > MaxSilentRepeats)
                return false;
            continue;
        }
        silent = 0;
        if (found == wanted) {
            value = foundValue;
            return true;
        }
        if (found == 0 || found <= previous)
            return false;
        number = found;
    }
    return false;
}

int DmxBidirDevice::findMaxCurrent()
{
    unsigned short value = 0;
    return walkTo(MaxCurrentParameter, value) ? int(value) : -1;
}

// --- Initialisation -------------------------------------------------------------

void DmxBidirDevice::probeWystrel()
{
    proto::WystrelPacket frame(proto::WystrelPacket::WY_CMD_GUID);
    frame.setSkipCount(quint8(_skipCount));
    frame.setLid(quint16(_localId));
    frame.checksum_recalculate();
    proto::WystrelPacket* answer = nullptr;
    const int status = sendWystrel(&frame, &answer);
    std::unique_ptr<proto::WystrelPacket> owned(answer);
    if (status == core::ITF_OK && owned && !owned->isTimeoutEvent() && owned->getDataSize() > 0
        && owned->checksum_isValid()) {
        qCDebug(service::loggerGlog()) << "Has wystrel support";
        _wystrel = true;
    }
}

int DmxBidirDevice::initializeRdmInfo()
{
    std::unique_ptr<proto::RdmPacket> answer;
    if (rdmGet(proto::E120_DEVICE_INFO, answer) == core::ITF_OK) {
        if (const std::optional<proto::RdmPacket::DeviceInfo> info = answer->getDeviceInfo()) {
            createIntParameter(QStringLiteral("rdm_protocol_version"), QStringLiteral("RDM protocol version"),
                info->protocolVersion);
            createIntParameter(
                QStringLiteral("device_model_id"), QStringLiteral("Device model ID"), info->deviceModelId);
            createIntParameter(QStringLiteral("product_category"), QStringLiteral("Product category"),
                info->productCategory);
            createIntParameter(QStringLiteral("software_version_id"), QStringLiteral("Software version ID"),
                info->softwareVersion);
            createIntParameter(
                QStringLiteral("dmx512_footprint"), QStringLiteral("DMX512 Footprint"), info->dmxFootprint);
            createIntParameter(QStringLiteral("dmx512_personality"), QStringLiteral("DMX512 Personality"),
                info->dmxPersonality);
            createIntParameter(QStringLiteral("dmx512_start_address"), QStringLiteral("DMX512 Start address"),
                info->dmxStartAddress);
            createIntParameter(
                QStringLiteral("subdevice_count"), QStringLiteral("Subdevice count"), info->subDeviceCount);
            createIntParameter(
                QStringLiteral("sensor_count"), QStringLiteral("Sensor count"), info->sensorCount);
            for (int i = 0; i < info->sensorCount; ++i)
                createSensorParameter(i);
        }
    }

    QString text;
    bool sendFailed = false;
    if (rdmText(proto::E120_DEVICE_MODEL_DESCRIPTION, text, sendFailed) == core::ITF_OK) {
        if (!_wystrel)
            setName(text);
        createStringParameter(
            QStringLiteral("device_model_description"), QStringLiteral("Device model description"), text);
    }

    int status = rdmText(proto::E120_MANUFACTURER_LABEL, text, sendFailed);
    if (sendFailed)
        return status;
    if (status == core::ITF_OK) {
        if (!_wystrel)
            setManufacturerString(text);
        if (!isOwnProduct(100))
            createStringParameter(
                QStringLiteral("manufacturer_label"), QStringLiteral("Manufacturer label"), text);
        status = rdmText(proto::E120_DEVICE_LABEL, text, sendFailed);
        if (sendFailed)
            return status;
        if (status == core::ITF_OK)
            createStringParameter(QStringLiteral("device_label"), QStringLiteral("Device label"), text);
    }
    return core::ITF_OK;
}

int DmxBidirDevice::initializeDeviceInfo(service::AbstractDatabase* database)
{
    if (!_rdm) {
        _wystrel = true;
        return Device::initializeDeviceInfo(database);
    }
    probeWystrel();
    const int status = initializeRdmInfo();
    if (status != core::ITF_OK)
        return status;
    return _wystrel ? Device::initializeDeviceInfo(database) : core::ITF_OK;
}

void DmxBidirDevice::initializeInterfaces()
{
    if (!_brask) {
        _brask = new DmxDeviceRawBraskInterface(this, core::presmondeInterface());
        addRawParameterInterface(_brask, true);
    }
    itf::DmxInterface* line = dmx();
    if (!_dali && line)
        _dali = std::make_unique<itf::WystrelDaliInterface>(this, line);
    addNordhuneInterfaces(*this, [&](const QString& name, int chip, MemoryLocation memory) {
        return new DmxDeviceRawCurInterface(this, name, _brask, line, chip, memory, _skipCount, _localId);
    });
}

// --- RDM parameters ---------------------------------------------------------------

core::Parameter* DmxBidirDevice::createIntParameter(
    QString identifier, QString displayName, unsigned int value)
{
    auto* param = new core::Parameter(identifier, core::ITF_RES_BYTE, core::Parameter::PARAM_READ_ONLY);
    param->setParameterType(core::PARAM_TYPE_NUMBER);
    param->setGroup(QStringLiteral("RDM"));
    param->setDisplayName(displayName);
    if (!addParameter(param)) {
        delete param;
        return nullptr;
    }
    param->setActualValue(QVariant(value));
    return param;
}

core::Parameter* DmxBidirDevice::createStringParameter(QString identifier, QString displayName, QString value)
{
    auto* param = new core::Parameter(identifier, core::ITF_RES_BYTE, core::Parameter::PARAM_READ_ONLY);
    param->setParameterType(core::PARAM_TYPE_STRING);
    param->setGroup(QStringLiteral("RDM"));
    param->setDisplayName(displayName);
    if (!addParameter(param)) {
        delete param;
        return nullptr;
    }
    param->setActualValue(QVariant(QStringLiteral("\"%1\"").arg(value)));
    return param;
}

core::Parameter* DmxBidirDevice::createSensorParameter(int sensorIndex)
{
    core::Parameter* param = createIntParameter(SensorPrefix + QString::number(sensorIndex + 1),
        QStringLiteral("Sensor value %1").arg(sensorIndex + 1), 0);
    if (!param)
        return nullptr;
    // E1.20 sensor values are signed 16-bit.
    param->setMinValue(QVariant(-32768));
    param->setMaxValue(QVariant(32767));
    std::unique_ptr<proto::RdmPacket> answer;
    if (rdmGet(proto::E120_SENSOR_DEFINITION, answer, sensorIndex) != core::ITF_OK)
        return param;
    const std::optional<proto::RdmPacket::SensorDefinition> definition = answer->getSensorDefinition();
    if (!definition)
        return param;
    param->setUnit(sensorUnit(definition->unit));
    if (const double scale = prefixScale(definition->prefix))
        param->setScale(scale);
    QString description = definition->description;
    const int nul = description.indexOf(QChar(0));
    if (nul >= 0)
        description.truncate(nul);
    param->setDisplayName(QStringLiteral("Sensor value %1 : %2 (%3)")
                              .arg(sensorIndex + 1)
                              .arg(sensorTypeText(definition->type), description));
    return param;
}

int DmxBidirDevice::getParamCallback(core::Parameter* param)
{
    if (!param)
        return core::ITF_ERR_INVALID_PARAM;
    const QString& id = param->getIdentifier();
    if (rdmParameterIds().contains(id))
        return core::ITF_OK;
    if (_rdm && id.startsWith(SensorPrefix)) {
        bool ok = false;
        const int sensor = id.mid(SensorPrefix.size()).toInt(&ok);
        if (!ok || sensor < 1 || sensor > 255)
            return core::ITF_ERR_INVALID_PARAM;
        std::unique_ptr<proto::RdmPacket> answer;
        const int status = rdmGet(proto::E120_SENSOR_VALUE, answer, sensor - 1);
        if (status != core::ITF_OK)
            return status;
        const std::optional<quint64> reading = answer->getSensorValue();
        if (!reading)
            return core::ITF_ERR_NO_REPLY;
        // E1.20 sensor values are signed 16-bit.
        param->setActualValue(QVariant(int(qint16(quint16(*reading & 0xFFFF)))));
        return core::ITF_OK;
    }
    return Device::getParamCallback(param);
}

// --- Identity -------------------------------------------------------------------

unsigned DmxBidirDevice::getProductIdAddress() const
{
    return getVersion() < LayoutVersion ? OldProductId : NewProductId;
}

unsigned DmxBidirDevice::getOemIdAddress() const
{
    return getVersion() < LayoutVersion ? OldOemId : NewOemId;
}

bool DmxBidirDevice::isOwnProduct(unsigned oemLimit) const
{
    const unsigned oem = getOemId();
    return (oem >= 1 && oem <= oemLimit) || (oem == 0 && getProductId() >= 8 && getVersion() >= 240);
}

int DmxBidirDevice::readProductIdentifiers()
{
    if (!_wystrel)
        return core::ITF_OK;
    const int status = Device::readProductIdentifiers();
    if (!isOwnProduct(200))
        recogniseProduct();
    return status;
}

// Older drivers carry no product and OEM id of the maker; their legacy
// identification byte, the version word and parameter 170 tell the product.
// A read that fails ends the recognition with the identifiers as read.
void DmxBidirDevice::recogniseProduct()
{
    if (!_brask)
        return;
    const auto failed = [this](int status) {
        qCWarning(service::loggerGlog()).noquote()
            << GLOG_PREFIX
            << QStringLiteral("Product recognition of %1 stopped: read failed (%2)")
                   .arg(getUniqueIDString())
                   .arg(status);
    };
    unsigned a = 0;
    int status = _brask->getParameter(
        core::ITF_RES_BYTE, int(getVersion() < LayoutVersion ? OldLegacyId : NewLegacyId), a);
    if (status != core::ITF_OK)
        return failed(status);
    if (a & 0x40) {
        setProductId((a & 0x0F) == 7 ? 10 : 11);
        setOemId(0);
        return;
    }
    unsigned b = 0;
    status = _brask->getParameter(core::ITF_RES_WORD, 0, b);
    if (status != core::ITF_OK)
        return failed(status);
    unsigned short maxCurrent = 0;
    switch (a & 0x0F) {
    case 4:
        setProductId((a & 0x80) ? 17 : ((b & 0x8000) ? 31 : 18));
        setOemId(0);
        break;
    case 5:
        setProductId(19);
        setOemId(0);
        break;
    case 6:
        setOemId(0);
        if (!walkTo(MaxCurrentParameter, maxCurrent))
            maxCurrent = 0;
        setProductId(maxCurrent == 105 ? 21 : (maxCurrent == 50 ? 20 : 22));
        break;
    case 7:
        setOemId(0);
        if (!walkTo(MaxCurrentParameter, maxCurrent))
            maxCurrent = 0;
        setProductId(maxCurrent == 105 ? 15 : (maxCurrent == 50 ? 14 : 16));
        break;
    default:
        break;
    }
}

// --- Unique id ------------------------------------------------------------------

QString DmxBidirDevice::readUniqueIdString()
{
    itf::DmxInterface* line = dmx();
    if (!line)
        return QString();
    proto::WystrelPacket frame(proto::WystrelPacket::WY_CMD_GUID);
    frame.setSkipCount(quint8(_skipCount));
    frame.setLid(quint16(_localId));
    frame.checksum_recalculate();
    proto::Options options;
    options.addOption(proto::option::AnswerTimeout, DmxDeviceRawBraskInterface::answerTimeoutFor(_skipCount));
    options.addOption(proto::option::ExpectAnswer, true);
    options.addOption(proto::option::RetryCount, UidRetries);
    proto::DmxPacket* received = nullptr;
    const int status = line->sendDmx(&frame, &received, &options);
    std::unique_ptr<proto::DmxPacket> owned(received);
    if (status != core::ITF_OK)
        return QString();
    if (!owned || owned->getDataSize() == 0) {
        qCDebug(service::loggerGlog()) << "No reply for GUID";
        return QString();
    }
    const proto::WystrelPacket answer(owned.get());
    if (owned->isTimeoutEvent() || !answer.cmd_isAnswer() || !answer.cmd_isGUID()
        || !answer.checksum_isValid()) {
        qCWarning(service::loggerGlog()).noquote() << GLOG_PREFIX << "Invalid reply for GUID";
        return QString();
    }
    const QString text = wystrelUidText(answer.getUid());
    qCDebug(service::loggerGlog()).noquote() << QStringLiteral("Found a device with UID: %1").arg(text);
    return text;
}

int DmxBidirDevice::writeUniqueIdString(QString uidStr)
{
    bool ok = false;
    const qint64 uid = uidStr.toLongLong(&ok, 16);
    if (uidStr.size() != 8 || !ok || uid < 0 || uid > 0x7FFFFFFF)
        return core::ITF_ERR_INVALID_PARAM;
    for (QChar c : uidStr) {
        if (!c.isDigit() && !QStringLiteral("abcdefABCDEF").contains(c))
            return core::ITF_ERR_INVALID_PARAM;
    }
    itf::DmxInterface* line = dmx();
    if (!line)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    proto::WystrelPacket frame(proto::WystrelPacket::WY_CMD_WSNUM);
    frame.setSkipCount(quint8(_skipCount));
    frame.setLid(quint16(_localId));
    frame.setUid(quint32(uid));
    frame.checksum_recalculate();
    proto::Options options;
    options.addOption(proto::option::AnswerTimeout, DmxDeviceRawBraskInterface::answerTimeoutFor(_skipCount));
    options.addOption(proto::option::ExpectAnswer, true);
    options.addOption(proto::option::RetryCount, UidRetries);
    proto::DmxPacket* received = nullptr;
    const int status = line->sendDmx(&frame, &received, &options);
    std::unique_ptr<proto::DmxPacket> owned(received);
    if (status != core::ITF_OK)
        return core::ITF_ERR_INVALID_PARAM;
    if (!owned || owned->getDataSize() == 0 || owned->isTimeoutEvent()) {
        qCDebug(service::loggerGlog()) << "No reply for GUID";
        return core::ITF_ERR_NO_REPLY;
    }
    const proto::WystrelPacket answer(owned.get());
    if (!answer.cmd_isAnswer() || !answer.cmd_isWriteSerialNum() || !answer.checksum_isValid()) {
        qCWarning(service::loggerGlog()).noquote() << GLOG_PREFIX << "Invalid reply for GUID";
        return core::ITF_ERR_TRANSFER;
    }
    const quint32 stored = answer.getUid();
    if (stored != quint32(uid)) {
        qCCritical(service::loggerGlog()).noquote()
            << GLOG_PREFIX
            << QStringLiteral("Incorrectly wrote serial number %1 to device, actual serial number became %2")
                   .arg(uidStr, wystrelUidText(stored));
        return core::ITF_ERR_INVALID_PARAM;
    }
    qCDebug(service::loggerGlog()).noquote()
        << QStringLiteral("Successfully wrote serial number %1 to device").arg(uidStr);
    return core::ITF_OK;
}

} // namespace tarvesk::devices
