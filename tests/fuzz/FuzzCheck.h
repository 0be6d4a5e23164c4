#pragma once

#include <cstdio>
#include <cstdlib>

// A property a harness checks on every input: a failure aborts, which
// libFuzzer reports as a crash and the replay as a failed test.
#define FUZZ_CHECK(cond)                                                                  \
    do {                                                                                  \
        if (!(cond)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)
