// Running the stop command's interpreter so that its wait always ends.
//
// The interpreter starts suspended so that nothing it starts can escape its
// job: children join their parent's job at creation, and it creates none
// before it runs. Breaking away from the launcher's own job lets the new job
// be a first-level one, which every Windows version accepts.
#include "platform/interpreter_run.h"

#include <algorithm>

namespace zeltra {

InterpreterRun runInterpreter(InterpreterSteps& steps, uint32_t boundMs, uint32_t goneWaitMs) {
  InterpreterSteps::Start start = steps.startSuspended(/*breakaway=*/true);
  if (start == InterpreterSteps::Start::kBreakawayRefused) {
    start = steps.startSuspended(/*breakaway=*/false);
  }
  if (start != InterpreterSteps::Start::kStarted) {
    return InterpreterRun::kNotStarted;
  }
  const bool contained = steps.containInOwnJob();
  steps.resume();
  if (steps.waitForExit(boundMs)) {
    return InterpreterRun::kReturned;
  }
  const bool gone = contained ? steps.endJob(goneWaitMs) : steps.endProcessTree(goneWaitMs);
  return gone ? InterpreterRun::kEndedAtBound : InterpreterRun::kStillRunningAtBound;
}

std::vector<uint32_t> descendantsOf(const ProcessEntry& root,
                                    const std::vector<ProcessEntry>& processes) {
  std::vector<ProcessEntry> tree{root};
  std::vector<uint32_t> found;
  // Breadth first over the tree found so far; each process joins it once.
  for (size_t next = 0; next < tree.size(); ++next) {
    const ProcessEntry parent = tree[next];
    for (const ProcessEntry& candidate : processes) {
      const bool known = candidate.id == root.id ||
                         std::find(found.begin(), found.end(), candidate.id) != found.end();
      if (known || candidate.parentId != parent.id || candidate.createdAt == 0 ||
          candidate.createdAt < parent.createdAt) {
        continue;
      }
      tree.push_back(candidate);
      found.push_back(candidate.id);
    }
  }
  return found;
}

}  // namespace zeltra
