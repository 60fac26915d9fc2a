#include "service/rpc/rpc_types/rpc_type_parameter.h"

#include "core/network_resolution.h"
#include "core/parameters/dali/memory_bank_location.h"
#include "core/parameters/parameter.h"
#include "log/logging_categories.h"
#include "service/rpc_value.h"

#include <QJsonArray>
#include <QJsonObject>

namespace tarvesk::service {

namespace {

RpcValue* stringList(const QStringList& texts)
{
    QJsonArray array;
    for (const QString& text : texts)
        array.append(text);
    return new RpcValue(array);
}

int hexDigits(int resolution)
{
    switch (resolution) {
    case core::ITF_RES_BYTE:
        return 2;
    case core::ITF_RES_WORD:
        return 4;
    case core::ITF_RES_LONG:
        return 8;
    default:
        return 0;
    }
}

// The length in bytes of the memory-bank field the parameter lives in; 0 for
// a parameter that is not a memory-bank field.
unsigned memoryFieldLength(const core::Parameter& parameter)
{
    const std::uint32_t word = parameter.getDaliMemoryBankData();
    const unsigned length = core::MemoryBankLocation::fromWord(word).length;
    return word != 0 && length >= 1 && length <= 8 ? length : 0;
}

} // namespace

QString RpcTypeParameter::memoryFieldHexValue(quint64 value, unsigned length)
{
    const quint64 field = length >= 8 ? value : value & ((quint64(1) << (8 * length)) - 1);
    return QStringLiteral("%1").arg(field, int(2 * length), 16, QLatin1Char('0'));
}

QString RpcTypeParameter::hexValue(qint64 value, int resolution)
{
    const qint32 low = qint32(quint32(quint64(value) & 0xFFFFFFFFu));
    if (low < 0)
        return QString::number(quint64(qint64(low)), 16);
    return QStringLiteral("%1").arg(low, hexDigits(resolution), 16, QLatin1Char('0'));
}

RpcTypeParameter::RpcTypeParameter(core::Parameter* parameter)
{
    addChild(QStringLiteral("address"), new RpcValue(parameter->getAddress()));
    addChild(QStringLiteral("pid"), new RpcValue(parameter->getIdentifier()));
    addChild(QStringLiteral("display_name"), new RpcValue(parameter->getDisplayName()));
    addChild(QStringLiteral("parameter_type"), new RpcValue(parameter->getParameterTypeShortString()));
    addChild(QStringLiteral("hide"), new RpcValue(parameter->isHidden()));

    QVariant value;
    if (parameter->getValue(value, core::IParameter::UPDATE_NO) == 0) {
        const auto addNumberKeys = [this, parameter] {
            addChild(QStringLiteral("value"), new RpcValue(parameter->getScaledValue()));
            addChild(QStringLiteral("min_value"), new RpcValue(parameter->getMinValue().toDouble()));
            addChild(QStringLiteral("max_value"), new RpcValue(parameter->getMaxValue().toDouble()));
            addChild(QStringLiteral("step_size"), new RpcValue(parameter->getStepSize()));
            addChild(QStringLiteral("scale"), new RpcValue(parameter->getScale()));
            addChild(QStringLiteral("unit"), new RpcValue(parameter->getParameterUnitShortString()));
        };
        switch (value.userType()) {
        case QMetaType::Bool:
            addChild(QStringLiteral("value"), new RpcValue(value.toBool()));
            break;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong: {
            // An unsigned 64-bit value keeps its top bit: toLongLong would turn
            // an identification number of 2^64 - 2 into -2.
            const bool wide = value.userType() == QMetaType::ULongLong;
            const quint64 bits = wide ? value.toULongLong() : quint64(value.toLongLong());
            const unsigned fieldLength = memoryFieldLength(*parameter);
            addChild(QStringLiteral("hex_value"),
                new RpcValue(fieldLength != 0
                        ? memoryFieldHexValue(bits, fieldLength)
                        : hexValue(qint64(bits), int(parameter->getNetworkResolution()))));
            // 64-bit values are held exactly, beyond what a double can carry.
            addChild(QStringLiteral("raw_value"), new RpcValue(value));
            addNumberKeys();
            break;
        }
        case QMetaType::Double:
            addChild(QStringLiteral("raw_value"), new RpcValue(value.toDouble()));
            addNumberKeys();
            break;
        case QMetaType::QString:
            addChild(QStringLiteral("value"), new RpcValue(value.toString()));
            if (parameter->getParameterType() == core::PARAM_TYPE_ENUM) {
                addChild(QStringLiteral("enum_options"), stringList(parameter->getEnumOptions()));
            } else {
                addChild(QStringLiteral("min_value"), new RpcValue(parameter->getMinValue().toDouble()));
                addChild(QStringLiteral("max_value"), new RpcValue(parameter->getMaxValue().toDouble()));
            }
            break;
        case QMetaType::QJsonObject:
            addChild(QStringLiteral("value"), new RpcValue(value.toJsonObject()));
            break;
        case QMetaType::QJsonArray:
            addChild(QStringLiteral("value"), new RpcValue(value.toJsonArray()));
            break;
        default:
            qCCritical(loggerGlog()).noquote()
                << GLOG_PREFIX
                << QStringLiteral("Variant type detected which can't be converted: %1")
                       .arg(QString::fromLatin1(value.typeName()));
            break;
        }
    }

    addChild(QStringLiteral("tags"), stringList(parameter->getTags()));
    addChild(QStringLiteral("readonly"), new RpcValue(parameter->isReadOnly()));
    addChild(QStringLiteral("group"), new RpcValue(parameter->getGroup()));
    addChild(QStringLiteral("access_level"), new RpcValue(parameter->getAccessLevel()));
    addChild(QStringLiteral("enabled"), new RpcValue(parameter->isEnabled()));
    if (!parameter->getDescription().isEmpty())
        addChild(QStringLiteral("description"), new RpcValue(parameter->getDescription()));
}

RpcTypeParameterArray::RpcTypeParameterArray(const std::vector<core::IParameter*>& parameters)
{
    for (core::IParameter* parameter : parameters) {
        if (auto* p = qobject_cast<core::Parameter*>(parameter))
            addChild(new RpcTypeParameter(p));
    }
}

} // namespace tarvesk::service
