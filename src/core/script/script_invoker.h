#pragma once

#include <QJSValue>
#include <QObject>
#include <QString>

class QJSEngine;

namespace tarvesk::core {

// The one road from the feature scripts into C++. Scripts never call a
// QObject's methods or properties directly: every object handed to them is a
// script proxy whose calls and property accesses come here. A C++ exception
// thrown by the called code is caught here and raised in the script as a
// JavaScript error, so it never unwinds through the JavaScript engine (which
// would corrupt it) and the script can see and report it.
class ScriptInvoker : public QObject
{
    Q_OBJECT

public:
    explicit ScriptInvoker(QJSEngine* engine);

    Q_INVOKABLE bool isQObject(const QJSValue& value) const;
    Q_INVOKABLE bool hasMethod(const QJSValue& target, const QString& name) const;
    Q_INVOKABLE bool hasProperty(const QJSValue& target, const QString& name) const;
    Q_INVOKABLE QJSValue invoke(const QJSValue& target, const QString& name, const QJSValue& arguments);
    Q_INVOKABLE QJSValue readProperty(const QJSValue& target, const QString& name);
    Q_INVOKABLE bool writeProperty(const QJSValue& target, const QString& name, const QJSValue& value);

    // The script function that turns a wrapped QObject into its proxy.
    QJSValue createWrapFunction();

private:
    QJSValue toScriptValue(int typeId, const QVariant& value) const;
    void raise(const QString& where, const QString& message) const;

    QJSEngine* _engine;
};

} // namespace tarvesk::core
