#include "service/rpc_json_writer.h"

#include "service/rpc_array.h"
#include "service/rpc_object.h"
#include "service/rpc_value.h"

#include <QLocale>

#include <cmath>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

// Whether a UTF-16 unit goes out as the one byte it is.
bool isPlainAscii(ushort unit)
{
    return unit >= 0x20 && unit < 0x80 && unit != '"' && unit != '\\';
}

// Copies the leading units that go out as the bytes they are, eight at a
// time; returns where the first other unit (or the end) is.
const ushort* copyPlainAscii(char*& cursor, const ushort* src, const ushort* const end)
{
#ifdef __SSE2__
    const __m128i below = _mm_set1_epi16(0x20);
    const __m128i above = _mm_set1_epi16(0x7f);
    const __m128i quote = _mm_set1_epi16('"');
    const __m128i backslash = _mm_set1_epi16('\\');
    while (end - src >= 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
        // Signed compares: units from 0x8000 up read as negative, so below 0x20.
        const __m128i special
            = _mm_or_si128(_mm_or_si128(_mm_cmplt_epi16(units, below), _mm_cmpgt_epi16(units, above)),
                _mm_or_si128(_mm_cmpeq_epi16(units, quote), _mm_cmpeq_epi16(units, backslash)));
        if (_mm_movemask_epi8(special) != 0)
            break;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(cursor), _mm_packus_epi16(units, units));
        cursor += 8;
        src += 8;
    }
#endif
    while (src != end && isPlainAscii(*src))
        *cursor++ = char(*src++);
    return src;
}

// Appends the escaped form at cursor, which has room for six bytes per unit.
char* escape(char* cursor, const ushort* src, const ushort* const end)
{
    while (src != end) {
        src = copyPlainAscii(cursor, src, end);
        if (src == end)
            break;
        const unsigned u = *src++;
        if (u < 0x80) {
            if (isPlainAscii(ushort(u))) {
                *cursor++ = char(u);
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
                *cursor++ = hexDigit(u >> 4);
                *cursor++ = hexDigit(u & 0xf);
                break;
            }
        } else if (u < 0x800) {
            *cursor++ = char(0xc0 | (u >> 6));
            *cursor++ = char(0x80 | (u & 0x3f));
        } else if (u < 0xd800 || u > 0xdfff) {
            *cursor++ = char(0xe0 | (u >> 12));
            *cursor++ = char(0x80 | ((u >> 6) & 0x3f));
            *cursor++ = char(0x80 | (u & 0x3f));
        } else if (u < 0xdc00 && src != end && *src >= 0xdc00 && *src <= 0xdfff) {
            const unsigned point = 0x10000 + ((u - 0xd800) << 10) + (*src++ - 0xdc00);
            *cursor++ = char(0xf0 | (point >> 18));
            *cursor++ = char(0x80 | ((point >> 12) & 0x3f));
            *cursor++ = char(0x80 | ((point >> 6) & 0x3f));
            *cursor++ = char(0x80 | (point & 0x3f));
        } else {
            // A surrogate without its partner is no UTF-8: the framework
            // writes it as an escape, and so must we.
            *cursor++ = '\\';
            *cursor++ = 'u';
            *cursor++ = hexDigit((u >> 12) & 0xf);
            *cursor++ = hexDigit((u >> 8) & 0xf);
            *cursor++ = hexDigit((u >> 4) & 0xf);
            *cursor++ = hexDigit(u & 0xf);
        }
    }
    return cursor;
}

} // namespace

RpcJsonWriter::RpcJsonWriter(QJsonDocument::JsonFormat format, qsizetype initialCapacity)
    : _compact(format == QJsonDocument::Compact)
    , _initialCapacity(qMax<qsizetype>(initialCapacity, 16))
{ }

char* RpcJsonWriter::grow(qsizetype bytes)
{
    // _out is the buffer, grown by doubling; only its first _size bytes are text.
    _out.resize(int(qMax<qsizetype>(qMax<qsizetype>(2 * _out.size(), _size + bytes), _initialCapacity)));
    _buffer = _out.data();
    _capacity = _out.size();
    return _buffer + _size;
}

