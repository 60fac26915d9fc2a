#include "service/debug_log_page.h"

#include "log/qdebug_logger.h"

#include <QFile>
#include <QSemaphore>
#include <QTextCodec>
#include <QTextDecoder>

#include <algorithm>
#include <cstring>
#include <functional>

namespace tarvesk::service {

namespace {

// Bytes read from the log at once (as many as a text stream reads at once, so
// that broken UTF-8 across a block end decodes as it does there), characters
// escaped at once, and escaped characters encoded at once.
constexpr int ReadBytes = 16384;
constexpr int ReadCharacters = 8192;
constexpr int PieceCharacters = 8192;
constexpr int LongestEscape = 6; // "&quot;"

// Log files the pages of all clients hold open at once. A page opens the log
// only to read a piece of it; without a bound, as many pieces as connections
// could be read at the same moment, and the descriptors kept for the
// service's own files (the log it writes among them) would not be enough.
constexpr int PageFilesAtOnce = 8;
QSemaphore s_pageFiles(PageFilesAtOnce);

std::function<void()> s_pieceRead; // set while no page is read

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
const char DebugLogPage::RotatedNote[]
    = "*** The log was rotated while this page was read: the page ends here. The rest of the old log is "
      "in its backup file (.bak); a new page shows the new log. ***<br>";

void DebugLogPage::setPieceReadHook(std::function<void()> hook)
{
    s_pieceRead = std::move(hook);
}

// The log's characters one at a time, decoded a few thousand at once, as a
// text stream of UTF-8 over the file opened as text reads them. The file is
// open only while a piece of it is read, so that a page whose client reads
// slowly, or not at all, holds no descriptor.
class DebugLogPage::LogText
{
public:
    LogText(const QString& path, quint64 rotations)
        : path(path)
        , rotations(rotations)
    { }

    // Whether the log can be opened now; the rotations so far in rotations.
    static bool isReadable(const QString& path, quint64* rotations)
    {
        const QSemaphoreReleaser slot = takeFileSlot();
        *rotations = QDebugLogger::rotations();
        QFile file(path);
        return file.open(QIODevice::ReadOnly);
    }

    // Whether the page ends because the log was rotated since it began.
    bool wasRotated() const { return rotated; }

    // The next character; false at the end of the log.
    bool next(QChar* c)
    {
        if (at == chunk.size() && !refill())
            return false;
        *c = chunk.at(at++);
        return true;
    }

    // The next characters read and not yet taken, [begin, end), a few
    // thousand at most; empty at the end of the log. take() takes them.
    bool rest(const QChar** begin, const QChar** end)
    {
        if (at == chunk.size() && !refill())
            return false;
        restEnd = std::min(chunk.size(), at + ReadCharacters);
        *begin = chunk.constData() + at;
        *end = chunk.constData() + restEnd;
        return true;
    }
    void take() { at = restEnd; }

private:
    static QSemaphoreReleaser takeFileSlot()
    {
        // Held only while a piece is read from the disk, never while a client is waited for.
        s_pageFiles.acquire();
        return QSemaphoreReleaser(s_pageFiles);
    }

    bool refill()
    {
        chunk.resize(0);
        at = 0;
        while (chunk.isEmpty() && !ended) {
            if (!readPiece()) {
                // The end stays the end: text logged later, or a log begun
                // again after a rotation, is not this page's.
                ended = true;
                break;
            }
            if (!decoder) {
                // As a text stream does: a byte-order mark at the start may name another encoding.
                QTextCodec* codec = QTextCodec::codecForUtfText(bytes, QTextCodec::codecForName("UTF-8"));
                decoder.reset(codec->makeDecoder());
            }
            chunk = decoder->toUnicode(bytes);
            // Read as text, the file's carriage returns are dropped.
            chunk.remove(QLatin1Char('\r'));
        }
        return !chunk.isEmpty();
    }

    // The next bytes of the log into bytes; false at its end, when it cannot
    // be read, or when it was rotated since the page began. A rotation counts
    // itself before it empties the file: a read that ends before the count
    // changed holds only text logged before the rotation that ends the page,
    // whenever that comes. Nothing is locked, so that a rotation (and every
    // thread that logs behind it) never waits for a page however slow its read.
    bool readPiece()
    {
        bytes.resize(ReadBytes);
        qint64 size = 0;
        {
            const QSemaphoreReleaser slot = takeFileSlot();
            if (QDebugLogger::rotations() == rotations) {
                QFile file(path);
                if (file.open(QIODevice::ReadOnly) && file.seek(offset))
                    size = std::max<qint64>(file.read(bytes.data(), ReadBytes), 0);
            }
            if (s_pieceRead)
                s_pieceRead();
        }
        if (QDebugLogger::rotations() != rotations) {
            rotated = true;
            size = 0;
        }
        bytes.resize(int(size));
        offset += size;
        return size > 0;
    }

    const QString path;
    const quint64 rotations; // the log's rotations when the page began
    qint64 offset = 0; // of the next byte to read
    bool ended = false;
    bool rotated = false;
    std::unique_ptr<QTextDecoder> decoder;
    QByteArray bytes; // the piece last read
    QString chunk;
    int at = 0;
    int restEnd = 0;
};

std::unique_ptr<DebugLogPage> DebugLogPage::open(
    const QString& logPath, bool wholeFile, const QString& typeName)
{
    quint64 rotations = 0;
    if (!LogText::isReadable(logPath, &rotations))
        return nullptr;
    std::unique_ptr<DebugLogPage> page(new DebugLogPage(wholeFile, typeName));
    page->text = std::make_unique<LogText>(logPath, rotations);
    if (!wholeFile)
        page->scout = std::make_unique<LogText>(logPath, rotations);
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
        endLines();
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
                endLines();
                return;
            }
            lineOpen = true;
            lineBegun = false;
        }
        if (lineLeft > 0) {
            if (!text->next(&c)) {
                // The log was rotated since the scout read the line: the
                // page ends here, what it shows of the line closed as any
                // other line (a line of which nothing was read is not shown).
                if (lineShown && lineBegun)
                    escaped += QLatin1String("<br>");
                endLines();
                return;
            }
            --lineLeft;
            lineBegun = true;
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

void DebugLogPage::endLines()
{
    // A page cut short says so: its last line may end in the middle.
    if (text->wasRotated() || (scout && scout->wasRotated()))
        escaped += QLatin1String(RotatedNote);
    flushText(true);
    stage = Stage::Tail;
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
