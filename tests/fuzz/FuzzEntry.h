// The libFuzzer entry of one target: runs its check and turns a failed
// invariant into a crash that the fuzzer records.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/FuzzChecks.h"

#define RIMBREL_FUZZ_ENTRY(check)                                                  \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) { \
        const std::string failure = check(data, size);                             \
        if (!failure.empty()) {                                                    \
            std::fprintf(stderr, "invariant broken: %s\n", failure.c_str());       \
            std::fflush(stderr);                                                   \
            std::abort();                                                          \
        }                                                                          \
        return 0;                                                                  \
    }
