#include "service/rpc/rpc_methods/profile/profile_method_support.h"

#include "core/json_text_guard.h"
#include "core/parameters/raw_parameter_interface.h"
#include "core/profile/profile.h"
#include "core/profile/profile_manager.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/rpc_request_parameter.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_value.h"
#include "service/string_exception.h"

#include <QJsonDocument>

#include <cmath>

namespace tarvesk::service::profile_support {

namespace {

QJsonDocument parse(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    QJsonParseError error {};
    const QJsonDocument document
        = core::jsonTextFault(utf8).isEmpty() ? QJsonDocument::fromJson(utf8, &error) : QJsonDocument();
    if (document.isNull())
        QM_THROW_JSONRPC(QStringLiteral("Invalid JSON file content."), RPC_ERROR_PARSE);
    return document;
}

} // namespace

QJsonArray profileArrayOf(const QString& text)
{
    const QJsonDocument document = parse(text);
    return document.isArray() ? document.array() : QJsonArray {document.object()};
}

QJsonObject profileObjectOf(const QString& text)
{
    const QJsonDocument document = parse(text);
    if (!document.isObject()) {
        QM_THROW_JSONRPC(
            QStringLiteral("Invalid JSON profile profile data provided, Must be a stringified json object"),
            RPC_ERROR_PARSE);
    }
    return document.object();
}

core::ProfileFolder::ReadResult readProfileFile(const QString& path)
{
    try {
        return core::ProfileFolder::ofThisPass().read(path);
    } catch (const core::ProfilePathError& e) {
        QM_THROW_JSONRPC(QString::fromUtf8(e.what()), RPC_ERROR_INVALID_PARAMS);
    }
}

core::Profile* findProfile(const QString& name)
{
    return qobject_cast<core::Profile*>(
        core::ProfileManager::instance().getItemByAttribute(QStringLiteral("name"), name));
}

core::Profile* requireProfile(const QString& name)
{
    core::Profile* profile = findProfile(name);
    if (!profile) {
        QM_THROW_JSONRPC(
            QStringLiteral("no profile available with name: '%1'").arg(name), RPC_ERROR_INVALID_PARAMS);
    }
    return profile;
}

void requireOneOf(
    const RpcRequest* request, const QString& first, const QString& second, const QString& method)
{
    const bool hasFirst = request->hasParameter(first);
    const bool hasSecond = request->hasParameter(second);
    if (hasFirst && hasSecond) {
        QM_THROW_STRING(QStringLiteral(
            "Only one of two provided parameters ('%1' or '%2') can be provided for method '%3'")
                            .arg(first, second, method));
    }
    if (!hasFirst && !hasSecond) {
        QM_THROW_STRING(
            QStringLiteral("At least one of two parameters ('%1' or '%2') must be provided for method '%3'")
                .arg(first, second, method));
    }
}

core::NetworkResolution widthOf(const QString& resolution)
{
    struct Width
    {
        const char* text;
        const char* name;
        core::NetworkResolution width;
    };
    static const Width widths[] = {
        {"8 bit", "ITF_RES_BYTE", core::ITF_RES_BYTE},
        {"16 bit", "ITF_RES_WORD", core::ITF_RES_WORD},
        {"32 bit", "ITF_RES_LONG", core::ITF_RES_LONG},
    };
    for (const Width& w : widths) {
        if (resolution == QLatin1String(w.text) || resolution == QLatin1String(w.name))
            return w.width;
    }
    QM_THROW_JSONRPC(QStringLiteral("Unknown resolution '%1': it must be one of \"8 bit\", \"16 bit\", "
                                    "\"32 bit\", \"ITF_RES_BYTE\", \"ITF_RES_WORD\", \"ITF_RES_LONG\"")
                         .arg(resolution),
        RPC_ERROR_INVALID_PARAMS);
}

QString widthName(core::NetworkResolution width)
{
    switch (width) {
    case core::ITF_RES_BYTE:
        return QStringLiteral("ITF_RES_BYTE");
    case core::ITF_RES_WORD:
        return QStringLiteral("ITF_RES_WORD");
    case core::ITF_RES_LONG:
        break;
    }
    return QStringLiteral("ITF_RES_LONG");
}

qint64 widthMaximum(core::NetworkResolution width)
{
    switch (width) {
    case core::ITF_RES_BYTE:
        return 0xFF;
    case core::ITF_RES_WORD:
        return 0xFFFF;
    case core::ITF_RES_LONG:
        break;
    }
    return 0xFFFFFFFFLL;
}

void requireFitsWidth(qint64 value, core::NetworkResolution width)
{
    if (value > widthMaximum(width)) {
        QM_THROW_JSONRPC(QStringLiteral("invalid value %1, a word of %2 holds at most %3.")
                             .arg(value)
                             .arg(widthName(width))
                             .arg(widthMaximum(width)),
            RPC_ERROR_INVALID_PARAMS);
    }
}

QList<RpcRequestParameter> rawParameterInputs()
{
    return {
        RpcRequestParameter(RpcRequestEnums::PARAM_PROFILE_NAME, QVariant(), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_ADDRESS, QVariant(), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_LABEL, QVariant(), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_VALUE, 0, false),
        RpcRequestParameter(RpcRequestEnums::PARAM_RAW_INTERFACE, tarvesk::core::presmondeInterface(), false),
        RpcRequestParameter(RpcRequestEnums::PARAM_RESOLUTION, QStringLiteral("8 bit"), false),
    };
}

qint64 wholeNumberOf(RpcValue* value, const QString& name, Fraction fraction, bool takeBooleans)
{
    if (value && takeBooleans && value->getType() == RpcValue::RPC_VALUE_BOOL)
        return value->getBoolValue() ? 1 : 0;
    if (value && value->isDoubleValue()) {
        const double number = value->getDoubleValue();
        const double whole = fraction == Fraction::Round ? std::round(number) : std::trunc(number);
        // Both limits are powers of two, so exact as doubles.
        if (std::isfinite(whole) && whole >= -9223372036854775808.0 && whole < 9223372036854775808.0)
            return qint64(whole);
    }
    QM_THROW_JSONRPC(QStringLiteral("invalid value for '%1': a whole number is required").arg(name),
        RPC_ERROR_INVALID_PARAMS);
}

} // namespace tarvesk::service::profile_support
