#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

// What every target shares: the input as bytes, and a check whose failure
// aborts, which libFuzzer reports as a crash and the replay as a failed run.

inline std::string_view fuzz_bytes(const unsigned char* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)
