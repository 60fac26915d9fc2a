#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QVariant>

#include <cstddef>
#include <memory>

namespace tarvesk::service {

class RpcObject;
class RpcArray;

// One JSON-like value of a request or response: null, bool, number, string,
// array, object or undefined. Methods read their parameters from these trees
// and build their replies in them; the trees meet the framework's JSON and
// variant types only at the edges.
//
// Numbers are held as double. Whatever turns a number into an int checks
// first that it is finite and in range, so a client's 1e300 or NaN can never
// reach a cast.
//
// A whole number of the 64-bit ranges may also be held exactly beside its
// double (an 8-byte identification number beyond 2^53, which a double
// rounds): it comes from a 64-bit variant, fromExactInteger, or a decimal or
// hexadecimal text beyond 2^53 that convertToDouble reads. Such a value is
// still a number to every reader of the double; getVariantValue gives the
// exact number, and exactIntegerText its digits for a writer of replies.
class RpcValue
{
public:
    enum Type {
        RPC_VALUE_NULL = 0,
        RPC_VALUE_BOOL = 1,
        RPC_VALUE_DOUBLE = 2,
        RPC_VALUE_STRING = 3,
        RPC_VALUE_ARRAY = 4,
        RPC_VALUE_OBJECT = 5,
        RPC_VALUE_UNDEFINED = 6,
    };

    RpcValue();
    explicit RpcValue(const QString& value);
    explicit RpcValue(const char* value);
    explicit RpcValue(double value);
    explicit RpcValue(int value);
    explicit RpcValue(unsigned int value);
    explicit RpcValue(bool value);
    explicit RpcValue(RpcObject* value); // takes ownership
    explicit RpcValue(RpcArray* value);  // takes ownership
    explicit RpcValue(const QJsonValue& value);
    explicit RpcValue(const QJsonObject& value);
    explicit RpcValue(const QJsonArray& value);
    explicit RpcValue(const QList<int>& values);
    explicit RpcValue(const QList<double>& values);
    explicit RpcValue(const QVariant& value);
    // Any other pointer would silently become a bool.
    RpcValue(const void*) = delete;
    ~RpcValue();

    // Values are made and freed by the thousand for each request and reply
    // (one per name, number and string), often under the request handler's
    // mutex: each thread keeps the blocks of values it freed for the next
    // ones it makes, rather than going through the allocator's locks.
    static void* operator new(std::size_t size);
    static void operator delete(void* block, std::size_t size) noexcept;
    // Gives the blocks this thread keeps back to the allocator: after a
    // large request, whose last values lie scattered over its many pages.
    static void releaseKeptBlocks();

    RpcValue(const RpcValue&) = delete;
    RpcValue& operator=(const RpcValue&) = delete;

    void fromString(const QString& value);
    void fromBool(bool value);
    void fromDouble(double value);
    void fromExactInteger(qlonglong value);
    void fromExactInteger(qulonglong value);
    void fromJsonValue(const QJsonValue& value);
    void fromJsonObject(const QJsonObject& object);
    void fromJsonArray(const QJsonArray& array);
    // Parses JSON text (UTF-8); an object or array document replaces the
    // value. True exactly when the text parsed without error; text that
    // the parser cannot take safely (see jsonTextFault) is refused unread.
    bool fromJson(const QString& text);

    // Numbers are written rounded to three decimals.
    QJsonValue toJsonValue() const;
    QVariant getVariantValue() const;

    int getType() const { return _type; }
    QString getTypeString() const;

    bool hasExactInteger() const { return _exactInteger.isValid(); }
    // The exact whole number in decimal digits; empty when the value holds none.
    QString exactIntegerText() const;

    const QString& getStringValue() const { return _stringValue; }
    double getDoubleValue() const { return _doubleValue; }
    bool getBoolValue() const { return _boolValue; }
    RpcObject* getObjectValue() const { return _object.get(); }
    RpcArray* getArrayValue() const { return _array.get(); }
    // The stored number truncated toward zero. Throws JsonRpcException -32602
    // when it is not finite or outside the range of int.
    int getIntegerValue() const;

    bool isNullValue() const { return _type == RPC_VALUE_NULL; }
    bool isUndefinedValue() const { return _type == RPC_VALUE_UNDEFINED; }
    bool isObjectValue() const { return _object != nullptr; }
    bool isArrayValue() const { return _array != nullptr; }

    // Tests that convert the value in place when they succeed.
    bool isBoolValue();
    bool isDoubleValue();
    bool isStringValue();
    bool isType(const QString& typeName);
    // A number, or a text that reads as one, truncated toward zero; ok is
    // false (and 0 returned) for anything else, and for numbers that are not
    // finite or do not fit in an int.
    int toInteger(bool* ok);
    bool convertToBool();
    bool convertToDouble();

    void setDefaultValue(bool isDefault) { _defaultValue = isDefault; }
    bool getDefaultValue() const { return _defaultValue; }

    RpcValue* clone() const;
    unsigned int getMemorySize() const;
    void debugPrint(int indent) const;

    // floor(x * 1000 + 0.5) / 1000; integers, and numbers too large to
    // scale, are returned unchanged.
    static double roundToThreeDecimals(double value);

private:
    void clearContainers();

    int _type = RPC_VALUE_UNDEFINED;
    QString _stringValue;
    double _doubleValue = 0.0;
    bool _boolValue = false;
    std::unique_ptr<RpcObject> _object;
    std::unique_ptr<RpcArray> _array;
    bool _defaultValue = false;
    QVariant _exactInteger; // qlonglong or qulonglong, beside _doubleValue; invalid when not held
};

} // namespace tarvesk::service
