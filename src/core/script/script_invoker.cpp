#include "core/script/script_invoker.h"

#include "service/string_exception.h"

#include <QJSEngine>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QQmlEngine>
#include <cstring>
#include <exception>
#include <vector>

namespace tarvesk::core {

namespace {

// Routes every method call and property access of a wrapped QObject through
// the invoker. Arguments that are proxies are unwrapped to their objects;
// results that are objects are wrapped again.
const char* const proxyFactorySource = R"JS(
(function (invoker) {
    // A proxy hands out its object only for this symbol, which no script can
    // name. (The engine's WeakMap loses entries to the garbage collector and
    // then crashes on lookups, so proxies are not kept in one.)
    var TARGET = Symbol("target");
    function unwrap(value) {
        if (value !== null && typeof value === "object") {
            var target = value[TARGET];
            if (target !== undefined)
                return target;
        }
        return value;
    }
    function wrap(value) {
        if (!invoker.isQObject(value))
            return value;
        return new Proxy(value, handler);
    }
    var handler = {
        get: function (target, property) {
            if (property === TARGET)
                return target;
            if (typeof property !== "string")
                return Reflect.get(target, property);
            if (invoker.hasMethod(target, property)) {
                return function () {
                    var args = [];
                    for (var i = 0; i < arguments.length; ++i)
                        args.push(unwrap(arguments[i]));
                    return wrap(invoker.invoke(target, property, args));
                };
            }
            if (invoker.hasProperty(target, property))
                return wrap(invoker.readProperty(target, property));
            return Reflect.get(target, property);
        },
        set: function (target, property, value) {
            if (typeof property === "string" && invoker.hasProperty(target, property))
                return invoker.writeProperty(target, property, unwrap(value));
            return Reflect.set(target, property, value);
        }
    };
    return wrap;
})
)JS";

QObject* objectOf(const QJSValue& value)
{
    return value.isQObject() ? value.toQObject() : nullptr;
}

bool isScriptCallable(const QMetaMethod& method)
{
    return method.access() == QMetaMethod::Public
        && (method.methodType() == QMetaMethod::Method || method.methodType() == QMetaMethod::Slot);
}

// One argument of a meta call: its value and the pointer handed to the call.
struct Argument
{
    QVariant value;
    void* pointer = nullptr;
};

int resolveType(QByteArray typeName)
{
    // A non-const reference (an out parameter such as QVariant&) gets a temporary.
    if (typeName.endsWith('&'))
        typeName.chop(1);
    return QMetaType::type(typeName.trimmed());
}

void storeInteger(QVariant& storage, int value)
{
    void* data = storage.data();
    switch (QMetaType::sizeOf(storage.userType())) {
    case 1:
        *static_cast<qint8*>(data) = qint8(value);
        break;
    case 2:
        *static_cast<qint16*>(data) = qint16(value);
        break;
    case 8:
        *static_cast<qint64*>(data) = value;
        break;
    default:
        *static_cast<qint32*>(data) = value;
        break;
    }
}

int loadInteger(const QVariant& storage)
{
    const void* data = storage.constData();
    switch (QMetaType::sizeOf(storage.userType())) {
    case 1:
        return *static_cast<const qint8*>(data);
    case 2:
        return *static_cast<const qint16*>(data);
    case 8:
        return int(*static_cast<const qint64*>(data));
    default:
        return *static_cast<const qint32*>(data);
    }
}

// Converts a script value to a value of the C++ type; false with the reason
// when it cannot.
bool toCppValue(const QJSValue& js, int typeId, QVariant& result, QString& problem)
{
    const QString typeName = QString::fromLatin1(QMetaType::typeName(typeId));
    if (typeId == QMetaType::QVariant) {
        result = js.toVariant();
        return true;
    }
    if (typeId == qMetaTypeId<QJSValue>()) {
        result = QVariant::fromValue(js);
        return true;
    }
    const QMetaType::TypeFlags flags = QMetaType::typeFlags(typeId);
    if (flags & QMetaType::PointerToQObject) {
        QObject* object = nullptr;
        if (!js.isNull() && !js.isUndefined()) {
            object = objectOf(js);
            const QMetaObject* expected = QMetaType::metaObjectForType(typeId);
            if (!object || (expected && !expected->cast(object))) {
                problem = QStringLiteral("expects %1, got %2").arg(typeName, js.toString());
                return false;
            }
        }
        result = QVariant(typeId, &object);
        return true;
    }
    if (flags & QMetaType::IsEnumeration) {
        if (!js.isNumber()) {
            problem = QStringLiteral("expects a number for %1, got %2").arg(typeName, js.toString());
            return false;
        }
        result = QVariant(typeId, nullptr);
        storeInteger(result, js.toInt());
        return true;
    }
    result = js.toVariant();
    if (result.userType() != typeId && !result.convert(typeId)) {
        problem = QStringLiteral("cannot convert %1 to %2").arg(js.toString(), typeName);
        return false;
    }
    return true;
}

QString exceptionText(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const StringException& e) {
        return e.message();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (const QString& text) {
        return text;
    } catch (const std::string& text) {
        return QString::fromStdString(text);
    } catch (const char* text) {
        return QString::fromUtf8(text);
    } catch (...) {
        return QStringLiteral("unknown exception");
    }
}

} // namespace