QByteArray RpcJsonWriter::take()
{
    _out.resize(int(_size));
    _size = 0;
    _buffer = nullptr;
    _capacity = 0;
    return std::move(_out);
}

void RpcJsonWriter::indent(qsizetype level)
{
    if (_compact || level <= 0)
        return;
    char* at = room(4 * level);
    for (qsizetype i = 0; i < 4 * level; ++i)
        at[i] = ' ';
    _size += 4 * level;
}

void RpcJsonWriter::separate()
{
    if (!_first) {
        if (_compact)
            put(',');
        else
            put(",\n", 2);
    }
    _first = false;
    indent(_open.size());
}

void RpcJsonWriter::beforeValue()
{
    if (_afterKey) {
        _afterKey = false;
        return;
    }
    if (!_open.isEmpty())
        separate();
}

void RpcJsonWriter::beginObject()
{
    beforeValue();
    if (_compact)
        put('{');
    else
        put("{\n", 2);
    _open.append('{');
    _first = true;
}

void RpcJsonWriter::beginArray()
{
    beforeValue();
    if (_compact)
        put('[');
    else
        put("[\n", 2);
    _open.append('[');
    _first = true;
}

void RpcJsonWriter::close()
{
    if (_open.isEmpty())
        return;
    const char closer = _open.last() == '[' ? ']' : '}';
    _open.removeLast();
    if (!_first && !_compact)
        put('\n');
    indent(_open.size());
    put(closer);
    _first = false;
    if (_open.isEmpty() && !_compact)
        put('\n');
}

void RpcJsonWriter::key(QLatin1String name)
{
    separate();
    put('"');
    put(name.data(), name.size());
    put('"');
    endKey();
}

void RpcJsonWriter::key(const QString& name)
{
    separate();
    quoted(name);
    endKey();
}

void RpcJsonWriter::endKey()
{
    if (_compact)
        put(':');
    else
        put(": ", 2);
    _afterKey = true;
}

void RpcJsonWriter::quoted(const QString& text)
{
    const ushort* src = reinterpret_cast<const ushort*>(text.constData());
    const qsizetype units = text.size();
    char* start = room(6 * units + 2);
    char* cursor = start;
    *cursor++ = '"';
    cursor = escape(cursor, src, src + units);
    *cursor++ = '"';
    _size += cursor - start;
}

void RpcJsonWriter::string(const QString& text)
{
    beforeValue();
    quoted(text);
}

void RpcJsonWriter::number(double value)
{
    beforeValue();
    if (!std::isfinite(value)) {
        put("null", 4); // as the framework writes NaN and the infinities
        return;
    }
    const double magnitude = std::fabs(value);
    if (std::trunc(value) == value && magnitude <= LargestExactInteger) {
        char digits[24];
        char* end = digits + sizeof digits;
        char* at = end;
        const qint64 integer = qint64(value); // -0 too is written 0
        quint64 rest = integer < 0 ? quint64(0) - quint64(integer) : quint64(integer);
        do {
            *--at = char('0' + rest % 10);
            rest /= 10;
        } while (rest != 0);
        if (integer < 0)
            *--at = '-';
        put(at, end - at);
        return;
    }
    const bool integral = magnitude < TwoToThe64 && std::trunc(magnitude) == magnitude;
    const QByteArray text = QByteArray::number(value, integral ? 'f' : 'g', QLocale::FloatingPointShortest);
    put(text.constData(), text.size());
}

void RpcJsonWriter::raw(const QByteArray& json)
{
    beforeValue();
    put(json.constData(), json.size());
}

void RpcJsonWriter::value(const RpcValue* value)
{
    if (!value) {
        beforeValue();
        put("null", 4);
        return;
    }
    switch (value->getType()) {
    case RpcValue::RPC_VALUE_BOOL:
        beforeValue();
        if (value->getBoolValue())
            put("true", 4);
        else
            put("false", 5);
        return;
    case RpcValue::RPC_VALUE_DOUBLE:
        // A whole number beyond 2^53 (a 64-bit memory-bank field) keeps its
        // digits; a double would round it.
        if (value->hasExactInteger())
            raw(value->exactIntegerText().toLatin1());
        else
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
        put("null", 4);
        return;
    }
}

} // namespace tarvesk::service
