#include "devices/dali_device.h"

#include "core/core_errors.h"
#include "core/database/feature.h"
#include "core/database/feature_repository.h"
#include "core/itf_error.h"
#include "core/parameters/dali/dali_memory_bank_parameter_repository.h"
#include "core/parameters/parameter.h"
#include "interfaces/dali_interface.h"
#include "interfaces/dali_memory_bank_actions.h"
#include "log/logging_categories.h"
#include "protocol/dali/dali_command_table.h"

#include <cmath>
#include <memory>

namespace tarvesk::devices {

namespace {

using Dali = proto::DaliCommandTable;

constexpr uchar GroupCount = 8; // per group parameter
const QString kGroup0To7 = QStringLiteral("dali_102_group_0_7");
const QString kGroup8To15 = QStringLiteral("dali_102_group_8_15");

// A DALI data byte: a whole number 0..255. Anything else is refused rather
// than cut to its low 8 bits, which would store a value nobody asked for.
bool toDataByte(const QVariant& value, int& byte)
{
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok || !std::isfinite(number) || number < 0 || number > 255 || number != std::floor(number))
        return false;
    byte = int(number);
    return true;
}

// A parameter of the DALI table: a value outside 0..255 is refused (-8) rather
// than clamped to the byte's range, which would store what nobody asked for.
class DaliTableParameter : public core::Parameter
{
public:
    using Parameter::Parameter;

    int setScaledValue(QVariant scaledVal, ParamUpdate update) override
    {
        int byte = 0;
        if (getParameterType() == core::PARAM_TYPE_NUMBER && !toDataByte(scaledVal, byte))
            return core::ITF_ERR_INVALID_PARAM;
        return Parameter::setScaledValue(scaledVal, update);
    }
};

} // namespace

const std::vector<std::string>& DaliDevice::d4iFeatureIds()
{
    static const std::vector<std::string> ids
        = {"d4i_part_250_mb201", "d4i_part_251_mb1_extension", "d4i_part_252_mb202", "d4i_part_252_mb203",
            "d4i_part_252_mb204", "d4i_part_253_mb205", "d4i_part_253_mb206", "d4i_part_253_mb207"};
    return ids;
}

DaliDevice::DaliDevice(core::Universe* universe, unsigned char address, bool isVirtual)
    : core::Device(universe)
    , _dali(
          universe ? qobject_cast<itf::DaliInterface*>(universe->getInterface(core::ITF_TYPE_DALI)) : nullptr)
    , _address(address)
    , _virtual(isVirtual)
{
    setConnectionStatus(CONNECTED);
}

DaliDevice::~DaliDevice() = default;

std::shared_ptr<itf::IDali> DaliDevice::getDaliInterface()
{
    if (!_dali)
        return core::Device::getDaliInterface(); // throws: no DALI interface
    return _dali->getDaliBridge();
}

int DaliDevice::initializeDeviceInfo(service::AbstractDatabase* database)
{
    Q_UNUSED(database)
    // Memory-bank reads and write enabling go to this gear only.
    if (_dali)
        itf::addActionsForDaliInterfaceToRepository(getActionRepository(), _dali->getDaliBridge(), _address);
    addDali102Params();
    addDali207Params();
    addD4iParametersByFeatures(d4iFeatureIds());
    setName(QStringLiteral("DALI ") + nameForAddress() + QStringLiteral(" device"));
    readRevision();
    return 0;
}

QString DaliDevice::nameForAddress() const
{
    if (_address >= 0xFE)
        return QStringLiteral("broadcast");
    if ((_address & 0xE0) == 0x80) {
        QString name = tr("group %1").arg((_address >> 1) & 15);
        if (_virtual)
            name += QStringLiteral(" virtual");
        return name;
    }
    if (_address < 0x80)
        return tr("short %1").arg((_address >> 1) & 63);
    return QString();
}

void DaliDevice::readRevision()
{
    QVariant version;
    QVariant subversion;
    core::IParameter* versionParam = getParameterInterface(QStringLiteral("version"));
    core::IParameter* subversionParam = getParameterInterface(QStringLiteral("subversion"));
    if (!versionParam || !subversionParam)
        return;
    if (versionParam->getValue(version, core::IParameter::UPDATE_YES) != 0
        || subversionParam->getValue(subversion, core::IParameter::UPDATE_YES) != 0)
        return;
    setRevisionString(QStringLiteral("%1.%2").arg(version.toUInt()).arg(subversion.toUInt()));
}

