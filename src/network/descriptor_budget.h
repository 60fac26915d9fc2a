#pragma once

namespace tarvesk::network {

// How many connections the descriptors of the process leave room for. Each
// connection holds one; the service's own files (the log it writes, pages
// read from the log, the USB boxes, the data package, profiles, settings)
// need some besides, whenever they are needed. A bound counted from the limit
// alone can be more than is free when the limit is low: a burst then takes
// the descriptors the log needs, and with it the log.
class DescriptorBudget
{
public:
    // Kept free beside the connections and the descriptors open now, however
    // low the limit: pages read up to eight log pieces at once, the log and a
    // data or profile file one each, libmicrohttpd a few of its own.
    static constexpr int OwnFilesReserve = 16;

    // The connections to take at once with the soft descriptor limit and the
    // descriptors open now: the bound for the limit, and no more than leaves
    // OwnFilesReserve free. 0 or less: too few descriptors to serve at all.
    static int connectionLimitNow();
    static int connectionLimit(unsigned long long descriptorLimit, int openDescriptors);
    static unsigned long long softLimit();
    // Descriptors open in this process now.
    static int openDescriptors();
};

} // namespace tarvesk::network
