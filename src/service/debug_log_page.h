#pragma once

#include "network/http_body_source.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

namespace tarvesk::service {

// The bytes of a "/debug" page, made from the log file while they are sent:
// the page frame around the log's lines (all, or those of one message type),
// each HTML-escaped and followed by "<br>", as UTF-8.
//
// A full log makes a page of tens of megabytes; any web page may ask for it
// (the replies allow every origin), as often and as many times at once as it
// likes. Made whole per request, the pages cost memory without bound; made a
// few kilobytes at a time, each costs a small buffer. The log is opened only
// to read a piece of it, and only a few pieces of all pages are read at once,
// so that pages hold no descriptors while their clients read (or stall).
//
// The file is read as a text stream of UTF-8 (lines end at "\n"; carriage
// returns are dropped), so that the page keeps the bytes a whole-text read
// of the log gives. Lines appended while the page is sent are shown; a
// rotation of the log meanwhile ends the page where the rotation came, closed
// as at the end of the log after a line that says so (RotatedNote), and
// nothing logged after the rotation is shown.
class DebugLogPage : public network::HttpBodySource
{
public:
    // The page of every line (wholeFile), or of the lines whose first or
    // second blank-separated word is typeName. Null when the log cannot be read.
    static std::unique_ptr<DebugLogPage> open(
        const QString& logPath, bool wholeFile, const QString& typeName);
    ~DebugLogPage() override;

    qint64 read(char* data, qint64 maxSize) override;

    static const char Head[];
    static const char Tail[];
    // The last line of a page that a rotation of the log ended.
    static const char RotatedNote[];

    // Called by every read of a piece of the log, after the file was read and
    // before the read is checked against rotations; for tests that stall a
    // reader there. Set while no page is read.
    static void setPieceReadHook(std::function<void()> hook);

private:
    class LogText;
    enum class Stage { Head, Lines, Tail, Done };

    DebugLogPage(bool wholeFile, const QString& typeName);
    // Appends the next piece of the page to pending; false when none is left.
    bool makeMore();
    void makeWholeFileLines();
    void makeFilteredLines();
    // Ends the lines of the page, with RotatedNote when a rotation ended them.
    void endLines();
    // Whether the next line of the scout matches, its length in characters
    // and whether a line end follows it; false at the end of the log.
    bool scoutLine(qint64* length, bool* ended, bool* matches);
    // What a character becomes on the page, "<br>" for a line end; empty: itself.
    static QLatin1String escapeOf(QChar c);
    // The character as it goes on the page inside a line.
    void appendEscaped(QChar c);
    void flushText(bool last);

    const bool wholeFile;
    const QString typeName;
    std::unique_ptr<LogText> text; // the characters that go on the page
    std::unique_ptr<LogText> scout; // reads a line ahead of text to decide whether it is shown
    Stage stage = Stage::Head;
    bool lineOpen = false; // whole file: characters of the current line went on the page;
                           // filtered: the scout's current line is being followed
    qint64 lineLeft = 0; // filtered: characters of the current line still to follow
    bool lineEnded = false; // filtered: a line end follows the current line
    bool lineShown = false; // filtered: the current line goes on the page
    bool lineBegun = false; // filtered: characters of the current line were read
    QString escaped; // escaped characters not yet encoded
    QByteArray pending; // bytes of the page not yet read
    qint64 pendingAt = 0;
};

} // namespace tarvesk::service
