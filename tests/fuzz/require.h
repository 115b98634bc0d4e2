// The fuzz targets' check: a property that does not hold aborts, and
// libFuzzer keeps the input that broke it.
#pragma once

#include <cstdlib>

inline void require(bool condition) {
  if (!condition) std::abort();
}
