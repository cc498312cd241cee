#pragma once
#include <cstdio>
#include <cstdlib>

// A broken property is reported like a crash, so that libFuzzer keeps the input and the
// replay tests fail on it.
#define FUZZ_CHECK(condition)                                                                                                                        \
    do {                                                                                                                                             \
        if (!(condition)) {                                                                                                                          \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition);                                                    \
            std::abort();                                                                                                                            \
        }                                                                                                                                            \
    } while (0)
