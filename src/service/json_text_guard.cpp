#include "service/json_text_guard.h"

#include <QSet>

namespace tarvesk::service {

namespace {

// The nesting at which the framework's parser gives up, so that the scan
// never goes deeper than the parse it protects.
constexpr int maxDepth = 1024;

class KeyScanner
{
public:
    explicit KeyScanner(const QByteArray& text)
        : _p(text.constData())
        , _end(text.constData() + text.size())
    { }

    // False when the scan stopped: at a repeated key or where the text
    // stops being JSON.
    bool value(int depth)
    {
        skipSpace();
        if (_p == _end)
            return false;
        switch (*_p) {
        case '{':
            return depth < maxDepth && object(depth + 1);
        case '[':
            return depth < maxDepth && array(depth + 1);
        case '"':
            return string(nullptr);
        default:
            return scalar();
        }
    }

    bool found = false;
    QString key;

private:
    bool object(int depth)
    {
        ++_p;
        QSet<QString> keys;
        skipSpace();
        if (_p < _end && *_p == '}') {
            ++_p;
            return true;
        }
        while (true) {
            skipSpace();
            QString name;
            if (_p == _end || *_p != '"' || !string(&name))
                return false;
            if (keys.contains(name)) {
                found = true;
                key = name;
                return false;
            }
            keys.insert(name);
            skipSpace();
            if (_p == _end || *_p != ':')
                return false;
            ++_p;
            if (!value(depth))
                return false;
            skipSpace();
            if (_p < _end && *_p == ',') {
                ++_p;
                continue;
            }
            if (_p < _end && *_p == '}') {
                ++_p;
                return true;
            }
            return false;
        }
    }

    bool array(int depth)
    {
        ++_p;
        skipSpace();
        if (_p < _end && *_p == ']') {
            ++_p;
            return true;
        }
        while (true) {
            if (!value(depth))
                return false;
            skipSpace();
            if (_p < _end && *_p == ',') {
                ++_p;
                continue;
            }
            if (_p < _end && *_p == ']') {
                ++_p;
                return true;
            }
            return false;
        }
    }

    // Reads a string from its opening quote; decodes it into out when given.
    bool string(QString* out)
    {
        ++_p;
        const char* run = _p; // start of the bytes not yet decoded
        while (_p < _end) {
            const char c = *_p;
            if (c == '"') {
                if (out)
                    out->append(QString::fromUtf8(run, int(_p - run)));
                ++_p;
                return true;
            }
            if (c != '\\') {
                ++_p;
                continue;
            }
            if (out)
                out->append(QString::fromUtf8(run, int(_p - run)));
            if (++_p == _end)
                return false;
            const char escape = *_p++;
            QChar decoded;
            switch (escape) {
            case '"':
            case '\\':
            case '/':
                decoded = QLatin1Char(escape);
                break;
            case 'b':
                decoded = QLatin1Char('\b');
                break;
            case 'f':
                decoded = QLatin1Char('\f');
                break;
            case 'n':
                decoded = QLatin1Char('\n');
                break;
            case 'r':
                decoded = QLatin1Char('\r');
                break;
            case 't':
                decoded = QLatin1Char('\t');
                break;
            case 'u': {
                if (_end - _p < 4)
                    return false;
                bool ok = false;
                const ushort unit = QByteArray(_p, 4).toUShort(&ok, 16);
                if (!ok)
                    return false;
                decoded = QChar(unit);
                _p += 4;
                break;
            }
            default:
                return false;
            }
            if (out)
                out->append(decoded);
            run = _p;
        }
        return false;
    }

    bool scalar()
    {
        const char* start = _p;
        while (_p < _end && *_p != ',' && *_p != ']' && *_p != '}' && *_p != ' ' && *_p != '\t' && *_p != '\n'
            && *_p != '\r')
            ++_p;
        return _p != start;
    }

    void skipSpace()
    {
        while (_p < _end && (*_p == ' ' || *_p == '\t' || *_p == '\n' || *_p == '\r'))
            ++_p;
    }

    const char* _p;
    const char* const _end;
};

} // namespace

QString jsonTextFault(const QByteArray& utf8)
{
    if (utf8.contains('\0'))
        return QStringLiteral("NUL character in the JSON text");
    QString key;
    if (findDuplicateJsonKey(utf8, &key))
        return QStringLiteral("Duplicate key \"%1\" in a JSON object").arg(key);
    return QString();
}

bool findDuplicateJsonKey(const QByteArray& utf8, QString* key)
{
    KeyScanner scanner(utf8);
    scanner.value(0);
    if (scanner.found && key)
        *key = scanner.key;
    return scanner.found;
}

} // namespace tarvesk::service
