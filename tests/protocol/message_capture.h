#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Collects the messages logged while it lives, so that tests can check the
// warnings a refusal must produce. Not thread-safe against concurrent loggers
// beyond what the message handler itself guarantees.
class MessageCapture
{
public:
    MessageCapture();
    ~MessageCapture();
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    const QStringList& warnings() const { return _warnings; }
    bool hasWarningContaining(const QString& text) const;
    void clear() { _warnings.clear(); }

private:
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& message);

    QStringList _warnings; // warning and critical messages, in order
    QtMessageHandler _previous;
};
