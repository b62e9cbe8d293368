#pragma once

// What a fuzz target does when a property fails: says which, then aborts, which libFuzzer
// reports as a crash with the stack and the input that broke it.

#include <cstdio>
#include <cstdlib>

namespace vantor::fuzz {

inline void require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", property);
  std::abort();
}

}  // namespace vantor::fuzz
