#pragma once

#include <QString>
#include <QtGlobal>

// Fuzzed input makes the parsers warn on almost every run; printing those
// lines would cost more time than the parsing itself.
inline void silenceLogOnce()
{
    static const bool silenced = [] {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        return true;
    }();
    (void)silenced;
}
