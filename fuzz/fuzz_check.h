// A check that stops the fuzzer with the failing condition, so libFuzzer
// keeps the input that broke an invariant.
#pragma once

#include <cstdio>
#include <cstdlib>

#define CHECK(cond)                                                                     \
  do {                                                                                  \
    if (!(cond)) {                                                                      \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);     \
      std::abort();                                                                     \
    }                                                                                   \
  } while (0)
