#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QLatin1String>
#include <QString>
#include <QVarLengthArray>

#include <cstring>

namespace tarvesk::service {

class RpcValue;

// Writes JSON text straight from a value tree, byte for byte as
// QJsonDocument::toJson writes the tree that RpcValue::toJsonValue() would
// build: members in ascending key order (UTF-16 code units, as RpcObject
// keeps them), four spaces per level in the indented form, the framework's
// escapes (lone surrogates as \udxxx), integers up to 2^53 in plain digits,
// other numbers in the framework's shortest form, and null for numbers that
// are not finite. Replies are written this way without building the
// framework's JSON objects first.
class RpcJsonWriter
{
public:
    // The buffer starts with room for initialCapacity bytes (most replies fit).
    explicit RpcJsonWriter(QJsonDocument::JsonFormat format, qsizetype initialCapacity = 4096);

    // Opens an object or an array; members and elements follow, then close().
    // The outermost close() of the indented form ends the text with a line
    // break, as the framework's documents do.
    void beginObject();
    void beginArray();
    void close();
    // Starts the next member of the open object. A QLatin1String name is
    // written unescaped: it is for the envelope's own plain ASCII names.
    void key(QLatin1String name);
    void key(const QString& name);
    // Element of the open array or value of the member just started.
    void value(const RpcValue* value);
    void string(const QString& text);
    void number(double value);
    // JSON text written as it stands (an id exactly as the client wrote it).
    void raw(const QByteArray& json);

    // The text written so far; the writer starts empty again.
    QByteArray take();

private:
    // Where the next bytes go, with room for this many.
    char* room(qsizetype bytes) { return _size + bytes <= _capacity ? _buffer + _size : grow(bytes); }
    char* grow(qsizetype bytes);
    void put(const char* bytes, qsizetype count)
    {
        std::memcpy(room(count), bytes, size_t(count));
        _size += count;
    }
    void put(char byte)
    {
        *room(1) = byte;
        ++_size;
    }
    void separate();
    void beforeValue();
    void endKey();
    void indent(qsizetype level);
    void quoted(const QString& text);

    QByteArray _out;         // the buffer: its first _size bytes are the text
    char* _buffer = nullptr; // _out's bytes
    qsizetype _capacity = 0; // _out's size
    qsizetype _size = 0;
    QVarLengthArray<char, 32> _open; // '{' or '[' for each container not closed yet
    const bool _compact;
    const qsizetype _initialCapacity;
    bool _first = true;     // no member or element in the open container yet
    bool _afterKey = false; // a member's key is written, its value comes next
};

} // namespace tarvesk::service