ScriptInvoker::ScriptInvoker(QJSEngine* engine)
    : _engine(engine)
{ }

QJSValue ScriptInvoker::createWrapFunction()
{
    QQmlEngine::setObjectOwnership(this, QQmlEngine::CppOwnership);
    return _engine->evaluate(QString::fromLatin1(proxyFactorySource)).call({_engine->newQObject(this)});
}

bool ScriptInvoker::isQObject(const QJSValue& value) const
{
    return objectOf(value) != nullptr;
}

bool ScriptInvoker::hasMethod(const QJSValue& target, const QString& name) const
{
    const QObject* object = objectOf(target);
    if (!object)
        return false;
    const QByteArray bytes = name.toUtf8();
    const QMetaObject* meta = object->metaObject();
    for (int i = 0; i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (isScriptCallable(method) && method.name() == bytes)
            return true;
    }
    return false;
}

bool ScriptInvoker::hasProperty(const QJSValue& target, const QString& name) const
{
    const QObject* object = objectOf(target);
    return object && object->metaObject()->indexOfProperty(name.toUtf8().constData()) >= 0;
}

QJSValue ScriptInvoker::invoke(const QJSValue& target, const QString& name, const QJSValue& arguments)
{
    QObject* object = objectOf(target);
    if (!object) {
        raise(name, QStringLiteral("called on a value that is not an object"));
        return QJSValue();
    }
    const QMetaObject* meta = object->metaObject();
    const QString where = QStringLiteral("%1.%2").arg(QString::fromLatin1(meta->className()), name);
    const int argc = arguments.property(QStringLiteral("length")).toInt();
    const QByteArray bytes = name.toUtf8();
    QString problem = QStringLiteral("no method taking %1 arguments").arg(argc);

    for (int i = 0; i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (!isScriptCallable(method) || method.name() != bytes || method.parameterCount() != argc
            || argc > 10)
            continue;
        std::vector<Argument> args(static_cast<std::size_t>(argc));
        const QList<QByteArray> types = method.parameterTypes();
        bool converted = true;
        for (int a = 0; a < argc && converted; ++a) {
            const int typeId = resolveType(types[a]);
            if (typeId == QMetaType::UnknownType) {
                problem
                    = QStringLiteral("argument type %1 is not registered").arg(QString::fromLatin1(types[a]));
                converted = false;
            } else {
                converted
                    = toCppValue(arguments.property(quint32(a)), typeId, args[size_t(a)].value, problem);
                args[size_t(a)].pointer
                    = typeId == QMetaType::QVariant ? &args[size_t(a)].value : args[size_t(a)].value.data();
            }
        }
        if (!converted)
            continue;

        const int returnType = method.returnType() != QMetaType::UnknownType ? method.returnType()
                                                                             : resolveType(method.typeName());
        if (returnType == QMetaType::UnknownType) {
            raise(where,
                QStringLiteral("result type %1 is not registered")
                    .arg(QString::fromLatin1(method.typeName())));
            return QJSValue();
        }
        QVariant result;
        void* argv[11] = {};
        if (returnType == QMetaType::QVariant) {
            argv[0] = &result;
        } else if (returnType != QMetaType::Void) {
            result = QVariant(returnType, nullptr);
            argv[0] = result.data();
        }
        for (int a = 0; a < argc; ++a)
            argv[a + 1] = args[size_t(a)].pointer;

        try {
            QMetaObject::metacall(object, QMetaObject::InvokeMetaMethod, method.methodIndex(), argv);
        } catch (...) {
            raise(where, exceptionText(std::current_exception()));
            return QJSValue();
        }
        return returnType == QMetaType::Void ? QJSValue() : toScriptValue(returnType, result);
    }
    raise(where, problem);
    return QJSValue();
}

