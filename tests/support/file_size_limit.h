#pragma once

#include <csignal>
#include <sys/resource.h>

namespace tarvesk::test {

// While it lives, no file of this process may grow beyond the given size: a
// write past it fails (EFBIG) instead of raising SIGXFSZ. A way to make a write
// fail that also works for root, whom read-only folders do not stop.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        _oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &_old);
        rlimit limited = _old;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &_old);
        std::signal(SIGXFSZ, _oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit _old {};
    void (*_oldHandler)(int) = nullptr;
};

} // namespace tarvesk::test
