// Where a step of the check records, and how it knows the recording has
// begun: shared by the real recording (step 4) and the framed window (step 7).
// Windows only.
#pragma once

#include <windows.h>

#include <string>

#include "check/check_steps.h"
#include "check/interruption.h"

namespace zeltra::check {

struct OutputPlace {
  std::string folder;  // ending in a backslash
  std::string file;
  bool ownFolder = false;  // created by the check, removed with the file
};

// The output folder given on the command line, or a folder of the check's
// own in the temporary folder. A file of that name left by an earlier run
// (--keep) is removed first, so that its size cannot pass for this run's
// first growth.
OutputPlace prepareOutput(const CheckSetup& setup, const std::string& fileName);

// Removes the file, and the folder where the check made it, unless keep.
void removeOutput(Report& report, const OutputPlace& place, bool keep);

// Whether the file exists, is not a folder and holds a byte.
bool hasGrown(const std::string& file);

// How often a step's polling waits look again.
inline constexpr DWORD kPollMs = 20;

// Polls until condition holds, limitMs has passed or the check is
// interrupted; false on the last two.
template <typename Condition>
bool waitUntil(DWORD limitMs, Condition condition) {
  const DWORD from = ::GetTickCount();
  while (!condition()) {
    if (::GetTickCount() - from >= limitMs) return false;
    if (!pauseUnlessInterrupted(kPollMs)) return false;
  }
  return true;
}

}  // namespace zeltra::check
