#pragma once

// The entry points shared by the libFuzzer programs (fuzz_main.cpp, one per
// target, built by `make fuzz`) and the corpus replay of `make test`. Each
// takes arbitrary bytes, runs them through one reader or state machine of the
// core as the program would, and checks what must hold whatever the input;
// a broken rule aborts with a message, like a sanitizer report.

#include <cstddef>
#include <cstdint>
#include <vector>

using TFuzzEntry = int (*)(const uint8_t* data, size_t size);

struct TFuzzTarget {
    const char* name; // also the corpus folder tests/fuzz/corpus/<name>
    TFuzzEntry entry;
};

[[nodiscard]] const std::vector<TFuzzTarget>& fuzzTargets();
[[nodiscard]] const TFuzzTarget* findFuzzTarget(const char* name);

// Creates the application object when there is none (the fuzz programs).
void fuzzInit(int* argc, char*** argv);