void DaliDevice::addTableParameter(const DaliParamEntry& entry, const QString& displayName,
    const QString& group, core::ParamType type, bool readOnly)
{
    auto param = std::make_unique<DaliTableParameter>(
        entry.identifier, core::ITF_RES_BYTE, core::Parameter::PARAM_READ_WRITE);
    param->setDisplayName(displayName);
    param->setGroup(group);
    param->setAccessLevel(QStringLiteral("dev"));
    param->setParameterType(type);
    param->setReadOnly(readOnly);
    _table[entry.identifier] = entry;
    if (addParameter(param.get()))
        param.release();
}

void DaliDevice::addIntParameter(const QString& identifier, const QString& displayName, const QString& group,
    uchar queryCommand, uchar storeCommand, uchar deviceType)
{
    DaliParamEntry entry;
    entry.kind = INT_QUERY;
    entry.identifier = identifier;
    entry.queryCommand = queryCommand;
    entry.storeCommand = storeCommand;
    entry.deviceType = deviceType;
    addTableParameter(entry, displayName, group, core::PARAM_TYPE_NUMBER, storeCommand == 0);
}

void DaliDevice::addBoolParameter(const QString& identifier, const QString& displayName, const QString& group,
    uchar queryCommand, uchar storeCommand, uchar deviceType)
{
    DaliParamEntry entry;
    entry.kind = BOOL_QUERY;
    entry.identifier = identifier;
    entry.queryCommand = queryCommand;
    entry.storeCommand = storeCommand;
    entry.deviceType = deviceType;
    addTableParameter(entry, displayName, group, core::PARAM_TYPE_BOOLEAN, true);
}

void DaliDevice::addMembankIntParameter(const QString& identifier, const QString& displayName,
    const QString& group, uchar memoryBank, uchar location)
{
    DaliParamEntry entry;
    entry.kind = MEMBANK_INT;
    entry.identifier = identifier;
    entry.memoryBank = memoryBank;
    entry.memoryLocation = location;
    addTableParameter(entry, displayName, group, core::PARAM_TYPE_NUMBER, true);
}

void DaliDevice::addD4iParametersByFeatures(const std::vector<std::string>& featureIds)
{
    auto parameters = std::make_shared<core::DaliMemoryBankParameterRepository>();
    core::loadDaliMemoryBanksForPart250(parameters);
    core::loadDaliMemoryBanksForPart251(parameters);
    core::loadDaliMemoryBanksForPart252(parameters);
    core::loadDaliMemoryBanksForPart253(parameters);
    auto features = std::make_shared<core::FeatureRepository>();
    core::loadFeaturesForD4i(features);
    addD4iParameters(featureIds, *features, *parameters);
}

void DaliDevice::addD4iParameters(const std::vector<std::string>& featureIds,
    const core::IFeatureRepository& features, const core::IParameterRepository& parameters)
{
    for (const std::string& featureId : featureIds) {
        // A feature comes whole or not at all: half a memory bank would read
        // as a bank whose other fields the gear lacks.
        std::vector<std::unique_ptr<core::Parameter>> built;
        try {
            const std::shared_ptr<core::Feature> feature = features.getFeature(featureId);
            for (const std::string& pid : feature->getParameterIds())
                built.push_back(std::make_unique<core::Parameter>(parameters.getParameterData(pid)));
        } catch (const std::runtime_error& e) { // FeatureError, ParameterError
            qCWarning(service::database()).noquote()
                << QStringLiteral("Failed to load feature %1: %2")
                       .arg(QString::fromStdString(featureId), QString::fromUtf8(e.what()));
            continue;
        }
        for (std::unique_ptr<core::Parameter>& param : built) {
            if (addParameter(param.get()))
                param.release();
        }
    }
}

