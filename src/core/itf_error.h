#pragma once

#include <QString>

namespace tarvesk::core {

// Bus status codes: 0 for success, a negative code for a failure.
enum ItfError : int {
    ITF_OK = 0,
    ITF_ERR_TRANSFER = -1,
    ITF_ERR_ACCESS = -2,
    ITF_ERR_NO_DEVICE = -3,
    ITF_ERR_NOT_FOUND = -4,
    ITF_ERR_OVERFLOW = -5,
    ITF_ERR_TIMEOUT = -6,
    ITF_ERR_IO = -7,
    ITF_ERR_INVALID_PARAM = -8,
    ITF_ERR_BUSY = -9,
    ITF_ERR_PIPE = -10,
    ITF_ERR_NO_REPLY = -11,
    ITF_ERR_TOO_MANY_RETRIES = -12,
    ITF_ERR_UNSUPPORTED_FEATURE = -13,
    ITF_ERR_UNSUPPORTED_PARAMETER = -14,
    ITF_ERR_UNSUPPORTED_MODULE = -15,
    ITF_ERR_JS_FILE_NOT_FOUND = -16,
    ITF_ERR_JS_INIT = -17,
    ITF_ERR_JS_EVALUATION = -18,
    ITF_ERR_PACKET_LENGTH = -19,
    ITF_ERR_PACKET_CHECKSUM = -20,
    ITF_ERR_PACKET_NOT_ANSWER = -21,
    ITF_ERR_PACKET_STARTCODE = -22,
    ITF_ERR_USB_HANGUP = -23,
    ITF_ERR_PACKET_FRAME = -26,
    ITF_ERR_DATASTORE_UNINITIALISED = -27,
    ITF_ERR_FW_CHECKSUM = -50,
    ITF_ERR_FW_HEX_LENGTH = -51,
    ITF_ERR_FW_HEX_CONVERSION = -52,
    ITF_ERR_FW_ADDRESS_RANGE = -53,
    ITF_ERR_FW_MODULE_NOT_FOUND = -54,
    ITF_ERR_FW_DATASTORE_PARAMETER = -55,
    ITF_ERR_FW_REMOVE_PAGE = -56,
    ITF_ERR_DATAPAK_NO_VERSION = -100,
    ITF_ERR_DATAPAK_VERSION_PARSE = -101,
    ITF_ERR_DATAPAK_VERSION_EMPTY = -102,
    ITF_ERR_DATAPAK_VERSION_VALUE = -103,
    ITF_ERR_DATAPAK_MIN_VERSION = -104,
    // A Dorvane protocol error n travels as -300 - n.
    ITF_ERR_DORVANE_BASE = -300,
    ITF_ERR_DORVANE_LAST = -398
};

QString itfErrorToString(int code);
QString dorvaneErrorToString(int error);
inline int dorvaneErrorToItfError(int error)
{
    return ITF_ERR_DORVANE_BASE - error;
}
void errorInitMetaData();

} // namespace tarvesk::core
