// The Windows implementation's own waits: bounded, measured with GetTickCount
// (unsigned differences stay right across its wrap). Windows only.
#pragma once

#include <windows.h>

#include <vector>

#include "platform/scoped_handle.h"

namespace zeltra {

// What is left of timeoutMs counted from beganAt; INFINITE stays INFINITE.
inline DWORD remainingMs(DWORD beganAt, DWORD timeoutMs) {
  if (timeoutMs == INFINITE) return INFINITE;
  const DWORD elapsed = ::GetTickCount() - beganAt;
  return elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
}

// Waits until every handle is signalled or timeoutMs from beganAt has passed,
// in batches of what one wait takes. True when all were.
inline bool waitForAll(const std::vector<ScopedHandle>& handles, DWORD beganAt, DWORD timeoutMs) {
  for (size_t first = 0; first < handles.size(); first += MAXIMUM_WAIT_OBJECTS) {
    std::vector<HANDLE> batch;
    for (size_t i = first; i < handles.size() && batch.size() < MAXIMUM_WAIT_OBJECTS; ++i) {
      batch.push_back(handles[i].get());
    }
    if (::WaitForMultipleObjects(static_cast<DWORD>(batch.size()), batch.data(), TRUE,
                                 remainingMs(beganAt, timeoutMs)) >= WAIT_OBJECT_0 + batch.size()) {
      return false;
    }
  }
  return true;
}

}  // namespace zeltra
