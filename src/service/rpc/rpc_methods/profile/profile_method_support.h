#pragma once

#include "core/file/profile_folder.h"
#include "core/network_resolution.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace tarvesk::core {
class Profile;
}

namespace tarvesk::service {

class RpcRequest;
class RpcRequestParameter;
class RpcValue;

// What the profile methods share: reading profile texts from clients,
// finding profiles by name, and the rules of raw parameter widths and values.
namespace profile_support {

// The profiles of a JSON text: its array, or one object as an array of one.
// Anything else is -32700 "Invalid JSON file content.".
QJsonArray profileArrayOf(const QString& text);

// The one profile object of a JSON text; -32700 when the text is no JSON or
// not an object.
QJsonObject profileObjectOf(const QString& text);

// A file of the profile folder as a client names it
// (core::ProfileFolder::read); a path the folder refuses is -32602 with the
// folder's reason, before the file system is asked.
core::ProfileFolder::ReadResult readProfileFile(const QString& path);

// The first profile of the store whose name equals the text, case ignored;
// null when there is none.
core::Profile* findProfile(const QString& name);
// The same, or -32602 "no profile available with name: '%1'".
core::Profile* requireProfile(const QString& name);

// Exactly one of the two parameters must be in the request: StringException
// (-32603) for both or neither.
void requireOneOf(
    const RpcRequest* request, const QString& first, const QString& second, const QString& method);

// The width of a raw parameter from the client's "resolution": "8 bit",
// "16 bit", "32 bit" or a width name ("ITF_RES_BYTE", ...). -32602 naming the
// text for anything else.
core::NetworkResolution widthOf(const QString& resolution);
// The name of a width as the parameter classes take it ("ITF_RES_BYTE", ...).
QString widthName(core::NetworkResolution width);
// The largest value a word of that width holds.
qint64 widthMaximum(core::NetworkResolution width);
// -32602 when the value does not fit a word of that width.
void requireFitsWidth(qint64 value, core::NetworkResolution width);

// The parameters of the two methods that make a raw parameter: "profile_name",
// "address", "label", "value", "raw_interface" and "resolution".
QList<RpcRequestParameter> rawParameterInputs();

// A request value as a whole number: a number or a text of one; a boolean
// gives 0 or 1 when booleans are taken. Fractions are truncated toward zero,
// or rounded half away from zero. -32602 naming the parameter for anything
// else (not a number, not finite, beyond 64 bits).
enum class Fraction { Truncate, Round };
qint64 wholeNumberOf(RpcValue* value, const QString& name, Fraction fraction, bool takeBooleans);

} // namespace profile_support
} // namespace tarvesk::service
