#pragma once

#include <QMap>
#include <QString>

namespace tarvesk::service {

class RpcValue;
class RpcArray;

// A JSON object of a request or response: values by key, in ascending key
// order. Owns its values. The reply types of the methods derive from it.
class RpcObject
{
public:
    using const_iterator = QMap<QString, RpcValue*>::const_iterator;

    RpcObject() = default;
    virtual ~RpcObject();

    RpcObject(const RpcObject&) = delete;
    RpcObject& operator=(const RpcObject&) = delete;

    // Stores the value under the key and takes ownership; a different value
    // held under that key is deleted. A null value is stored as JSON null.
    void addChild(const QString& key, RpcValue* value);
    void addChild(const QString& key, RpcObject* value);
    void addChild(const QString& key, RpcArray* value);

    RpcValue* child(const QString& key) const { return _children.value(key, nullptr); }
    void removeChild(const QString& key);
    int childCount() const { return _children.size(); }
    const_iterator begin() const { return _children.constBegin(); }
    const_iterator end() const { return _children.constEnd(); }

    RpcObject* clone() const;
    unsigned int getMemorySize() const;

private:
    QMap<QString, RpcValue*> _children; // owned
};

} // namespace tarvesk::service
