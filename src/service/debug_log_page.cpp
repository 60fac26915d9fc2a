#include "service/debug_log_page.h"

#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <cstring>

namespace tarvesk::service {

namespace {

// Characters read from the log at once, and escaped characters encoded at once.
constexpr int ReadCharacters = 8192;
constexpr int PieceCharacters = 8192;
constexpr int LongestEscape = 6; // "&quot;"

} // namespace

const char DebugLogPage::Head[] = "<!DOCTYPE html>\n"
                                  "<html lang=\"en\">\n"
                                  "<head>\n"
                                  "<meta charset=\"utf-8\">\n"
                                  "<title>* DEBUG LOGGER *</title>\n"
                                  // Absolute, so that the filtered pages below "/debug/" find it too.
                                  "<link rel=\"stylesheet\" href=\"/data/css/log.css\" type=\"text/css\" />"
                                  "</head>\n"
                                  "<body>\n";
const char DebugLogPage::Tail[] = "</body>\n"
                                  "</html>\n";

// The log's characters one at a time, decoded a few thousand at once.
class DebugLogPage::LogText
{
public:
    bool open(const QString& path)
    {
        file.setFileName(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return false;
        stream.setDevice(&file);
        stream.setCodec("UTF-8");
        return true;
    }

    // The next character; false at the end of the log.
    bool next(QChar* c)
    {
        if (at == chunk.size() && !refill())
            return false;
        *c = chunk.at(at++);
        return true;
    }

    // The characters read and not yet taken, [begin, end); empty at the end
    // of the log. take() takes them all.
    bool rest(const QChar** begin, const QChar** end)
    {
        if (at == chunk.size() && !refill())
            return false;
        *begin = chunk.constData() + at;
        *end = chunk.constData() + chunk.size();
        return true;
    }
    void take() { at = chunk.size(); }

private:
    bool refill()
    {
        chunk = stream.read(ReadCharacters);
        at = 0;
        return !chunk.isEmpty();
    }

    QFile file;
    QTextStream stream;
    QString chunk;
    int at = 0;
};

std::unique_ptr<DebugLogPage> DebugLogPage::open(
    const QString& logPath, bool wholeFile, const QString& typeName)
{
    std::unique_ptr<DebugLogPage> page(new DebugLogPage(wholeFile, typeName));
    page->text = std::make_unique<LogText>();
    if (!page->text->open(logPath))
        return nullptr;
    if (!wholeFile) {
        page->scout = std::make_unique<LogText>();
        if (!page->scout->open(logPath))
            return nullptr;
    }
    return page;
}

DebugLogPage::DebugLogPage(bool wholeFile, const QString& typeName)
    : wholeFile(wholeFile)
    , typeName(typeName)
{
    // Kept for the whole page: emptied, not freed, after each piece.
    escaped.reserve(LongestEscape * ReadCharacters + 16);
    pending.reserve(3 * (LongestEscape * ReadCharacters + 16) + int(sizeof Head));
}

DebugLogPage::~DebugLogPage() = default;

qint64 DebugLogPage::read(char* data, qint64 maxSize)
{
    qint64 written = 0;
    while (written < maxSize) {
        if (pendingAt == pending.size()) {
            pending.resize(0);
            pendingAt = 0;
            if (!makeMore())
                break;
            continue;
        }
        const qint64 size = std::min(maxSize - written, qint64(pending.size()) - pendingAt);
        std::memcpy(data + written, pending.constData() + pendingAt, size_t(size));
        pendingAt += size;
        written += size;
    }
    return written;
}

bool DebugLogPage::makeMore()
{
    switch (stage) {
    case Stage::Head:
        pending.append(Head);
        stage = Stage::Lines;
        return true;
    case Stage::Lines:
        if (wholeFile)
            makeWholeFileLines();
        else
            makeFilteredLines();
        return true;
    case Stage::Tail:
        pending.append(Tail);
        stage = Stage::Done;
        return true;
    case Stage::Done:
        break;
    }
    return false;
}

void DebugLogPage::makeWholeFileLines()
{
    const QChar* begin = nullptr;
    const QChar* end = nullptr;
    if (!text->rest(&begin, &end)) {
        // A last line without a line end is a line too.
        if (lineOpen)
            escaped += QLatin1String("<br>");
        lineOpen = false;
        flushText(true);
        stage = Stage::Tail;
        return;
    }
    // Runs of characters that need no escaping are copied whole.
    const QChar* run = begin;
    for (const QChar* at = begin; at != end; ++at) {
        const QLatin1String replacement = escapeOf(*at);
        if (replacement.size() == 0)
            continue;
        escaped.append(run, int(at - run));
        escaped += replacement;
        run = at + 1;
    }
    escaped.append(run, int(end - run));
    lineOpen = *(end - 1) != QLatin1Char('\n');
    text->take();
    flushText(false);
}

void DebugLogPage::makeFilteredLines()
{
    QChar c;
    while (escaped.size() < PieceCharacters) {
        if (!lineOpen) {
            if (!scoutLine(&lineLeft, &lineEnded, &lineShown)) {
                flushText(true);
                stage = Stage::Tail;
                return;
            }
            lineOpen = true;
        }
        if (lineLeft > 0) {
            if (!text->next(&c)) {
                // The log was cut short (rotated) since the scout read the line.
                flushText(true);
                stage = Stage::Tail;
                return;
            }
            --lineLeft;
            if (lineShown)
                appendEscaped(c);
            continue;
        }
        if (lineEnded)
            text->next(&c); // the line end
        if (lineShown)
            escaped += QLatin1String("<br>");
        lineOpen = false;
    }
    flushText(false);
}

bool DebugLogPage::scoutLine(qint64* length, bool* ended, bool* matches)
{
    *length = 0;
    *ended = false;
    *matches = false;
    int word = 0;
    QString current; // the start of the current word, one character longer than the type name at most
    const auto endWord = [&] {
        // The second word carries the type of lines with a category prefix
        // ("rpc.server: INFO || ...").
        if (word < 2 && current == typeName)
            *matches = true;
        ++word;
        current.clear();
    };
    QChar c;
    bool any = false;
    while (scout->next(&c)) {
        any = true;
        if (c == QLatin1Char('\n')) {
            *ended = true;
            break;
        }
        ++*length;
        if (c == QLatin1Char(' '))
            endWord();
        else if (word < 2 && current.size() <= typeName.size())
            current += c;
    }
    if (!any)
        return false;
    endWord();
    return true;
}

QLatin1String DebugLogPage::escapeOf(QChar c)
{
    switch (c.unicode()) {
    case '\n':
        return QLatin1String("<br>");
    case '<':
        return QLatin1String("&lt;");
    case '>':
        return QLatin1String("&gt;");
    case '&':
        return QLatin1String("&amp;");
    case '"':
        return QLatin1String("&quot;");
    default:
        return QLatin1String();
    }
}

void DebugLogPage::appendEscaped(QChar c)
{
    const QLatin1String replacement = escapeOf(c);
    if (replacement.size() == 0)
        escaped += c;
    else
        escaped += replacement;
}

void DebugLogPage::flushText(bool last)
{
    // A surrogate pair is encoded whole: its first half waits for the second.
    const bool holdBack = !last && !escaped.isEmpty() && escaped.at(escaped.size() - 1).isHighSurrogate();
    if (holdBack) {
        const QChar high = escaped.at(escaped.size() - 1);
        escaped.chop(1);
        pending += escaped.toUtf8();
        escaped.resize(0);
        escaped += high;
        return;
    }
    pending += escaped.toUtf8();
    escaped.resize(0);
}

} // namespace tarvesk::service
