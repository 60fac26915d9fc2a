#include "core/step.h"

#include <QDebug>
#include <QJsonArray>

namespace tarvesk::core {

const QString STEP_KEY_PRE = QStringLiteral("pre");
const QString STEP_KEY_SET_PARAMS = QStringLiteral("set_params");
const QString STEP_KEY_VALIDATE_SET_PARAMS = QStringLiteral("validate_set_params");
const QString STEP_KEY_RESET_DALI = QStringLiteral("reset_dali");
const QString STEP_KEY_POST = QStringLiteral("post");
const QString STEP_KEY_VALIDATION = QStringLiteral("validation");

Step::Step(const QString& name)
    : _name(name)
    , _result(QStringLiteral("not done"))
{
    _timer.start();
}

Step::~Step() = default;

Step* Step::addChild(const QString& name)
{
    _children.push_back(std::make_unique<Step>(name));
    return _children.back().get();
}

void Step::setResult(const QString& result)
{
    _result = result;
    _elapsed = _timer.elapsed();
}

QList<Step*> Step::children() const
{
    QList<Step*> list;
    for (const auto& child : _children)
        list.append(child.get());
    return list;
}

QString Step::toString(int indent) const
{
    return QStringLiteral("%1 - %2s %3 : %4")
        .arg(QString(qMax(indent, 0), QLatin1Char(' ')), QString::number(_elapsed / 1000.0, 'f', 3), _name,
            _result);
}

void Step::debugPrint(int indent) const
{
    qDebug() << toString(indent);
    for (const auto& child : _children)
        child->debugPrint(indent + 1);
}

QJsonObject Step::toJson() const
{
    QJsonObject object {{QStringLiteral("name"), _name}, {QStringLiteral("result"), _result},
        {QStringLiteral("elapsed_time"), qint32(_elapsed)}};
    if (!_children.empty()) {
        QJsonArray children;
        for (const auto& child : _children)
            children.append(child->toJson());
        object.insert(QStringLiteral("children"), children);
    }
    return object;
}

} // namespace tarvesk::core
