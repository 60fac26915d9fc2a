#pragma once

#include <QLoggingCategory>

namespace tarvesk::service {

// Each category is a function-local static, created on first use, so that it
// can be used from any thread and from static initialisers alike.
const QLoggingCategory& database();
const QLoggingCategory& firmware();
const QLoggingCategory& versioning();
const QLoggingCategory& loggerFileManager();
const QLoggingCategory& loggerGlog();
const QLoggingCategory& loggerCommonApp();
const QLoggingCategory& lightShape();
const QLoggingCategory& rpcServerMethodFactory();
const QLoggingCategory& rpcServerMethod();
const QLoggingCategory& rpcServer();
const QLoggingCategory& coreInterface();
const QLoggingCategory& profileType();
const QLoggingCategory& loggerQmServer();
const QLoggingCategory& libraryServiceFile();

// A client's text as one line of the log: CR, LF and the other line breaks
// become spaces, so that the text cannot start a line of its own.
QString oneLogLine(QString text);

} // namespace tarvesk::service

// Messages meant for the persistent log start with this marker.
#define GLOG_PREFIX " *GLOG* "
