#pragma once

#include <QByteArray>
#include <QVector>

namespace tarvesk::service {

class RpcValue;
class RpcObject;

// A JSON array of a request or response, in insertion order. Owns its values.
class RpcArray
{
public:
    using const_iterator = QVector<RpcValue*>::const_iterator;

    RpcArray() = default;
    ~RpcArray();

    RpcArray(const RpcArray&) = delete;
    RpcArray& operator=(const RpcArray&) = delete;

    // Appends and takes ownership; a null value is stored as JSON null.
    void addChild(RpcValue* value);
    void addChild(RpcObject* value);

    // Room for this many children without growing.
    void reserve(int count) { _children.reserve(count); }

    // Null for an index outside 0..childCount()-1.
    RpcValue* child(int index) const;
    int childCount() const { return _children.size(); }
    const_iterator begin() const { return _children.constBegin(); }
    const_iterator end() const { return _children.constEnd(); }

    // One byte per element. Every element must be an integer (a number or a
    // text that reads as one) in 0..255; anything else throws
    // JsonRpcException -32602 naming the element, rather than being cut to
    // its low 8 bits or skipped.
    QByteArray getByteArray() const;

    RpcArray* clone() const;
    unsigned int getMemorySize() const;

private:
    QVector<RpcValue*> _children; // owned
};

} // namespace tarvesk::service
