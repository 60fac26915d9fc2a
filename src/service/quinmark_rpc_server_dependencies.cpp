#include "service/quinmark_rpc_server.h"

namespace tarvesk::service {

// The concrete classes the running service uses. The product database and
// the USB universe join here as they are built.
QuinmarkRpcServer::Dependencies QuinmarkRpcServer::productionDependencies()
{
    return Dependencies();
}

} // namespace tarvesk::service
