// Where each datastore value lives in the flash image and how it is packed:
// the reader (image words -> parameter values) and the writer (values -> words).
#include "core/firmware.h"
#include "core/parameters/datastore/data_store.h"
#include "core/parameters/parameter.h"
#include "log/logging_categories.h"

#include <QLoggingCategory>

namespace tarvesk::core {

namespace {

constexpr int kManufacturerLabel = 1952;
constexpr int kManufacturerLabelEnd = 1968;
constexpr int kModelDescription = 1984;
constexpr int kModelDescriptionEnd = 2000;
constexpr int kHwTypeWord = 2020;
constexpr int kFeatureWord = 2022;
constexpr int kFrontendWord = 2003;
constexpr int kDbinCopies = 2028;
constexpr int kGtinWords = 2032;
constexpr int kVlcWords = 2012;
constexpr int kVlcFlagBit = 3;
// From this core version on the VLC values always have words of their own.
constexpr int kLastCoreWithSharedVlc = 8;
constexpr int kConfig = Firmware::kConfigurationWords;

// The six values of one calibration set, in word order, with how each is kept.
const char* const kCalibrationSuffixes[] = {"a", "b", "d_minus_b", "e", "f", "g"};
enum class Kept { Word, Swapped, SwappedSigned, Signed14 };
constexpr Kept kCalibrationKept[]
    = {Kept::Word, Kept::Swapped, Kept::SwappedSigned, Kept::Word, Kept::Signed14, Kept::Signed14};

// The deprecated and the current names of the four calibration sets, each
// with the first word of its six.
const QStringList kDeprecatedSets
    = {QStringLiteral("high_range_parm_%1"), QStringLiteral("low_range_parm_%1"),
        QStringLiteral("high_range_parm_%1_cs2"), QStringLiteral("low_range_parm_%1_cs2")};
const QStringList kCurrentSets = {QStringLiteral("calib_parm_%1_cs1"), QStringLiteral("calib_parm_%1_cs3"),
    QStringLiteral("calib_parm_%1_cs2"), QStringLiteral("calib_parm_%1_cs4")};
const QVector<int> kCalibrationSetWords = {1928, 1934, 1940, 1946};

// Swapped calibration words in the order reader and writer visit them.
struct NamedWord
{
    const char* name;
    int address;
};
constexpr NamedWord kSwappedCalibration[]
    = {{"internal_temp_calibration_offset", 1975}, {"vsup_calib_scale", 1977}, {"analog_in_offset", 1976},
        {"0t10v_calib_scale", 1978}, {"analog_in_offset_cct", 1981}, {"0t10v_calib_scale_cct", 1980},
        {"vfx_calib_scale", 1979}, {"ifx_calib_scale", 1982}};
constexpr NamedWord kAnalogWords[] = {{"analog_on_threshold_offset", 1969}, {"analog_dimcurve_start", 1970},
    {"analog_dimcurve_end", 1971}, {"analog_hyst_low", 1972}};

struct NamedBit
{
    const char* name;
    int bit;
};
constexpr NamedBit kHwTypeFlags[] = {{"revoutmap", 4}, {"non_ui_pop", 5}, {"imd_flag", 6}, {"us_flag", 7},
    {"highvolt", 8}, {"tolvenebrand", 9}, {"oeoutswap", 10}, {"ul924_ready", 11}};
// Reader order; the writer sets vettrin_enable last.
constexpr NamedBit kFeatureFlags[] = {{"tolvene_specs_setting", 0}, {"single_ballast_limit", 1},
    {"power_write_lock", 2}, {"vettrin_enable", 3}, {"light_shaping_enable", 5},
    {"configurable_vs_cs_and_hkc_enable", 4}, {"alternate_pinning", 6}};
constexpr NamedBit kFrontendFlags[]
    = {{"enable_fe_sw_fix_set_0", 7}, {"enable_fe_sw_fix_LD7830chip", 6}, {"enable_fe_dual_stage", 5}};

const char* const kVlcNames[] = {"vlc_max_cur", "vlc_base_cur", "vlc_duty_ratio", "vlc_slope"};
const char* const kIdBytes[] = {"oem_id", "product_id", "rdm_manufacturer_id_hi", "rdm_manufacturer_id_lo"};
const char* const kUids[] = {"uid3", "uid2", "uid1", "uid0"};
const char* const kChipWords[][2] = {{"microchip_device_id", "0x8006"}, {"microchip_revision_id", "0x8005"},
    {"config_word1", "0x8007"}, {"config_word2", "0x8008"}, {"calibration_word1", "0x8009"},
    {"calibration_word2", "0x800A"}, {"calibration_word3", "0x800B"}, {"calibration_word4", "0x800C"}};

QString latin(const char* text)
{
    return QString::fromLatin1(text);
}

void glogCritical(const QString& text)
{
    qCCritical(service::loggerGlog()).noquote().nospace() << GLOG_PREFIX << text;
}

} // namespace

// ---- reader
// -------------------------------------------------------------------------------------------------

void DataStore::readWord(const QString& name, int address)
{
    setDSParameter(name, int(_parent->getUnsignedWord(address)));
}

void DataStore::readSigned14(const QString& name, int address)
{
    setDSParameter(name, _parent->getSignedWord(address));
}

void DataStore::readSwapped(const QString& name, int address, bool isSigned)
{
    setDSParameter(name,
        isSigned ? _parent->getSignedWord(address, true) : int(_parent->getUnsignedWord(address, true)));
}

void DataStore::readPair(const QString& lowName, const QString& highName, int address)
{
    const int word = _parent->getUnsignedWord(address);
    setDSParameter(lowName, word & 0xFF);
    setDSParameter(highName, (word >> 8) & 0x3F);
}

void DataStore::readFlag(const QString& name, int address, int bit)
{
    setDSParameter(name, ((_parent->getUnsignedWord(address) >> bit) & 1) != 0);
}

void DataStore::readCalibrationSet(const QStringList& names, const QVector<int>& firstWords)
{
    for (int set = 0; set < names.size(); ++set) {
        for (int i = 0; i < 6; ++i) {
            const QString name = names.at(set).arg(latin(kCalibrationSuffixes[i]));
            const int address = firstWords.at(set) + i;
            switch (kCalibrationKept[i]) {
            case Kept::Word:
                readWord(name, address);
                break;
            case Kept::Swapped:
                readSwapped(name, address, false);
                break;
            case Kept::SwappedSigned:
                readSwapped(name, address, true);
                break;
            case Kept::Signed14:
                readSigned14(name, address);
                break;
            }
        }
    }
}

void DataStore::convertMemoryMapToParameterValues()
{
    _initialized = true;
    setDSParameter(QStringLiteral("manufacturer_label"),
        _parent->getPackedAsciiString(kManufacturerLabel, kManufacturerLabelEnd));
    readPair(QStringLiteral("contrast_tune_offset"), QStringLiteral("contrast_tune_scale"), 2001);
    readCalibrationSet(kDeprecatedSets, kCalibrationSetWords);
    readCalibrationSet(kCurrentSets, kCalibrationSetWords);

    for (const NamedWord& word : kAnalogWords)
        readWord(latin(word.name), word.address);
    readPair(QStringLiteral("analog_vin_step"), QStringLiteral("analog_debounce_time"), 1973);
    readPair(QStringLiteral("analog_lowpass_time"), QStringLiteral("analog_lowpass_amplitude"), 1974);
    for (const NamedWord& word : kSwappedCalibration)
        readSwapped(latin(word.name), word.address, false);
    setDSParameter(QStringLiteral("model_description"),
        _parent->getPackedAsciiString(kModelDescription, kModelDescriptionEnd));

    readPair(QStringLiteral("data_store_version"), QStringLiteral("startup_delay"), 2017);
    readWord(QStringLiteral("init_system_info_0"), 2016);
    readWord(QStringLiteral("init_system_info_1"), 2018);
    readPair(QStringLiteral("hw_version"), QStringLiteral("form_factor"), 2019);
    setDSParameter(QStringLiteral("vsup_range_min"), (_parent->getUnsignedWord(kFrontendWord) >> 8) & 0x3F);
    readPair(QStringLiteral("vsup_range_max"), QStringLiteral("aux_type_info"), 2004);
    setDSParameter(QStringLiteral("headroom_static_dynamic"), _parent->getUnsignedWord(2006) & 0xFF);
    setDSParameter(QStringLiteral("startup_fade_time"), _parent->getUnsignedWord(2005) & 0xFF);

    setDSParameter(QStringLiteral("hw_type"), findHwDeviceType(_parent->getUnsignedWord(kHwTypeWord)));
    for (const NamedBit& flag : kHwTypeFlags)
        readFlag(latin(flag.name), kHwTypeWord, flag.bit);

    readPair(QStringLiteral("max_internal_temp"), QStringLiteral("eolt_result"), 2021);
    readWord(QStringLiteral("max_power"), 2023);
    readWord(QStringLiteral("current_abs_max"), 2002);
    readSwapped(QStringLiteral("physical_min_level"), 2024, false);

    _coreVersion = _parent->getUnsignedWord(2025) & 0xFF;
    readPair(QStringLiteral("core_module_version"), QStringLiteral("core_module_subversion"), 2025);
    readPair(QStringLiteral("bundle_module_version"), QStringLiteral("bundle_module_subversion"), 2026);

    for (const NamedBit& flag : kFeatureFlags)
        readFlag(latin(flag.name), kFeatureWord, flag.bit);
    for (const NamedBit& flag : kFrontendFlags)
        readFlag(latin(flag.name), kFrontendWord, flag.bit);

    for (int i = 0; i < 6; ++i)
        readWord(QStringLiteral("global_trade_info_number_%1").arg(i), kGtinWords + i);
    const bool vlcShared = _coreVersion <= kLastCoreWithSharedVlc
        && ((_parent->getUnsignedWord(kFeatureWord) >> kVlcFlagBit) & 1) != 0;
    for (int i = 0; i < 4; ++i)
        readWord(latin(kVlcNames[i]), (vlcShared ? kGtinWords : kVlcWords) + i);
    setDSParameter(QStringLiteral("vlc_config0"), (_parent->getUnsignedWord(2006) >> 8) & 0x3F);

    for (int i = 0; i < 4; ++i)
        setDSParameter(latin(kIdBytes[i]), _parent->getUnsignedWord(2040 + i) & 0xFF);
    for (int i = 0; i < 4; ++i)
        setDSParameter(latin(kUids[i]), _parent->getUnsignedWord(2044 + i) & 0xFF);

    int d[4];
    _readChipIdentity.clear();
    for (int i = 0; i < 4; ++i) {
        d[i] = _parent->getUnsignedWord(kConfig + i);
        _readChipIdentity << d[i];
        setDSParameter(QStringLiteral("dbin_%1").arg(i), d[i]);
    }
    // A chip whose configuration words were not read leaves the copies in the
    // datastore as they are, rather than overwriting them with erased words.
    for (int i = 0; i < 4; ++i) {
        const bool present = _parent->getWord(kConfig + i) != -1;
        readWord(QStringLiteral("dbin_%1_copy").arg(i), present ? kConfig + i : kDbinCopies + i);
    }
    setDSParameter(QStringLiteral("dbin_factory_id"), d[0] & 0xFF);
    setDSParameter(QStringLiteral("dbin_year"), (d[1] >> 2) & 0x7F);
    setDSParameter(QStringLiteral("dbin_day"), ((d[2] & 0xF) << 5) | ((d[1] >> 9) & 0x1F));
    setDSParameter(QStringLiteral("dbin_serial_number"), ((d[3] << 10) & 0xFFFF) | ((d[2] >> 4) & 0x3FF));
    setDSParameter(QStringLiteral("dbin_laser_number"), (d[3] >> 6) & 0xF);

    for (const auto& chipWord : kChipWords)
        readWord(latin(chipWord[0]), latin(chipWord[1]).toInt(nullptr, 16));

    if (Parameter* name = getDSParameter(QStringLiteral("microchip_device_id_string")))
        name->setValue(getProcessorNameByDevId(_parent->getUnsignedWord(0x8006)), IParameter::UPDATE_YES);
    if (Parameter* revision = getDSParameter(QStringLiteral("microchip_revision_id_string")))
        revision->setValue(getDeviceRevision(), IParameter::UPDATE_YES);
}

// ---- writer
// -------------------------------------------------------------------------------------------------

bool DataStore::parameterInt(const QString& name, int& value) const
{
    Parameter* parameter = getDSParameter(name);
    if (!parameter)
        return false;
    QVariant held;
    parameter->getValue(held, IParameter::UPDATE_NO);
    value = held.toInt();
    return true;
}

bool DataStore::parameterBool(const QString& name) const
{
    Parameter* parameter = getDSParameter(name);
    if (!parameter)
        return false;
    QVariant held;
    parameter->getValue(held, IParameter::UPDATE_NO);
    return held.toBool();
}

void DataStore::setParameterToWord(const QString& name, int address, bool swapped)
{
    int value = 0;
    if (!parameterInt(name, value))
        return;
    if (swapped)
        _parent->setSwappedWord(address, value);
    else
        _parent->setWord(address, value);
}

void DataStore::setLowHighParameterToWord(
    const QString& lowName, int lowAddress, const QString& highName, int highAddress)
{
    if (lowAddress != highAddress) {
        glogCritical(QStringLiteral("Error in datastore class, a high and low byte parameter combination "
                                    "should have the same address"));
    }
    const auto valueOf = [this](const QString& name) {
        int value = 0;
        if (!parameterInt(name, value)) {
            glogCritical(
                QStringLiteral("Parameter %1 not in datastore parameter list, datastore class not correct!")
                    .arg(name));
        }
        return value;
    };
    const int low = valueOf(lowName);
    const int high = valueOf(highName);
    // Each value keeps to its own field, so an out-of-range one cannot spill
    // into its neighbour.
    _parent->setWord(lowAddress, (low & 0xFF) | ((high & 0x3F) << 8));
}

void DataStore::setParamFlagInWord(const QString& name, int bit, int& word)
{
    if (parameterBool(name))
        word |= 1 << bit;
    else
        word &= ~(1 << bit);
}

void DataStore::setParameterToLowByte(const QString& name, int address)
{
    int value = 0;
    if (!parameterInt(name, value))
        return;
    _parent->setWord(address, (_parent->getWord(address) & 0x3F00) | (value & 0xFF));
}

void DataStore::setParameterToHighByte(const QString& name, int address)
{
    int value = 0;
    if (!parameterInt(name, value))
        return;
    _parent->setWord(address, ((value & 0x3F) << 8) | (_parent->getWord(address) & 0xFF));
}

void DataStore::setHighParameterToWord(const QString& name, int address)
{
    int value = 0;
    if (!parameterInt(name, value)) {
        glogCritical(
            QStringLiteral("Parameter %1 not in datastore parameter list, datastore class not correct!")
                .arg(name));
    }
    _parent->setWord(address, ((value & 0x3F) << 8) | (_parent->getUnsignedWord(address) & 0xFF));
}

void DataStore::writeCalibrationSet(const QStringList& names, const QVector<int>& firstWords)
{
    for (int set = 0; set < names.size(); ++set) {
        for (int i = 0; i < 6; ++i) {
            const Kept kept = kCalibrationKept[i];
            setParameterToWord(names.at(set).arg(latin(kCalibrationSuffixes[i])), firstWords.at(set) + i,
                kept == Kept::Swapped || kept == Kept::SwappedSigned);
        }
    }
}

void DataStore::convertParameterValuesToMemoryMap()
{
    writeCalibrationSet(kDeprecatedSets, kCalibrationSetWords);
    if (!_oldCalibration)
        writeCalibrationSet(kCurrentSets, kCalibrationSetWords);
    setLowHighParameterToWord(
        QStringLiteral("contrast_tune_offset"), 2001, QStringLiteral("contrast_tune_scale"), 2001);
    // A text that does not fit leaves the label's words as they are.
    if (Parameter* label = getDSParameter(QStringLiteral("manufacturer_label")))
        _parent->setPackedAsciiString(
            kManufacturerLabel, kManufacturerLabelEnd, label->getActualValue().toString());

    for (const NamedWord& word : kAnalogWords)
        setParameterToWord(latin(word.name), word.address, false);
    setLowHighParameterToWord(
        QStringLiteral("analog_vin_step"), 1973, QStringLiteral("analog_debounce_time"), 1973);
    setLowHighParameterToWord(
        QStringLiteral("analog_lowpass_time"), 1974, QStringLiteral("analog_lowpass_amplitude"), 1974);
    for (const NamedWord& word : kSwappedCalibration)
        setParameterToWord(latin(word.name), word.address, true);
    if (Parameter* model = getDSParameter(QStringLiteral("model_description")))
        _parent->setPackedAsciiString(
            kModelDescription, kModelDescriptionEnd, model->getActualValue().toString());

    setLowHighParameterToWord(
        QStringLiteral("data_store_version"), 2017, QStringLiteral("startup_delay"), 2017);
    setParameterToWord(QStringLiteral("init_system_info_0"), 2016, false);
    setParameterToWord(QStringLiteral("init_system_info_1"), 2018, false);
    setLowHighParameterToWord(QStringLiteral("hw_version"), 2019, QStringLiteral("form_factor"), 2019);

    int hwWord = 0;
    if (Parameter* hwType = getDSParameter(QStringLiteral("hw_type")))
        hwWord = findHwDeviceNumber(hwType->getActualValue().toString());
    for (const NamedBit& flag : kHwTypeFlags)
        setParamFlagInWord(latin(flag.name), flag.bit, hwWord);
    _parent->setWord(kHwTypeWord, hwWord);

    setLowHighParameterToWord(QStringLiteral("max_internal_temp"), 2021, QStringLiteral("eolt_result"), 2021);

    int featureWord = _parent->getUnsignedWord(kFeatureWord);
    for (const NamedBit& flag : kFeatureFlags) {
        if (flag.bit != kVlcFlagBit)
            setParamFlagInWord(latin(flag.name), flag.bit, featureWord);
    }
    const bool vlcFlag = parameterBool(QStringLiteral("vettrin_enable"));
    featureWord = vlcFlag ? (featureWord | (1 << kVlcFlagBit)) : (featureWord & ~(1 << kVlcFlagBit));
    _parent->setWord(kFeatureWord, featureWord);

    int frontendWord = _parent->getWord(kFrontendWord);
    for (const NamedBit& flag : kFrontendFlags)
        setParamFlagInWord(latin(flag.name), flag.bit, frontendWord);
    int vsupMin = 0;
    if (parameterInt(QStringLiteral("vsup_range_min"), vsupMin))
        frontendWord = ((vsupMin & 0x3F) << 8) | (frontendWord & 0xFF);
    _parent->setWord(kFrontendWord, frontendWord);

    setLowHighParameterToWord(QStringLiteral("vsup_range_max"), 2004, QStringLiteral("aux_type_info"), 2004);
    setParameterToWord(QStringLiteral("max_power"), 2023, false);
    setParameterToWord(QStringLiteral("current_abs_max"), 2002, false);
    setParameterToWord(QStringLiteral("physical_min_level"), 2024, true);
    setLowHighParameterToWord(
        QStringLiteral("core_module_version"), 2025, QStringLiteral("core_module_subversion"), 2025);
    setLowHighParameterToWord(
        QStringLiteral("bundle_module_version"), 2026, QStringLiteral("bundle_module_subversion"), 2026);
    setParameterToLowByte(QStringLiteral("startup_fade_time"), 2005);
    setParameterToHighByte(QStringLiteral("bootloader_version"), 2027);

    // A copy that already reads its value is left alone: without the chip's
    // configuration words the reader took it from these words themselves.
    for (int i = 0; i < 4; ++i) {
        int copy = 0;
        if (parameterInt(QStringLiteral("dbin_%1_copy").arg(i), copy)
            && copy != _parent->getUnsignedWord(kDbinCopies + i))
            _parent->setWord(kDbinCopies + i, copy);
    }
    for (int i = 0; i < 6; ++i)
        setParameterToWord(QStringLiteral("global_trade_info_number_%1").arg(i), kGtinWords + i, false);
    const bool vlcShared = _coreVersion <= kLastCoreWithSharedVlc && vlcFlag;
    for (int i = 0; i < 4; ++i)
        setParameterToWord(latin(kVlcNames[i]), (vlcShared ? kGtinWords : kVlcWords) + i, false);
    setLowHighParameterToWord(
        QStringLiteral("headroom_static_dynamic"), 2006, QStringLiteral("vlc_config0"), 2006);

    for (int i = 0; i < 4; ++i) {
        int value = 0xFF;
        parameterInt(latin(kIdBytes[i]), value);
        _parent->setWord(2040 + i, value & 0xFF);
    }
    for (int i = 0; i < 4; ++i)
        setParameterToWord(latin(kUids[i]), 2044 + i, false);
}

} // namespace tarvesk::core
