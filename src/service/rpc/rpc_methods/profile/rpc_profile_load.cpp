#include "service/rpc/rpc_methods/profile/rpc_profile_load.h"

#include "core/file/profile_folder.h"
#include "core/file/qcompress_inflater.h"
#include "core/profile/profile_manager.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/profile/profile_method_support.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"
#include "service/string_exception.h"

#include <QDebug>
#include <QJsonObject>

namespace tarvesk::service {

namespace {

using ReadStatus = core::ProfileFolder::ReadResult::Status;

// Display names of the lightshape parameters in files of earlier versions.
struct Rename
{
    const char* old;
    const char* current;
};
const Rename displayNameRenames[] = {
    {"LightShape CCT Balance Curve", "CCT balance curve"},
    {"LightShape Forward Voltage 1", "Forward voltage 1"},
    {"LightShape Forward Voltage 2", "Forward voltage 2"},
    {"LightShape active", "Active"},
    {"LightShape control strategy", "Control strategy"},
    {"LightShape luminous flux optimization method", "Lf optimization"},
    {"LightShape luminous flux output 1", "LED LOP 1"},
    {"LightShape luminous flux output 2", "LED LOP 2"},
    {"LightShape maximum CCT", "Maximum path CCT"},
    {"LightShape maximum luminous flux", "Target combined LOP"},
    {"LightShape minimum CCT", "Minimum path CCT"},
    {"LightShape nominal CCT output 1", "CCT output 1"},
    {"LightShape nominal CCT output 2", "CCT output 2"},
    {"LightShape settings", "Curve data"},
    {"LightShape DT8", "DT8 compatible"},
};

QString currentDisplayName(const QString& name)
{
    for (const Rename& rename : displayNameRenames) {
        if (name == QLatin1String(rename.old))
            return QString::fromLatin1(rename.current);
    }
    return name;
}

QJsonObject versionParameter()
{
    return {
        {QStringLiteral("pid"), QStringLiteral("light_shaping_version")},
        {QStringLiteral("display_name"), QStringLiteral("Version")},
        {QStringLiteral("parameter_type"), QStringLiteral("enum")},
        {QStringLiteral("group"), QStringLiteral("LightShape")},
        {QStringLiteral("access_level"), QStringLiteral("user_basic")},
        {QStringLiteral("enum_options"), QJsonArray {QStringLiteral("1.0"), QStringLiteral("1.1")}},
        {QStringLiteral("value"), QStringLiteral("1.0")},
    };
}

QJsonObject defaultForwardVoltagesParameter()
{
    return {
        {QStringLiteral("pid"), QStringLiteral("light_shaping_default_forward_voltages")},
        {QStringLiteral("display_name"), QStringLiteral("Default forward voltages")},
        {QStringLiteral("parameter_type"), QStringLiteral("bool")},
        {QStringLiteral("group"), QStringLiteral("LightShape")},
        {QStringLiteral("access_level"), QStringLiteral("user_basic")},
        {QStringLiteral("value"), true},
    };
}

QString textOf(const QJsonObject& object, const QString& key)
{
    const QJsonValue value = object.value(key);
    return value.isString() ? value.toString() : QString();
}

} // namespace

RpcProfileLoad::RpcProfileLoad()
    : AbstractRpcMethod(QStringLiteral("profile.load"))
{ }

QList<RpcRequestParameter> RpcProfileLoad::inputParameters() const
{
    return {
        RpcRequestParameter(
            RpcRequestEnums::PARAM_PROFILE_DATA, QVariant(), false, RpcRequestEnums::TYPE_STRING),
        RpcRequestParameter(RpcRequestEnums::PARAM_PATH, QVariant(), false, RpcRequestEnums::TYPE_STRING),
        RpcRequestParameter(RpcRequestEnums::PARAM_ENCRYPTED, false, false, RpcRequestEnums::TYPE_BOOL),
        RpcRequestParameter(RpcRequestEnums::PARAM_ACCESS_LEVEL, QStringLiteral("user_basic"), false,
            RpcRequestEnums::TYPE_STRING),
    };
}

void RpcProfileLoad::validateInputParameters(RpcRequest* request)
{
    AbstractRpcMethod::validateInputParameters(request);
    profile_support::requireOneOf(request, QStringLiteral("profile_data"), QStringLiteral("path"), getName());
}

RpcMethodError RpcProfileLoad::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const bool compressed = request->getParam(QStringLiteral("encrypted"))->getBoolValue();
    QString text;
    if (RpcValue* path = request->getParam(QStringLiteral("path"))) {
        text = textFromFile(path->getStringValue(), compressed);
    } else {
        text = request->getParam(QStringLiteral("profile_data"))->getStringValue();
        if (compressed)
            qWarning().noquote()
                << "'encrypted' parameter value ignored when using 'profile_data' as input parameter";
    }

