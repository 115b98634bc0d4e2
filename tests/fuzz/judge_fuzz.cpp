// Fuzzes the caller header's AVI judge with what any right judgement keeps:
// it reads a bounded number of headers however the bytes are made, and a file
// it calls finished is finished exactly there, so that no shorter or longer
// file of the same bytes is called finished too.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "caller/zeltra_screentool.h"
#include "tests/fuzz/require.h"

namespace {

using zeltra::caller::detail::ContainerFinish;
using zeltra::caller::detail::judgeAvi;

// The judgement of the first size bytes, and how many reads it took.
ContainerFinish judge(const uint8_t* data, size_t size, int& reads) {
  reads = 0;
  return judgeAvi(size, [&](std::uint64_t offset, unsigned char* out, size_t n) {
    ++reads;
    if (offset > size || size - offset < n) return false;
    std::memcpy(out, data + offset, n);
    return true;
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace detail = zeltra::caller::detail;
  int reads = 0;
  const ContainerFinish finish = judge(data, size, reads);
  require(reads <= 2 + detail::kMostChunksInFirstRiff + detail::kMostRiffs);
  if (finish == ContainerFinish::kFinished && size > 0) {
    int ignored = 0;
    require(judge(data, size - 1, ignored) != ContainerFinish::kFinished);
    require(judge(data, size / 2, ignored) != ContainerFinish::kFinished);
  }
  return 0;
}
