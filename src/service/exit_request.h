#pragma once

#include <optional>

namespace tarvesk::service {

// The exit code that a request ("application.quit", "application.restart")
// asked the main event loop to end with. The loop's end is posted to the main
// thread; a request answered after the loop ended (while the HTTP server lets
// its accepted connections finish) would be lost with it, so the start-up
// reads what was asked here as well.
class ExitRequest
{
public:
    // Records the code and posts the main event loop's end with it.
    static void ask(int code);
    // The code asked last since the previous take(), and forgets it.
    static std::optional<int> take();
};

} // namespace tarvesk::service
