#pragma once
#include <cstdio>
#include <cstdlib>

// A broken property is reported like a crash, so that libFuzzer keeps the input and the
// replay tests fail on it.
[[noreturn]] inline void FuzzFailed(const char *file, int line, const char *property)
{
    std::fprintf(stderr, "%s:%d: property failed: %s\n", file, line, property);
    std::abort();
}
#define FUZZ_CHECK(condition) ((condition) ? void() : FuzzFailed(__FILE__, __LINE__, #condition))
