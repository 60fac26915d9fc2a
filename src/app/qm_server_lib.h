#pragma once

class QApplication;

namespace tarvesk {

// Runs one pass of the service: application object, HTTP server object with
// the RPC server, HTTP server thread and the main event loop.
class QmServerLib
{
public:
    static constexpr const char* OrganizationDomain = "tarvesk.com";

    // Returns the code that ends the pass: 0 (quit or test mode up), 1
    // (start-up failed or the port is taken), 1337 (restart), or the event
    // loop's code.
    static int startAsService(QApplication* application, int port, bool daemon, bool test);

    // Application and organisation names, so that settings and the default
    // log path are the same in every pass of the restart loop.
    static void setApplicationIdentity();
};

} // namespace tarvesk
