#include "message_capture.h"

namespace {
MessageCapture* g_capture = nullptr;
}

MessageCapture::MessageCapture()
{
    g_capture = this;
    _previous = qInstallMessageHandler(&MessageCapture::handler);
}

MessageCapture::~MessageCapture()
{
    qInstallMessageHandler(_previous);
    g_capture = nullptr;
}

bool MessageCapture::hasWarningContaining(const QString& text) const
{
    for (const QString& w : _warnings) {
        if (w.contains(text))
            return true;
    }
    return false;
}

void MessageCapture::handler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (g_capture && (type == QtWarningMsg || type == QtCriticalMsg))
        g_capture->_warnings.append(message);
}
