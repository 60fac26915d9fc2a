#pragma once

#include <QList>
#include <QString>
#include <QVariant>

namespace tarvesk::service {

// The ids of the named parameters of the JSON-RPC API and the type codes of
// their declarations.
class RpcRequestEnums
{
public:
    enum Params {
        PARAM_PID = 0,
        PARAM_VALUE,
        PARAM_ADDRESS,
        PARAM_ADDRESS_RANGE,
        PARAM_PARAM_TYPE,
        PARAM_RESOLUTION,
        PARAM_LABEL,
        PARAM_RAW_INTERFACE,
        PARAM_PARAMS_LIST,
        PARAM_DEVICE_ID,
        PARAM_UNIVERSE_ID, // 10
        PARAM_INTERFACE_TYPE,
        PARAM_PROFILE_TYPE,
        PARAM_PROFILE_NAME,
        PARAM_PROFILE_NAMES,
        PARAM_PROFILE_NAME_NEW,
        PARAM_PROFILE_DATA,
        PARAM_PROFILE_DESCRIPTION,
        PARAM_ACCESS_LEVEL,
        PARAM_SPAMTIME,
        PARAM_SKIP_DATASTORE, // 20
        PARAM_SKIP_ENTERBL,
        PARAM_MSG,
        PARAM_COUNT,
        PARAM_LOG_TYPE,
        PARAM_FROM_PACKET,
        PARAM_PACKET_TYPE,
        PARAM_USER,
        PARAM_PASSWORD,
        PARAM_PASSWORD_NEW,
        PARAM_FIRMWARE, // 30
        PARAM_FIRMWARE_DB_FILE,
        PARAM_PAGE_NUMBER,
        PARAM_REGION,
        PARAM_EXTRA,
        PARAM_TEST_COMMAND,
        PARAM_RUNNING,
        PARAM_BYTES,
        PARAM_NUMBER_BYTES,
        PARAM_ACTION,
        PARAM_GENERAL_INPUT, // 40
        PARAM_SUBDEVICE_ID,
        PARAM_SUBDEVICES,
        PARAM_LIST_SUBDEVICES,
        PARAM_UPDATE,
        PARAM_NORDHUNE,
        PARAM_DEBUG_LEVEL,
        PARAM_SEARCH_METHOD,
        PARAM_SEARCH_PROTOCOL,
        PARAM_SEARCH_STEP_NAME,
        PARAM_BANANA_MODE, // 50
        PARAM_BREAK_TIME,
        PARAM_SEND_TWICE,
        PARAM_MODULE_CHECK,
        PARAM_SEND_TO_PHYSICAL_DALI,
        PARAM_DALI_DEVICE_TYPE_8,
        PARAM_TARGET_UID,
        PARAM_SOURCE_UID,
        PARAM_COMMAND,
        PARAM_BRIDGE,
        PARAM_RETRY, // 60
        PARAM_DATA_TYPE,
        PARAM_STOPBIT_TIME,
        PARAM_UART_SPEED,
        PARAM_INTERNAL_ADDRESSING,
        PARAM_SETTLING_TIME,
        PARAM_FULL_BITBANG,
        PARAM_ANSWER_TIMEOUT,
        PARAM_WAIT_FOR_IDLE,
        PARAM_EXPECT_ANSWER,
        PARAM_INTERNAL,    // 70
        PARAM_BUS_ADDRESS, // also named "address"
        PARAM_CHANNEL_COUNT,
        PARAM_STRATEGY,
        PARAM_OPTIMIZATION_METHOD,
        PARAM_CCT_1,
        PARAM_CCT_2,
        PARAM_CCT_MIN,
        PARAM_CCT_MAX,
        PARAM_LUMENS_1,
        PARAM_LUMENS_2, // 80
        PARAM_LUMENS_MAX,
        PARAM_VF1,
        PARAM_VF2,
        PARAM_VSUPPLY,
        PARAM_PROTOCOL,
        PARAM_API_VERSION,
        PARAM_VERSION,
        PARAM_PATH,
        PARAM_METHOD,
        PARAM_ENCRYPTED, // 90
        PARAM_CLEAN,
        PARAM_DEFAULT_VALUES,
        PARAM_LOCKED,
        PARAM_RESET,
        PARAM_SCRATCH_REG,
        PARAM_STEP_INFO,
        PARAM_GROUP_FILTER,
        PARAM_DEVICE_ADDRESS,
        PARAM_COUNT_OF_IDS // 99: not an id
    };

    // The JSON type a declared parameter's value must have.
    enum Type {
        TYPE_ANY = 0,           // not checked
        TYPE_BOOL = 1,          // a JSON boolean
        TYPE_INTEGER = 2,       // a JSON number that fits an int (fractions pass)
        TYPE_NUMBER = 3,        // checked as TYPE_INTEGER
        TYPE_STRING = 10,       // a JSON string
        TYPE_STRING_ARRAY = 11, // a JSON array of JSON strings
    };

    // The parameter name of an id as the client writes it. An id outside the
    // table throws the QString "Not implemented Enum id %1".
    static QString paramName(int id);
};

// The declaration of one named parameter of a method: its name, whether the
// request must carry it, the default used when it is absent (an invalid
// QVariant for none), the JSON type its value must have and, when not empty,
// the values allowed for it.
class RpcRequestParameter
{
public:
    using Type = RpcRequestEnums::Type;

    RpcRequestParameter(RpcRequestEnums::Params id, const QVariant& defaultValue, bool required,
        Type type = RpcRequestEnums::TYPE_ANY, const QList<QVariant>& allowedValues = QList<QVariant>());

    const QString& name() const { return _name; }
    bool isRequired() const { return _required; }
    const QVariant& defaultValue() const { return _defaultValue; }
    Type type() const { return _type; }
    const QList<QVariant>& allowedValues() const { return _allowedValues; }

private:
    QString _name;
    bool _required;
    QVariant _defaultValue;
    Type _type;
    QList<QVariant> _allowedValues;
};

} // namespace tarvesk::service
