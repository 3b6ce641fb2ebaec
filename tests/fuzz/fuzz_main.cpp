// The libFuzzer program of one target (VEXOR_FUZZ_TARGET names it); built by
// `make fuzz` only. The corpus replay of `make test` runs the same entries.
#include "fuzz/mdlFuzzEntries.h"

#include <cstdio>
#include <cstdlib>

namespace {
TFuzzEntry g_entry = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzInit(argc, argv);
    const TFuzzTarget* target = findFuzzTarget(VEXOR_FUZZ_TARGET);
    if (!target) {
        std::fprintf(stderr, "unknown fuzz target %s\n", VEXOR_FUZZ_TARGET);
        std::abort();
    }
    g_entry = target->entry;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return g_entry(data, size); }
