#include "protocol/options.h"

#include <QDebug>

namespace tarvesk::proto {

Options::Options(QObject* parent)
    : QObject(parent)
{ }

Options::~Options() = default;

void Options::addOption(const QString& optionName, const QVariant& optionValue)
{
    _options.insert(optionName, optionValue);
}

bool Options::hasOption(const QString& optionName) const
{
    return _options.contains(optionName);
}

QVariant Options::getOption(const QString& optionName) const
{
    return _options.value(optionName);
}

bool Options::isOptionTrue(const QString& optionName) const
{
    const auto it = _options.constFind(optionName);
    return it != _options.constEnd() && it.value().userType() == QMetaType::Bool && it.value().toBool();
}

void Options::addOptions(const Options& other)
{
    for (auto it = other._options.constBegin(); it != other._options.constEnd(); ++it)
        _options.insert(it.key(), it.value());
}

void Options::debugPrint() const
{
    for (auto it = _options.constBegin(); it != _options.constEnd(); ++it)
        qDebug().nospace().noquote() << it.key() << " : " << it.value();
}

void Options::initMeta()
{
    qRegisterMetaType<Options*>("tarvesk::proto::Options *");
}

} // namespace tarvesk::proto
