// libFuzzer target: one JSON-RPC request body through parse, execute and
// serialise. See fuzz/README.md for how to run it.

#include "rpc_fuzz_harness.h"

#include <cstdio>
#include <cstdlib>

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) { }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool installed = (qInstallMessageHandler(quiet), true);
    static tarvesk::fuzz::RpcFuzzHarness harness;
    (void)installed;
    const std::string fault = harness.run(data, size);
    if (!fault.empty()) {
        std::fprintf(stderr, "reply fault: %s\n", fault.c_str());
        std::abort();
    }
    return 0;
}
