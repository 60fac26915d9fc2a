#include "service/quinmark_rpc_server.h"

#include "service/database/data1_database.h"

namespace tarvesk::service {

// The concrete classes the running service uses. The product database and
// the USB universe join here as they are built.
QuinmarkRpcServer::Dependencies QuinmarkRpcServer::productionDependencies()
{
    Dependencies dependencies;
    dependencies.database = [] { return std::make_shared<Data1Database>(); };
    return dependencies;
}

} // namespace tarvesk::service
