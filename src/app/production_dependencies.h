#pragma once

#include "service/quinmark_rpc_server.h"

namespace tarvesk {

// What the running service plugs into the RPC server: the data-package
// database and the USB universe on the libusb transport. Also registers the
// types that only the production feature scripts need.
service::QuinmarkRpcServer::Dependencies productionRpcServerDependencies();

} // namespace tarvesk
