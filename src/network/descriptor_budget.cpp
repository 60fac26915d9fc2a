#include "network/descriptor_budget.h"

#include "network/http_server.h"

#include <algorithm>
#include <cstring>

#include <dirent.h>
#include <sys/resource.h>

namespace tarvesk::network {

int DescriptorBudget::connectionLimitNow()
{
    return connectionLimit(softLimit(), openDescriptors());
}

int DescriptorBudget::connectionLimit(unsigned long long descriptorLimit, int openDescriptors)
{
    // An unlimited limit (RLIM_INFINITY) is the largest number there is.
    const long long limit = static_cast<long long>(std::min<unsigned long long>(descriptorLimit, 1ull << 40));
    const long long left = limit - openDescriptors - OwnFilesReserve;
    return int(std::min<long long>(HttpServer::connectionLimitFor(descriptorLimit), left));
}

unsigned long long DescriptorBudget::softLimit()
{
    rlimit limit {};
    // A limit that cannot be read is taken as the usual default.
    return ::getrlimit(RLIMIT_NOFILE, &limit) == 0 ? limit.rlim_cur : 1024;
}

int DescriptorBudget::openDescriptors()
{
#ifdef __APPLE__
    const char folder[] = "/dev/fd";
#else
    const char folder[] = "/proc/self/fd";
#endif
    DIR* entries = ::opendir(folder);
    if (!entries)
        return int(std::min<unsigned long long>(softLimit(), 1u << 30)); // none left to look with
    int count = 0;
    while (const dirent* entry = ::readdir(entries)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            ++count;
    }
    ::closedir(entries);
    return count - 1; // the folder's own while it was read
}

} // namespace tarvesk::network