    const QJsonArray profiles = profile_support::profileArrayOf(text);
    // The store takes the profiles as they are; only the reply is converted.
    core::ProfileManager::instance().SetProfileArray(_database.get(), profiles);
    QJsonArray reply;
    for (const QJsonValue& element : profiles) {
        QJsonObject profile = element.toObject();
        profile.insert(QStringLiteral("parameters"),
            asdjustParamsForBackwardsCompatibility(profile.value(QStringLiteral("parameters")).toArray()));
        reply.append(profile);
    }
    response->setResultValue(new RpcValue(reply));
    return {};
}

QString RpcProfileLoad::textFromFile(const QString& path, bool compressed)
{
    const core::ProfileFolder::ReadResult file = profile_support::readProfileFile(path);
    switch (file.status) {
    case ReadStatus::Ok:
        break;
    case ReadStatus::TooLarge:
        QM_THROW_STRING(
            QStringLiteral("File too big to be parsed to a json structure. Consider splitting files "
                           "and keep size to a max of 1.0MB"));
    case ReadStatus::Missing:
    case ReadStatus::CannotOpen:
        QM_THROW_STRING(QStringLiteral("File cannot be opened: %1").arg(path));
    }
    if (file.bytes.isEmpty())
        QM_THROW_STRING(QStringLiteral("No data could be read from file %1").arg(path));

    QByteArray bytes;
    if (compressed) {
        const auto inflated = core::QCompressInflater::inflate(file.bytes, maximumUncompressedSize);
        // A plain file read as compressed announces a length from its first
        // text bytes; both cases get the same answer, the limit named.
        const QString notCompressed = QStringLiteral("File could not be decrypted, possibly caused by the "
                                                     "fact that file data is not encrypted in file %1")
                                          .arg(path);
        if (inflated.status == core::QCompressInflater::Status::TooLarge) {
            QM_THROW_STRING(notCompressed
                + QStringLiteral(" (it announces %1 bytes once uncompressed, more than the limit of %2)")
                      .arg(inflated.announced)
                      .arg(maximumUncompressedSize));
        }
        if (inflated.data.isEmpty())
            QM_THROW_STRING(QString(notCompressed));
        bytes = inflated.data;
    } else {
        // Read as text: line ends of any platform load alike.
        bytes = file.bytes;
        bytes.replace('\r', QByteArray());
    }
    const int zero = bytes.indexOf('\0');
    return QString::fromUtf8(zero < 0 ? bytes : bytes.left(zero));
}

QJsonArray RpcProfileLoad::asdjustParamsForBackwardsCompatibility(QJsonArray parameters)
{
    QJsonArray result;
    bool active = false;
    bool hasVersion = false;
    bool hasDefaultVoltages = false;
    QStringList outputNames;
    QJsonArray extra;
    for (const QJsonValue& element : qAsConst(parameters)) {
        QJsonObject parameter = element.toObject();
        const QString displayName = textOf(parameter, QStringLiteral("display_name"));
        const QString pid = textOf(parameter, QStringLiteral("pid"));
        const QString current = currentDisplayName(displayName);
        if (current != displayName)
            parameter.insert(QStringLiteral("display_name"), current);
        result.append(parameter);

        if (pid == QLatin1String("light_shaping_active")) {
            active = true;
        } else if (pid == QLatin1String("light_shaping_version")) {
            hasVersion = true;
        } else if (pid == QLatin1String("light_shaping_default_forward_voltages")) {
            hasDefaultVoltages = true;
        } else if (pid.startsWith(QLatin1String("light_shaping_led_output_"))) {
            outputNames << displayName;
        } else if (pid.startsWith(QLatin1String("current_cs"))) {
            const QString channel = pid.right(1);
            QJsonObject copy = parameter;
            copy.insert(QStringLiteral("display_name"), QStringLiteral("LED current output ") + channel);
            copy.insert(QStringLiteral("pid"), QStringLiteral("light_shaping_led_output_") + channel);
            copy.insert(QStringLiteral("group"), QStringLiteral("LightShape"));
            extra.append(copy);
        }
    }
    if (!active)
        return result;
    if (!hasVersion)
        extra.append(versionParameter());
    if (!hasDefaultVoltages)
        extra.append(defaultForwardVoltagesParameter());
    for (const QJsonValue& element : qAsConst(extra)) {
        if (!outputNames.contains(element.toObject().value(QStringLiteral("display_name")).toString()))
            result.append(element);
    }
    return result;
}

} // namespace tarvesk::service
