#include "service/exit_request.h"

#include <QCoreApplication>

#include <mutex>

namespace tarvesk::service {

namespace {

std::mutex askedMutex;
std::optional<int> asked; // guarded by askedMutex

} // namespace

void ExitRequest::ask(int code)
{
    {
        std::lock_guard<std::mutex> lock(askedMutex);
        asked = code;
    }
    // Posted to the main thread, whose event loop a connection thread must not
    // touch; a request that comes before the loop runs is kept until it does.
    if (QCoreApplication* application = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            application, [code] { QCoreApplication::exit(code); }, Qt::QueuedConnection);
}

std::optional<int> ExitRequest::take()
{
    std::lock_guard<std::mutex> lock(askedMutex);
    std::optional<int> code;
    code.swap(asked);
    return code;
}

} // namespace tarvesk::service
