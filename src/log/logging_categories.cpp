#include "log/logging_categories.h"

namespace tarvesk::service {

#define QM_DEFINE_CATEGORY(function, name)                                                                   \
    const QLoggingCategory& function()                                                                       \
    {                                                                                                        \
        static const QLoggingCategory category(name);                                                        \
        return category;                                                                                     \
    }

QM_DEFINE_CATEGORY(database, "database")
QM_DEFINE_CATEGORY(firmware, "firmware")
QM_DEFINE_CATEGORY(versioning, "version")
QM_DEFINE_CATEGORY(loggerFileManager, "file.manager")
QM_DEFINE_CATEGORY(loggerGlog, "logger.glog")
QM_DEFINE_CATEGORY(loggerCommonApp, "commonapp")
QM_DEFINE_CATEGORY(lightShape, "lightshape")
QM_DEFINE_CATEGORY(rpcServerMethodFactory, "rpc.server.method.factory")
QM_DEFINE_CATEGORY(rpcServerMethod, "rpc.server.method")
QM_DEFINE_CATEGORY(rpcServer, "rpc.server")
QM_DEFINE_CATEGORY(coreInterface, "core.interface")
QM_DEFINE_CATEGORY(profileType, "profile.type")
QM_DEFINE_CATEGORY(loggerQmServer, "qmserver")
QM_DEFINE_CATEGORY(libraryServiceFile, "library.service.file")

#undef QM_DEFINE_CATEGORY

QString oneLogLine(QString text)
{
    for (QChar& c : text) {
        const ushort u = c.unicode();
        if (u == '\r' || u == '\n' || u == 0x0B || u == 0x0C || u == 0x85 || u == 0x2028 || u == 0x2029)
            c = QLatin1Char(' ');
    }
    return text;
}

} // namespace tarvesk::service