QJSValue ScriptInvoker::readProperty(const QJSValue& target, const QString& name)
{
    QObject* object = objectOf(target);
    const int index = object ? object->metaObject()->indexOfProperty(name.toUtf8().constData()) : -1;
    if (index < 0) {
        raise(name, QStringLiteral("no such property"));
        return QJSValue();
    }
    const QMetaProperty property = object->metaObject()->property(index);
    try {
        const QVariant value = property.read(object);
        return toScriptValue(property.userType(), value);
    } catch (...) {
        raise(QStringLiteral("%1.%2").arg(QString::fromLatin1(object->metaObject()->className()), name),
            exceptionText(std::current_exception()));
        return QJSValue();
    }
}

bool ScriptInvoker::writeProperty(const QJSValue& target, const QString& name, const QJSValue& value)
{
    QObject* object = objectOf(target);
    const int index = object ? object->metaObject()->indexOfProperty(name.toUtf8().constData()) : -1;
    if (index < 0) {
        raise(name, QStringLiteral("no such property"));
        return true;
    }
    const QMetaProperty property = object->metaObject()->property(index);
    const QString where
        = QStringLiteral("%1.%2").arg(QString::fromLatin1(object->metaObject()->className()), name);
    if (!property.isWritable()) {
        raise(where, QStringLiteral("property is read-only"));
        return true;
    }
    QVariant converted;
    QString problem;
    if (!toCppValue(value, property.userType(), converted, problem)) {
        raise(where, problem);
        return true;
    }
    try {
        property.write(object, converted);
    } catch (...) {
        raise(where, exceptionText(std::current_exception()));
    }
    return true;
}

QJSValue ScriptInvoker::toScriptValue(int typeId, const QVariant& value) const
{
    const int heldType = typeId == QMetaType::QVariant ? value.userType() : typeId;
    if (heldType == qMetaTypeId<QJSValue>())
        return value.value<QJSValue>();
    const QMetaType::TypeFlags flags = QMetaType::typeFlags(heldType);
    if (flags & QMetaType::PointerToQObject) {
        QObject* object = *static_cast<QObject* const*>(value.constData());
        if (!object)
            return QJSValue(QJSValue::NullValue);
        // Objects handed out stay the system's: the script engine must never delete them.
        QQmlEngine::setObjectOwnership(object, QQmlEngine::CppOwnership);
        return _engine->newQObject(object);
    }
    if (flags & QMetaType::IsEnumeration)
        return QJSValue(loadInteger(value));
    return _engine->toScriptValue(value);
}

void ScriptInvoker::raise(const QString& where, const QString& message) const
{
    _engine->throwError(QStringLiteral("%1: %2").arg(where, message));
}

} // namespace tarvesk::core
