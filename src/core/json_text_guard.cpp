#include "core/json_text_guard.h"

#include <QJsonParseError>
#include <QSet>

#include <vector>

namespace tarvesk::core {

namespace {

// The nesting the framework's parser accepts: deeper text is refused here,
// so that it never reaches the parser.
constexpr std::size_t maxDepth = 1024;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void appendUtf8(QByteArray* out, uint codePoint)
{
    if (codePoint < 0x80) {
        out->append(char(codePoint));
    } else if (codePoint < 0x800) {
        out->append(char(0xC0 | (codePoint >> 6)));
        out->append(char(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out->append(char(0xE0 | (codePoint >> 12)));
        out->append(char(0x80 | ((codePoint >> 6) & 0x3F)));
        out->append(char(0x80 | (codePoint & 0x3F)));
    } else {
        out->append(char(0xF0 | (codePoint >> 18)));
        out->append(char(0x80 | ((codePoint >> 12) & 0x3F)));
        out->append(char(0x80 | ((codePoint >> 6) & 0x3F)));
        out->append(char(0x80 | (codePoint & 0x3F)));
    }
}

// Walks the text once, without recursion: the open arrays and objects are
// kept on a stack of their own, each object with the keys it has seen.
class StrictJsonScanner
{
public:
    StrictJsonScanner(const QByteArray& text, const QByteArray& topKey)
        : _p(text.constData())
        , _end(text.constData() + text.size())
        , _topKey(topKey)
    { }

    // Empty when the text is strict JSON.
    QString fault()
    {
        if (scan())
            return QString();
        if (_duplicate)
            return QStringLiteral("Duplicate key \"%1\" in a JSON object").arg(QString::fromUtf8(_key));
        if (_controlCharacter)
            return QStringLiteral("Unescaped control character in a JSON string");
        QJsonParseError error;
        error.error = _error;
        return error.errorString();
    }

    QByteArray topValue;

private:
    struct Container
    {
        bool object;
        QSet<QByteArray> keys; // decoded, as UTF-8
    };

    bool scan()
    {
        if (_end - _p >= 3 && uchar(_p[0]) == 0xEF && uchar(_p[1]) == 0xBB && uchar(_p[2]) == 0xBF)
            _p += 3;
        bool expectValue = true;
        while (true) {
            if (expectValue) {
                if (!value())
                    return false;
                // An array or object just opened wants its first value.
                expectValue = _opened;
                continue;
            }
            if (_stack.empty()) {
                skipSpace();
                return _p == _end || fail(QJsonParseError::GarbageAtEnd);
            }
            if (_capturing && _stack.size() == 1) {
                topValue = QByteArray(_captureStart, int(_p - _captureStart));
                _capturing = false;
            }
            skipSpace();
            const bool object = _stack.back().object;
            const char close = object ? '}' : ']';
            if (_p < _end && *_p == close) {
                ++_p;
                _stack.pop_back();
                continue;
            }
            if (_p == _end || *_p != ',') {
                if (object)
                    return fail(QJsonParseError::UnterminatedObject);
                return fail(
                    _p == _end ? QJsonParseError::UnterminatedArray : QJsonParseError::MissingValueSeparator);
            }
            ++_p;
            skipSpace();
            if (_p < _end && *_p == close)
                return fail(QJsonParseError::MissingObject); // a trailing comma
            if (object && !member())
                return false;
            expectValue = true;
        }
    }

    // Reads one value. An array or object is only opened (with its first
    // key read); _opened then tells that its values follow.
    bool value()
    {
        _opened = false;
        skipSpace();
        if (_p == _end) {
            if (_stack.empty())
                return fail(QJsonParseError::IllegalValue);
            return fail(_stack.back().object ? QJsonParseError::UnterminatedObject
                                             : QJsonParseError::UnterminatedArray);
        }
        switch (*_p) {
        case '{':
        case '[':
            return open(*_p == '{');
        case '"':
            return string(nullptr);
        case 't':
            return literal("true");
        case 'f':
            return literal("false");
        case 'n':
            return literal("null");
        default:
            return number();
        }
    }

    bool open(bool object)
    {
        if (_stack.size() == maxDepth)
            return fail(QJsonParseError::DeepNesting);
        ++_p;
        _stack.push_back(Container {object, {}});
        skipSpace();
        if (_p < _end && *_p == (object ? '}' : ']')) {
            ++_p;
            _stack.pop_back();
            return true;
        }
        _opened = true;
        return !object || member();
    }

    // Reads a key and its colon, up to the value.
    bool member()
    {
        if (_p == _end || *_p != '"')
            return fail(QJsonParseError::UnterminatedObject);
        QByteArray key;
        if (!string(&key))
            return false;
        QSet<QByteArray>& keys = _stack.back().keys;
        if (keys.contains(key)) {
            _duplicate = true;
            _key = key;
            return false;
        }
        keys.insert(key);
        skipSpace();
        if (_p == _end || *_p != ':')
            return fail(QJsonParseError::MissingNameSeparator);
        ++_p;
        skipSpace();
        if (_stack.size() == 1 && !_topKey.isNull() && key == _topKey) {
            _capturing = true;
            _captureStart = _p;
        }
        return true;
    }

    bool literal(const char* word)
    {
        for (const char* w = word; *w; ++w, ++_p) {
            if (_p == _end || *_p != *w)
                return fail(QJsonParseError::IllegalValue);
        }
        return true;
    }

    // -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?; like the framework,
    // anything else where a value should start counts as a bad number.
    bool number()
    {
        if (*_p == '-')
            ++_p;
        if (_p == _end || !isDigit(*_p))
            return fail(QJsonParseError::IllegalNumber);
        if (*_p == '0')
            ++_p;
        else
            skipDigits();
        if (_p < _end && *_p == '.') {
            ++_p;
            if (!skipDigits())
                return fail(QJsonParseError::IllegalNumber);
        }
        if (_p < _end && (*_p == 'e' || *_p == 'E')) {
            ++_p;
            if (_p < _end && (*_p == '+' || *_p == '-'))
                ++_p;
            if (!skipDigits())
                return fail(QJsonParseError::IllegalNumber);
        }
        // Inside an array or object the text cannot end with a number.
        return _p < _end || _stack.empty() || fail(QJsonParseError::TerminationByNumber);
    }

    bool skipDigits()
    {
        const char* start = _p;
        while (_p < _end && isDigit(*_p))
            ++_p;
        return _p != start;
    }

    // Reads a string from its opening quote; decodes it into out when given.
    bool string(QByteArray* out)
    {
        ++_p;
        const char* run = _p; // start of the bytes not yet copied to out
        while (true) {
            if (_p == _end)
                return fail(QJsonParseError::UnterminatedString);
            const uchar c = uchar(*_p);
            if (c == '"') {
                if (out)
                    out->append(run, int(_p - run));
                ++_p;
                return true;
            }
            if (c < 0x20) {
                _controlCharacter = true;
                return false;
            }
            if (c == '\\') {
                if (out)
                    out->append(run, int(_p - run));
                ++_p;
                if (!escape(out))
                    return false;
                run = _p;
            } else if (c < 0x80) {
                ++_p;
            } else if (!utf8Sequence()) {
                return fail(QJsonParseError::IllegalUTF8String);
            }
        }
    }

    // Reads an escape after its backslash.
    bool escape(QByteArray* out)
    {
        if (_p == _end)
            return fail(QJsonParseError::UnterminatedString);
        char decoded;
        switch (*_p++) {
        case '"':
            decoded = '"';
            break;
        case '\\':
            decoded = '\\';
            break;
        case '/':
            decoded = '/';
            break;
        case 'b':
            decoded = '\b';
            break;
        case 'f':
            decoded = '\f';
            break;
        case 'n':
            decoded = '\n';
            break;
        case 'r':
            decoded = '\r';
            break;
        case 't':
            decoded = '\t';
            break;
        case 'u':
            return unicodeEscape(out);
        default:
            return fail(QJsonParseError::IllegalEscapeSequence);
        }
        if (out)
            out->append(decoded);
        return true;
    }

    // Reads the four hex digits after "\u", and the low half that must
    // follow a high surrogate.
    bool unicodeEscape(QByteArray* out)
    {
        uint unit = 0;
        if (!hex4(&unit) || (unit >= 0xDC00 && unit <= 0xDFFF))
            return fail(QJsonParseError::IllegalEscapeSequence);
        uint codePoint = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            uint low = 0;
            if (_end - _p < 2 || _p[0] != '\\' || _p[1] != 'u')
                return fail(QJsonParseError::IllegalEscapeSequence);
            _p += 2;
            if (!hex4(&low) || low < 0xDC00 || low > 0xDFFF)
                return fail(QJsonParseError::IllegalEscapeSequence);
            codePoint = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
        if (out)
            appendUtf8(out, codePoint);
        return true;
    }

    bool hex4(uint* unit)
    {
        if (_end - _p < 4)
            return false;
        for (int i = 0; i < 4; ++i) {
            const int digit = hexValue(_p[i]);
            if (digit < 0)
                return false;
            *unit = (*unit << 4) | uint(digit);
        }
        _p += 4;
        return true;
    }

    // One multi-byte UTF-8 sequence: no overlong form, no surrogate, nothing
    // beyond U+10FFFF.
    bool utf8Sequence()
    {
        const uchar lead = uchar(*_p);
        int length;
        uint codePoint;
        uint least;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            codePoint = lead & 0x1F;
            least = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            codePoint = lead & 0x0F;
            least = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            codePoint = lead & 0x07;
            least = 0x10000;
        } else {
            return false;
        }
        if (_end - _p < length)
            return false;
        for (int i = 1; i < length; ++i) {
            const uchar next = uchar(_p[i]);
            if ((next & 0xC0) != 0x80)
                return false;
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        if (codePoint < least || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            return false;
        _p += length;
        return true;
    }

    void skipSpace()
    {
        while (_p < _end && (*_p == ' ' || *_p == '\t' || *_p == '\n' || *_p == '\r'))
            ++_p;
    }

    bool fail(QJsonParseError::ParseError error)
    {
        _error = error;
        return false;
    }

    const char* _p;
    const char* const _end;
    const QByteArray _topKey;
    std::vector<Container> _stack;
    bool _opened = false;
    bool _capturing = false;
    const char* _captureStart = nullptr;
    QJsonParseError::ParseError _error = QJsonParseError::NoError;
    bool _duplicate = false;
    QByteArray _key;
    bool _controlCharacter = false;
};

} // namespace

QString jsonTextFault(const QByteArray& utf8)
{
    return jsonTextFault(utf8, QString(), nullptr);
}

QString jsonTextFault(const QByteArray& utf8, const QString& topKey, QByteArray* topValue)
{
    if (topValue)
        topValue->clear();
    // The grammar refuses a raw NUL too; it is named on its own because it
    // means binary data rather than a slip in the JSON.
    if (utf8.contains('\0'))
        return QStringLiteral("NUL character in the JSON text");
    StrictJsonScanner scanner(utf8, topKey.isNull() ? QByteArray() : topKey.toUtf8());
    const QString fault = scanner.fault();
    if (fault.isEmpty() && topValue)
        *topValue = scanner.topValue;
    return fault;
}

} // namespace tarvesk::core
