#include "service/rpc_json_writer.h"

#include "service/rpc_array.h"
#include "service/rpc_object.h"
#include "service/rpc_value.h"

#include <QLocale>

#include <cmath>

namespace tarvesk::service {

namespace {

// Integers of this magnitude or less the framework holds and writes as
// integers; beyond it, as doubles.
constexpr double LargestExactInteger = 9007199254740992.0; // 2^53
constexpr double TwoToThe64 = 18446744073709551616.0;

char hexDigit(unsigned value)
{
    return char(value < 10 ? '0' + value : 'a' + value - 10);
}

void appendInteger(QByteArray& out, qint64 value)
{
    char digits[24];
    char* end = digits + sizeof digits;
    char* at = end;
    quint64 magnitude = value < 0 ? quint64(0) - quint64(value) : quint64(value);
    do {
        *--at = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        *--at = '-';
    out.append(at, int(end - at));
}

} // namespace

RpcJsonWriter::RpcJsonWriter(QJsonDocument::JsonFormat format)
    : _compact(format == QJsonDocument::Compact)
{ }

void RpcJsonWriter::indent(int level)
{
    if (!_compact && level > 0)
        _out.append(4 * level, ' ');
}

void RpcJsonWriter::beforeValue()
{
    if (_afterKey) {
        _afterKey = false;
        return;
    }
    if (_open.isEmpty())
        return;
    if (!_first)
        _out.append(_compact ? "," : ",\n");
    _first = false;
    indent(_open.size());
}

void RpcJsonWriter::beginObject()
{
    beforeValue();
    _out.append(_compact ? "{" : "{\n");
    _open.append('{');
    _first = true;
}

void RpcJsonWriter::beginArray()
{
    beforeValue();
    _out.append(_compact ? "[" : "[\n");
    _open.append('[');
    _first = true;
}

void RpcJsonWriter::close()
{
    if (_open.isEmpty())
        return;
    const char closer = _open.back() == '[' ? ']' : '}';
    _open.chop(1);
    if (!_first && !_compact)
        _out.append('\n');
    indent(_open.size());
    _out.append(closer);
    _first = false;
    if (_open.isEmpty() && !_compact)
        _out.append('\n');
}

void RpcJsonWriter::beginKey()
{
    if (!_first)
        _out.append(_compact ? "," : ",\n");
    _first = false;
    indent(_open.size());
    _out.append('"');
}

void RpcJsonWriter::endKey()
{
    _out.append(_compact ? "\":" : "\": ");
    _afterKey = true;
}

void RpcJsonWriter::key(QLatin1String name)
{
    beginKey();
    _out.append(name.data(), name.size());
    endKey();
}

void RpcJsonWriter::key(const QString& name)
{
    beginKey();
    appendEscaped(_out, name);
    endKey();
}

void RpcJsonWriter::string(const QString& text)
{
    beforeValue();
    _out.append('"');
    appendEscaped(_out, text);
    _out.append('"');
}

void RpcJsonWriter::number(double value)
{
    beforeValue();
    if (!std::isfinite(value)) {
        _out.append("null"); // as the framework writes NaN and the infinities
        return;
    }
    const double magnitude = std::fabs(value);
    if (std::trunc(value) == value && magnitude <= LargestExactInteger) {
        appendInteger(_out, qint64(value)); // -0 too is written 0
        return;
    }
    const bool integral = magnitude < TwoToThe64 && std::trunc(magnitude) == magnitude;
    _out.append(QByteArray::number(value, integral ? 'f' : 'g', QLocale::FloatingPointShortest));
}

void RpcJsonWriter::raw(const QByteArray& json)
{
    beforeValue();
    _out.append(json);
}

void RpcJsonWriter::value(const RpcValue* value)
{
    if (!value) {
        beforeValue();
        _out.append("null");
        return;
    }
    switch (value->getType()) {
    case RpcValue::RPC_VALUE_BOOL:
        beforeValue();
        _out.append(value->getBoolValue() ? "true" : "false");
        return;
    case RpcValue::RPC_VALUE_DOUBLE:
        number(RpcValue::roundToThreeDecimals(value->getDoubleValue()));
        return;
    case RpcValue::RPC_VALUE_STRING:
        string(value->getStringValue());
        return;
    case RpcValue::RPC_VALUE_ARRAY:
        beginArray();
        if (const RpcArray* array = value->getArrayValue()) {
            for (const RpcValue* child : *array)
                this->value(child);
        }
        close();
        return;
    case RpcValue::RPC_VALUE_OBJECT:
        beginObject();
        if (const RpcObject* object = value->getObjectValue()) {
            for (auto it = object->begin(); it != object->end(); ++it) {
                key(it.key());
                this->value(it.value());
            }
        }
        close();
        return;
    default:
        beforeValue();
        _out.append("null");
        return;
    }
}

void RpcJsonWriter::appendEscaped(QByteArray& out, const QString& text)
{
    const ushort* src = reinterpret_cast<const ushort*>(text.constData());
    const ushort* const end = src + text.size();
    int length = out.size();
    // At most six bytes per UTF-16 unit (\u00xx); grown as needed.
    out.resize(length + qMax(16, text.size() + text.size() / 4 + 8));
    uchar* cursor = reinterpret_cast<uchar*>(out.data()) + length;
    const uchar* limit = reinterpret_cast<const uchar*>(out.constData()) + out.size();

    while (src != end) {
        if (cursor + 6 >= limit) {
            length = int(cursor - reinterpret_cast<const uchar*>(out.constData()));
            out.resize(out.size() * 2);
            cursor = reinterpret_cast<uchar*>(out.data()) + length;
            limit = reinterpret_cast<const uchar*>(out.constData()) + out.size();
        }
        const unsigned u = *src++;
        if (u < 0x80) {
            if (u >= 0x20 && u != '"' && u != '\\') {
                *cursor++ = uchar(u);
                continue;
            }
            *cursor++ = '\\';
            switch (u) {
            case '"':
                *cursor++ = '"';
                break;
            case '\\':
                *cursor++ = '\\';
                break;
            case 0x08:
                *cursor++ = 'b';
                break;
            case 0x0c:
                *cursor++ = 'f';
                break;
            case 0x0a:
                *cursor++ = 'n';
                break;
            case 0x0d:
                *cursor++ = 'r';
                break;
            case 0x09:
                *cursor++ = 't';
                break;
            default:
                *cursor++ = 'u';
                *cursor++ = '0';
                *cursor++ = '0';
                *cursor++ = uchar(hexDigit(u >> 4));
                *cursor++ = uchar(hexDigit(u & 0xf));
                break;
            }
        } else if (u < 0x800) {
            *cursor++ = uchar(0xc0 | (u >> 6));
            *cursor++ = uchar(0x80 | (u & 0x3f));
        } else if (u < 0xd800 || u > 0xdfff) {
            *cursor++ = uchar(0xe0 | (u >> 12));
            *cursor++ = uchar(0x80 | ((u >> 6) & 0x3f));
            *cursor++ = uchar(0x80 | (u & 0x3f));
        } else if (u < 0xdc00 && src != end && *src >= 0xdc00 && *src <= 0xdfff) {
            const unsigned point = 0x10000 + ((u - 0xd800) << 10) + (*src++ - 0xdc00);
            *cursor++ = uchar(0xf0 | (point >> 18));
            *cursor++ = uchar(0x80 | ((point >> 12) & 0x3f));
            *cursor++ = uchar(0x80 | ((point >> 6) & 0x3f));
            *cursor++ = uchar(0x80 | (point & 0x3f));
        } else {
            // A surrogate without its partner is no UTF-8: the framework
            // writes it as an escape, and so must we.
            *cursor++ = '\\';
            *cursor++ = 'u';
            *cursor++ = uchar(hexDigit((u >> 12) & 0xf));
            *cursor++ = uchar(hexDigit((u >> 8) & 0xf));
            *cursor++ = uchar(hexDigit((u >> 4) & 0xf));
            *cursor++ = uchar(hexDigit(u & 0xf));
        }
    }
    out.resize(int(cursor - reinterpret_cast<const uchar*>(out.constData())));
}

} // namespace tarvesk::service
