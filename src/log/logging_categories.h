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

} // namespace tarvesk::service

// Messages meant for the persistent log start with this marker.
#define GLOG_PREFIX " *GLOG* "
