// Running the command interpreter so that its wait always ends: the order of
// the steps and their fallbacks, apart from the Windows calls that carry them
// out (platform/win32_platform.cpp), so that each fallback, Windows 7's among
// them, can be followed natively.
#pragma once

#include <cstdint>
#include <vector>

namespace zeltra {

// The Windows steps of one interpreter run, each on the one interpreter
// process the last successful start created.
class InterpreterSteps {
 public:
  enum class Start { kStarted, kBreakawayRefused, kFailed };

  virtual ~InterpreterSteps() = default;
  // Creates the interpreter suspended, without a console window; with
  // breakaway, outside any job the launcher runs in. kBreakawayRefused when
  // that job forbids breaking away; kFailed on any other refusal.
  virtual Start startSuspended(bool breakaway) = 0;
  // Puts it in a job of its own that ends everything in it when closed.
  // False when Windows refuses: Windows 7 cannot nest jobs, so an interpreter
  // that stayed in the launcher's job cannot join another.
  virtual bool containInOwnJob() = 0;
  virtual void resume() = 0;
  // True once it has exited, false when timeoutMs passed first.
  virtual bool waitForExit(uint32_t timeoutMs) = 0;
  // Ends everything in its job; true once all of it is gone, false when
  // something still ran timeoutMs later.
  virtual bool endJob(uint32_t timeoutMs) = 0;
  // Ends it and every process it started, found by parent process id; true
  // once all of them are gone, false when one still ran timeoutMs later.
  virtual bool endProcessTree(uint32_t timeoutMs) = 0;
};

enum class InterpreterRun {
  kReturned,             // it returned within the bound
  kEndedAtBound,         // it had not returned; it and all it started were ended and are gone
  kStillRunningAtBound,  // as above, but something was still running after the wait for it
  kNotStarted,           // it could not be started
};

// Starts the interpreter suspended, breaking away from the launcher's job
// where that is allowed, contains it in a job of its own before it runs,
// and waits boundMs for it. At the bound it ends the interpreter and what it
// started, through the job or else by parent process id, and waits up to
// goneWaitMs until they are gone.
InterpreterRun runInterpreter(InterpreterSteps& steps, uint32_t boundMs, uint32_t goneWaitMs);

// A process as a snapshot shows it; createdAt in any unit that orders creation
// times, 0 when it could not be read.
struct ProcessEntry {
  uint32_t id = 0;
  uint32_t parentId = 0;
  uint64_t createdAt = 0;
};

// The ids of every process started by root, directly or through others, as
// far as the snapshot shows. A process counts only if it was created after its
// parent: Windows reuses ids, so a parent id may name an older process that
// has ended, and a process whose creation time is unknown does not count.
std::vector<uint32_t> descendantsOf(const ProcessEntry& root,
                                    const std::vector<ProcessEntry>& processes);

}  // namespace zeltra
