#include "core/parameters/datastore/data_store.h"

#include "core/core_errors.h"
#include "core/firmware.h"
#include "core/parameters/parameter.h"
#include "log/logging_categories.h"

#include <QLoggingCategory>

#include <algorithm>
#include <cmath>
#include <limits>

namespace tarvesk::core {

namespace {

struct Range
{
    int min;
    int max;
    double step;
};

// Unsigned and signed range of each numeric storage type.
Range rangeOf(DataStore::StorageType type, DataStore::StorageSign sign)
{
    const bool isSigned = sign == DataStore::STORAGE_SIGNED;
    switch (type) {
    case DataStore::STORAGE_BYTE:
        return isSigned ? Range {-128, 127, 1.0} : Range {0, 255, 1.0};
    case DataStore::STORAGE_SIX_BITS:
        return isSigned ? Range {-32, 31, 1.0} : Range {0, 63, 1.0};
    case DataStore::STORAGE_WORD:
        return isSigned ? Range {-8192, 8191, 1.0} : Range {0, 16383, 1.0};
    case DataStore::STORAGE_SWAPPED_WORD:
        return isSigned ? Range {-32768, 32764, 4.0} : Range {0, 65532, 4.0};
    case DataStore::STORAGE_UINT16:
        return isSigned ? Range {-32768, 32767, 1.0} : Range {0, 65535, 1.0};
    default:
        return Range {0, 0, 0.0};
    }
}

struct FlagParam
{
    const char* name;
    const char* type;
    const char* group;
};

// The flags and the hardware type, in the order they are registered.
constexpr FlagParam kFlagParams[] = {
    {"enable_fe_sw_fix_set_0", "PARAM_TYPE_BOOLEAN", "Frontend configuration"},
    {"enable_fe_sw_fix_LD7830chip", "PARAM_TYPE_BOOLEAN", "Frontend configuration"},
    {"enable_fe_dual_stage", "PARAM_TYPE_BOOLEAN", "Frontend configuration"},
    {"hw_type", "PARAM_TYPE_ENUM", "Device identification/configuration"},
    {"revoutmap", "PARAM_TYPE_BOOLEAN", "Device identification/configuration"},
    {"non_ui_pop", "PARAM_TYPE_BOOLEAN", "Device identification/configuration"},
    {"imd_flag", "PARAM_TYPE_BOOLEAN", "Device identification/configuration"},
    {"us_flag", "PARAM_TYPE_BOOLEAN", "Device identification/configuration"},
    {"highvolt", "PARAM_TYPE_BOOLEAN", "Device identification/configuration"},
    {"tolvenebrand", "PARAM_TYPE_BOOLEAN", "Device identification/configuration"},
    {"oeoutswap", "PARAM_TYPE_BOOLEAN", "Device identification/configuration"},
    {"ul924_ready", "PARAM_TYPE_BOOLEAN", "Device identification/configuration"},
    {"tolvene_specs_setting", "PARAM_TYPE_BOOLEAN", "Device identification/configuration"},
    {"single_ballast_limit", "PARAM_TYPE_BOOLEAN", "Device identification/configuration"},
    {"power_write_lock", "PARAM_TYPE_BOOLEAN", "Device identification/configuration"},
    {"vettrin_enable", "PARAM_TYPE_BOOLEAN", "VLC"},
    {"light_shaping_enable", "PARAM_TYPE_BOOLEAN", "Device identification/configuration"},
    {"configurable_vs_cs_and_hkc_enable", "PARAM_TYPE_BOOLEAN", "Device identification/configuration"},
    {"alternate_pinning", "PARAM_TYPE_BOOLEAN", "Device identification/configuration"},
};

constexpr const char* kSystemInfoBits = "0: current_source_1_disabled\n"
                                        "1: current_source_2_disabled\n"
                                        "2: current_source_3_disabled\n"
                                        "3: current_source_4_disabled\n"
                                        "4: 0-10V_circuit_detected\n"
                                        "5: set_for_DALI_driver\n"
                                        "7: indicates_virgin_generic_preloaded_application";

struct NamedId
{
    int id;
    const char* name;
};

struct DeviceProcessor
{
    int deviceId;
    int processorId;
};

// The processor ids that firmware module names use, by the chip's device id word.
constexpr DeviceProcessor kProcessorIdsByDevId[]
    = {{0x302B, 4}, {0x305B, 3}, {0x308F, 7}, {0x3090, 5}, {0x30A4, 43}};

constexpr NamedId kProcessorNames[] = {
    {3, "PIC16F1718"},
    {4, "PIC16F1788"},
    {5, "PIC16F1779"},
    {6, "PIC16F1709"},
    {7, "PIC16F1778"},
    {40, "PIC11AA010"},
    {41, "PIC12F1822"},
    {42, "PIC16F1825"},
    {90, "PIC16F688"},
    {91, "PIC16F690"},
    {92, "PIC16F886"},
    {93, "PIC16F1938"},
    {94, "PIC18F25K20"},
    {95, "PIC18F25K22"},
    {96, "PIC16F1826"},
    {97, "PIC18F25K50"},
};

constexpr NamedId kDeviceNames[] = {
    {0x302A, "PIC16F1789"},
    {0x302B, "PIC16F1788"},
    {0x302C, "PIC16LF1789"},
    {0x302D, "PIC16LF1788"},
    {0x305A, "PIC16F1719"},
    {0x305B, "PIC16F1718"},
    {0x305C, "PIC16F1717"},
    {0x305D, "PIC16LF1719"},
    {0x305E, "PIC16F1718"},
    {0x305F, "PIC16LF1717"},
    {0x308E, "PIC16F1777"},
    {0x308F, "PIC16F1778"},
    {0x3090, "PIC16F1779"},
    {0x3091, "PIC16LF1777"},
    {0x3092, "PIC16LF1778"},
    {0x3093, "PIC16LF1779"},
};

template <std::size_t N> QString nameOf(const NamedId (&table)[N], int id)
{
    for (const NamedId& entry : table) {
        if (entry.id == id)
            return QString::fromLatin1(entry.name);
    }
    return QStringLiteral("Unknown");
}

// Table rows whose range is a word's but of which only the low byte is stored.
const QStringList& byteStoredWords()
{
    static const QStringList names = {QStringLiteral("oem_id"), QStringLiteral("product_id")};
    return names;
}

constexpr int kPackedTextCharacters = 30;

bool isNumber(const QVariant& value)
{
    switch (value.userType()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

void glogCritical(const QString& text)
{
    qCCritical(service::loggerGlog()).noquote().nospace() << GLOG_PREFIX << text;
}

void glogWarning(const QString& text)
{
    qCWarning(service::loggerGlog()).noquote().nospace() << GLOG_PREFIX << text;
}

} // namespace

DataStore::DataStore(Firmware* parent, bool convert)
    : _parent(parent)
{
    addParameters();
    if (convert)
        convertMemoryMapToParameterValues();
}

DataStore::DataStore()
    : _parent(new Firmware())
    , _ownsParent(true)
{
    addParameters();
}

DataStore::~DataStore()
{
    if (_ownsParent)
        delete _parent;
    qDeleteAll(_parameters);
}

int DataStore::getWord(int address) const
{
    return _parent->getWord(address, false);
}

void DataStore::setWord(int address, int value)
{
    _parent->setWord(address, value);
}

void DataStore::addParameters()
{
    for (const DataStoreParam& row : dataStoreParamTable())
        addParameter(row.name, row.group, row.type, row.sign);
    if (Parameter* info = _parameters.value(QStringLiteral("init_system_info_0")))
        info->setDescription(QString::fromLatin1(kSystemInfoBits));
    addFlagParameters();
}

Parameter* DataStore::addParameter(
    const QString& name, const QString& group, StorageType type, StorageSign sign)
{
    auto* parameter = new Parameter(name, ITF_RES_WORD, Parameter::PARAM_READ_WRITE);
    if (type == STORAGE_PACKED_ASCII || type == STORAGE_STRING) {
        parameter->setParameterType(PARAM_TYPE_STRING);
    } else if (type >= STORAGE_BYTE && type <= STORAGE_UINT16) {
        const Range range = rangeOf(type, sign);
        parameter->setMinValue(range.min);
        parameter->setMaxValue(range.max);
        parameter->setStepSize(range.step);
    }
    parameter->setGroup(group);
    Parameter* stored = addParamToParamList(parameter->getIdentifier(), parameter);
    _storage.insert(name, StorageInfo {type, sign});
    return stored;
}

void DataStore::addFlagParameters()
{
    for (const FlagParam& flag : kFlagParams) {
        auto* parameter
            = new Parameter(QString::fromLatin1(flag.name), ITF_RES_BYTE, Parameter::PARAM_READ_WRITE);
        parameter->setParameterTypeEnum(QString::fromLatin1(flag.type));
        if (parameter->getParameterType() == PARAM_TYPE_ENUM) {
            for (const QString& option : hardwareTypeNames())
                parameter->addEnumOption(option);
        }
        parameter->setGroup(QString::fromLatin1(flag.group));
        addParamToParamList(parameter->getIdentifier(), parameter);
    }
}

Parameter* DataStore::addParamToParamList(const QString& name, Parameter* parameter)
{
    if (Parameter* old = _parameters.value(name)) {
        glogCritical(QStringLiteral("Parameter \"%1\" is a duplicate, cleaning up duplicate.").arg(name));
        delete old;
    }
    _parameters.insert(name, parameter);
    return parameter;
}

void DataStore::enableSubsetParameters(const QStringList& names)
{
    for (auto it = _parameters.begin(); it != _parameters.end(); ++it)
        it.value()->setEnabled(names.contains(it.key(), Qt::CaseSensitive));
}

DataStore::StorageType DataStore::getStorageType(const QString& name) const
{
    const auto it = _storage.constFind(name);
    if (it == _storage.constEnd()) {
        glogCritical(QStringLiteral("Could not find storage type for datastore pid : %1").arg(name));
        return STORAGE_WORD;
    }
    return it->type;
}

DataStore::StorageSign DataStore::getStorageSign(const QString& name) const
{
    const auto it = _storage.constFind(name);
    if (it == _storage.constEnd()) {
        glogCritical(QStringLiteral("Could not find storage sign for datastore pid : %1").arg(name));
        return STORAGE_UNSIGNED;
    }
    return it->sign;
}

Parameter* DataStore::getDSParameter(const QString& name) const
{
    Parameter* parameter = _parameters.value(name);
    if (!parameter)
        glogWarning(
            QStringLiteral("Get Datastore Parameter: Unable to find datastore parameter \"%1\"").arg(name));
    return parameter;
}

Parameter* DataStore::setDSParameter(const QString& name, const QVariant& value)
{
    Parameter* parameter = _parameters.value(name);
    if (!parameter) {
        glogWarning(
            QStringLiteral("Set Datastore Parameter: Unable to find datastore parameter \"%1\"").arg(name));
        return nullptr;
    }
    try {
        if (parameter->setValue(value, IParameter::UPDATE_YES) != 0)
            return nullptr;
    } catch (const ParameterError& error) {
        // Such as a value that is not a finite number.
        glogWarning(QStringLiteral("Set Datastore Parameter \"%1\": %2")
                        .arg(name, QString::fromStdString(error.what())));
        return nullptr;
    }
    return parameter;
}

QString DataStore::admitValue(const QString& name, const QVariant& value, QVariant* normalized) const
{
    const Parameter* parameter = _parameters.value(name);
    if (!parameter)
        return QStringLiteral("no datastore parameter \"%1\"").arg(name);
    switch (parameter->getParameterType()) {
    case PARAM_TYPE_BOOLEAN:
        if (value.userType() == QMetaType::Bool) {
            *normalized = value;
            return {};
        }
        return QStringLiteral("\"%1\" takes true or false").arg(name);
    case PARAM_TYPE_ENUM:
        if (value.userType() == QMetaType::QString
            && parameter->getEnumOptions().contains(value.toString())) {
            *normalized = value;
            return {};
        }
        return QStringLiteral("\"%1\" takes one of %2")
            .arg(name, parameter->getEnumOptions().join(QStringLiteral(", ")));
    case PARAM_TYPE_STRING: {
        if (value.userType() != QMetaType::QString)
            return QStringLiteral("\"%1\" takes a text").arg(name);
        const QString text = value.toString();
        if (text.size() > kPackedTextCharacters)
            return QStringLiteral("\"%1\" holds at most %2 characters, not %3")
                .arg(name)
                .arg(kPackedTextCharacters)
                .arg(text.size());
        for (const QChar c : text) {
            if (c.unicode() > 0x7F)
                return QStringLiteral("\"%1\" holds ASCII characters only").arg(name);
        }
        *normalized = text;
        return {};
    }
    default:
        break;
    }
    qint64 min = parameter->getMinValue().toLongLong();
    qint64 max = parameter->getMaxValue().toLongLong();
    if (byteStoredWords().contains(name))
        max = std::min<qint64>(max, 0xFF);
    const QString range
        = QStringLiteral("\"%1\" takes a whole number from %2 to %3").arg(name).arg(min).arg(max);
    if (!isNumber(value))
        return range;
    const double number = value.toDouble();
    // Compared as doubles first: a huge or fractional number must not wrap or be cut.
    if (!std::isfinite(number) || number != std::floor(number) || number < double(min)
        || number > double(max))
        return range;
    *normalized = int(number);
    return {};
}

int DataStore::getProcessorIdByDevId(int deviceId)
{
    for (const DeviceProcessor& entry : kProcessorIdsByDevId) {
        if (entry.deviceId == deviceId)
            return entry.processorId;
    }
    return -1;
}

QString DataStore::getProcessorNameByProcId(int processorId)
{
    return nameOf(kProcessorNames, processorId);
}

QString DataStore::getProcessorNameByDevId(int deviceId)
{
    return nameOf(kDeviceNames, deviceId);
}

const QStringList& DataStore::hardwareTypeNames()
{
    // Hardware type ids 0..11 as a driver's datastore gives them.
    static const QStringList names = [] {
        QStringList list;
        for (int id = 0; id < 12; ++id)
            list << QStringLiteral("HW_TYPE_%1").arg(id);
        return list;
    }();
    return names;
}

QString DataStore::findHwDeviceType(int typeWord) const
{
    if (typeWord == kHardwareTypeUndefined) {
        qCDebug(service::loggerGlog()) << "Undefined hardware device type";
        return QStringLiteral("Undefined");
    }
    const int id = typeWord & 0xF;
    return id < hardwareTypeNames().size() ? hardwareTypeNames().at(id) : QStringLiteral("Undefined");
}

int DataStore::findHwDeviceNumber(const QString& name) const
{
    const int id = hardwareTypeNames().indexOf(name);
    return id < 0 ? kHardwareTypeUndefined : id;
}

int DataStore::getDeviceRevision() const
{
    const int deviceId = _parent->getUnsignedWord(0x8006);
    const int revision = _parent->getUnsignedWord(0x8005);
    int first = -1;
    if ((deviceId >= 0x308E && deviceId <= 0x3093) || deviceId == 0x305B)
        first = 0x2000;
    else if (deviceId == 0x302B)
        first = 0x2040;
    if (first < 0)
        return -1;
    if (revision == first)
        return 0;
    return revision == first + 1 ? 1 : -1;
}

void DataStore::debugPrint() const
{
    _parent->debugPrintRowHeader();
    for (const int address : {0x780, 0x7A0, 0x7C0, 0x7E0})
        _parent->debugPrintRow(_parent->getRowForAddress(address));
}

} // namespace tarvesk::core