int DaliDevice::getParamCallback(core::Parameter* param)
{
    if (!param)
        return core::ITF_ERR_INVALID_PARAM;
    const auto it = _table.find(param->getIdentifier());
    if (it == _table.end())
        return core::Device::getParamCallback(param);
    const DaliParamEntry& entry = it->second;
    switch (entry.kind) {
    case INT_QUERY:
        return handleIntQuery(param, entry.queryCommand, entry.deviceType);
    case BOOL_QUERY:
        return handleBoolQuery(param, entry.queryCommand, entry.deviceType);
    case MEMBANK_INT:
        return handleMembankIntQuery(param, entry.memoryBank, entry.memoryLocation);
    }
    return core::ITF_ERR_UNSUPPORTED_PARAMETER;
}

int DaliDevice::query(uchar queryCommand, uchar deviceType, uchar* answer)
{
    if (!_dali)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    if (deviceType == 0)
        return _dali->queryCommand(_address, queryCommand, answer, false);
    return _dali->queryExtendedCommand(deviceType, _address, queryCommand, answer);
}

int DaliDevice::handleIntQuery(core::Parameter* param, uchar queryCommand, uchar deviceType)
{
    uchar answer = 0;
    const int status = query(queryCommand, deviceType, &answer);
    if (status != core::ITF_OK)
        return status;
    param->setValue(QVariant(uint(answer)), core::IParameter::UPDATE_NO);
    return 0;
}

int DaliDevice::handleBoolQuery(core::Parameter* param, uchar queryCommand, uchar deviceType)
{
    uchar answer = 0;
    const int status = query(queryCommand, deviceType, &answer);
    if (status == core::ITF_ERR_NO_REPLY) { // DALI's "no"
        param->setValue(QVariant(false), core::IParameter::UPDATE_NO);
        return 0;
    }
    if (status != core::ITF_OK)
        return status;
    param->setValue(QVariant(answer != 0), core::IParameter::UPDATE_NO);
    return 0;
}

int DaliDevice::handleMembankIntQuery(core::Parameter* param, uchar memoryBank, uchar location)
{
    if (!_dali)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    int status = _dali->specialCommand(Dali::special("DTR1"), memoryBank);
    if (status == core::ITF_OK)
        status = _dali->specialCommand(Dali::special("DTR0"), location);
    uchar answer = 0;
    if (status == core::ITF_OK)
        status = _dali->queryCommand(_address, Dali::opcode("READ MEMORY LOCATION"), &answer, false);
    if (status != core::ITF_OK)
        return status;
    param->setValue(QVariant(uint(answer)), core::IParameter::UPDATE_NO);
    return 0;
}

int DaliDevice::handleIntStore(uchar storeCommand, uchar value, uchar deviceType)
{
    if (!_dali)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    const int status = _dali->specialCommand(Dali::special("DTR0"), value);
    if (status != core::ITF_OK)
        return status;
    return _dali->sendCommandTwice(_address, storeCommand, deviceType);
}

int DaliDevice::handleAddToGroupParameter(uchar groupOffset, int mask, uchar deviceType)
{
    if (!_dali)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    int status = core::ITF_OK;
    for (uchar i = 0; i < GroupCount; ++i) {
        const uchar group = uchar(groupOffset + i);
        const uchar opcode = (mask >> i) & 1 ? Dali::opcode("ADD TO GROUP") + group
                                             : Dali::opcode("REMOVE FROM GROUP") + group;
        status = _dali->sendCommandTwice(_address, opcode, deviceType);
        if (status != core::ITF_OK)
            return status;
    }
    return status;
}

int DaliDevice::setParamCallback(core::Parameter* param, QVariant value)
{
    if (!param)
        return core::ITF_ERR_INVALID_PARAM;
    const auto it = _table.find(param->getIdentifier());
    if (it == _table.end())
        return core::Device::setParamCallback(param, value);
    const DaliParamEntry& entry = it->second;
    const bool isGroup = entry.identifier == kGroup0To7 || entry.identifier == kGroup8To15;
    if (!isGroup && (param->getParameterType() != core::PARAM_TYPE_NUMBER || entry.storeCommand == 0))
        return core::ITF_ERR_UNSUPPORTED_PARAMETER;
    int byte = 0;
    if (!toDataByte(value, byte))
        return core::ITF_ERR_INVALID_PARAM;
    if (isGroup)
        return handleAddToGroupParameter(entry.identifier == kGroup0To7 ? 0 : 8, byte, entry.deviceType);
    return handleIntStore(entry.storeCommand, uchar(byte), entry.deviceType);
}

} // namespace tarvesk::devices
