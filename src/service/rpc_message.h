#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLatin1String>
#include <QString>
#include <QTime>
#include <QVarLengthArray>

namespace tarvesk::service {

class RpcValue;

// What requests and responses share: the id, an error code and text, the text
// last parsed, and the JSON-RPC 2.0 envelope rules for reading and writing.
//
// A reply carries the request's id exactly as the request wrote it: a number
// with its own digits (1.50, -0, 1e3, 123456789012345678901234567890, none
// of which a double keeps), a string with its own escapes. An id that could
// not be read from the request is written as null, as JSON-RPC 2.0 asks.
class RpcMessage
{
public:
    RpcMessage();
    virtual ~RpcMessage();

    // Sets the error; true when code is 0 (no error).
    bool error(int code, const QString& text);

    // Reads one JSON-RPC 2.0 message from text. On failure the error code and
    // text say why (-32700 not JSON, -32600 not a valid envelope) and false
    // is returned; an id read before the failure stays set.
    bool parseJsonRpc(const QString& text);
    // The same for a body as received: bytes that are not UTF-8 are refused
    // with -32700 rather than replaced.
    bool parseJsonRpcUtf8(const QByteArray& utf8);

    // The message as the framework's JSON object (the id as its JSON value).
    QJsonObject toJsonObject() const;
    QJsonArray toJsonArray() const;
    QString serializeToJson(QJsonDocument::JsonFormat format) const;
    // The reply body: the message as UTF-8 JSON text, written straight from
    // the value trees (RpcJsonWriter) as the framework would write
    // toJsonObject(), except that the id keeps its own text.
    QByteArray serializeToUtf8(QJsonDocument::JsonFormat format) const;

    // The id as text: a string id as it is, a number id with its own digits,
    // "" when there is none.
    QString getId() const;
    // Sets a string id.
    void setId(const QString& id);
    // The id with its JSON type (string, number, or null when there is none),
    // as the framework reads it.
    const QJsonValue& getJsonId() const { return _id; }
    void setJsonId(const QJsonValue& id);
    // The id as JSON text, exactly as the message was read with it ("null"
    // when there is none).
    QByteArray getIdJson() const;
    // Answers other's id: copies it with its JSON text. Copy ids between
    // messages with this, so that nothing of the id is lost.
    void setIdFrom(const RpcMessage& other);

    int getErrorCode() const { return _errorCode; }
    const QString& getErrorString() const { return _errorString; }
    // The local time of day at which the message was made.
    QTime getCreationTime() const;
    // The text last parsed.
    QString getRawStringValue() const;

protected:
    // A member that a subclass writes: a value (null when there is none) or
    // a text, under a plain ASCII name.
    struct JsonMember
    {
        QLatin1String key;
        const RpcValue* value = nullptr;
        const QString* text = nullptr;
        bool isId = false;
        bool isVersion = false;
        bool isError = false;
    };
    using JsonMembers = QVarLengthArray<JsonMember, 8>;

    virtual bool checkRequiredFields(const QJsonObject& object) = 0;
    virtual void createFields(QJsonObject& object) const = 0;
    // The same members as createFields, for the writer.
    virtual void collectFields(JsonMembers& members) const = 0;

    RpcMessage(const RpcMessage&) = default;
    RpcMessage& operator=(const RpcMessage&) = default;

private:
    bool parse(const QByteArray& utf8);

    QJsonValue _id = QJsonValue(QJsonValue::Null);
    QByteArray _idJson; // the id's JSON text; empty when there is none
    int _errorCode = 0;
    QString _errorString;
    // The text last parsed: as text, or as the UTF-8 bytes it came in,
    // turned into text only when asked for.
    QString _rawText;
    QByteArray _rawUtf8;
    // Milliseconds since the epoch: reading the clock is cheap, turning it
    // into local time is not, and is left to getCreationTime().
    qint64 _created;
};

} // namespace tarvesk::service
