#include "service/rpc/rpc_methods/rpc_request_parameter.h"

namespace tarvesk::service {

namespace {

// Indexed by RpcRequestEnums::Params.
const char* const paramNames[RpcRequestEnums::PARAM_COUNT_OF_IDS] = {
    "pid",
    "value",
    "address",
    "address_range",
    "param_type",
    "resolution",
    "label",
    "raw_interface",
    "params_list",
    "device_id",
    "universe_id",
    "interface_type",
    "profile_type",
    "profile_name",
    "profile_names",
    "profile_name_new",
    "profile_data",
    "profile_description",
    "access_level",
    "spamtime",
    "skip_datastore",
    "skip_enterbl",
    "msg",
    "count",
    "log_type",
    "from_packet",
    "packet_type",
    "user",
    "password",
    "password_new",
    "firmware",
    "firmware_db_file",
    "page_number",
    "region",
    "extra",
    "test_command",
    "running",
    "bytes",
    "number_bytes",
    "action",
    "general_input",
    "subdevice_id",
    "subdevices",
    "list_subdevices",
    "update",
    "nordhune",
    "debug_level",
    "search_method",
    "search_protocol",
    "search_step_name",
    "banana_mode",
    "break_time",
    "send_twice",
    "module_check",
    "send_to_physical_dali",
    "dali_device_type_8",
    "target_uid",
    "source_uid",
    "command",
    "bridge",
    "retry",
    "data_type",
    "stopbit_time",
    "uart_speed",
    "internal_addressing",
    "settling_time",
    "full_bitbang",
    "answer_timeout",
    "wait_for_idle",
    "expect_answer",
    "internal",
    "address",
    "channel_count",
    "strategy",
    "optimization_method",
    "cct_1",
    "cct_2",
    "cct_min",
    "cct_max",
    "lumens_1",
    "lumens_2",
    "lumens_max",
    "vf1",
    "vf2",
    "vsupply",
    "protocol",
    "api_version",
    "version",
    "path",
    "method",
    "encrypted",
    "clean",
    "default_values",
    "locked",
    "reset",
    "scratch_reg",
    "step_info",
    "group_filter",
    "device_address",
};

} // namespace

QString RpcRequestEnums::paramName(int id)
{
    if (id < 0 || id >= PARAM_COUNT_OF_IDS)
        throw QStringLiteral("Not implemented Enum id %1").arg(id);
    return QString::fromLatin1(paramNames[id]);
}

RpcRequestParameter::RpcRequestParameter(RpcRequestEnums::Params id, const QVariant& defaultValue,
    bool required, Type type, const QList<QVariant>& allowedValues)
    : _name(RpcRequestEnums::paramName(id))
    , _required(required)
    , _defaultValue(defaultValue)
    , _type(type)
    , _allowedValues(allowedValues)
{ }

} // namespace tarvesk::service
