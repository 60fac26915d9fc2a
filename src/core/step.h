#pragma once

#include <QElapsedTimer>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

namespace tarvesk::core {

// The keys of the stages of applying a profile.
extern const QString STEP_KEY_PRE;
extern const QString STEP_KEY_SET_PARAMS;
extern const QString STEP_KEY_VALIDATE_SET_PARAMS;
extern const QString STEP_KEY_RESET_DALI;
extern const QString STEP_KEY_POST;
extern const QString STEP_KEY_VALIDATION;

// One node of the record that a long driver operation keeps of what it did:
// a name, a result text and the time from creation to the latest result.
// A step owns its children.
class Step : public QObject
{
    Q_OBJECT

public:
    explicit Step(const QString& name);
    ~Step() override;

    QString getName() const { return _name; }
    Step* addChild(const QString& name);
    QString getResult() const { return _result; }
    void setResult(const QString& result);
    qint64 getElapsedTime() const { return _elapsed; }
    QList<Step*> children() const;
    QString toString(int indent) const;
    void debugPrint(int indent) const;
    // The reply shape: "name", "result", "elapsed_time" and, with children, "children".
    QJsonObject toJson() const;

private:
    const QString _name;
    QString _result;
    std::vector<std::unique_ptr<Step>> _children;
    QElapsedTimer _timer;
    qint64 _elapsed = 0;
};

} // namespace tarvesk::core
