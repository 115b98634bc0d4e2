// The command interpreter's bounded run: the order and the fallbacks of its
// steps, Windows 7's among them, which Wine cannot show, and which processes
// count as started by it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/interpreter_run.h"

namespace zeltra {
namespace {

// Plays what Windows answers at each step and keeps the steps taken.
struct Machine : InterpreterSteps {
  bool breakawayAllowed, nestable, returnsInTime, endedProcessesGo, startable = true;
  std::vector<std::string> taken;

  Machine(bool breakaway, bool nest, bool returns, bool go)
      : breakawayAllowed(breakaway), nestable(nest), returnsInTime(returns), endedProcessesGo(go) {}
  Start startSuspended(bool breakaway) override {
    taken.push_back(breakaway ? "start breakaway" : "start");
    if (!startable) return Start::kFailed;
    return breakaway && !breakawayAllowed ? Start::kBreakawayRefused : Start::kStarted;
  }
  bool containInOwnJob() override { return taken.push_back("contain"), nestable; }
  void resume() override { taken.push_back("resume"); }
  bool waitForExit(uint32_t ms) override {
    return taken.push_back("wait " + std::to_string(ms)), returnsInTime;
  }
  bool endJob(uint32_t ms) override {
    return taken.push_back("end job " + std::to_string(ms)), endedProcessesGo;
  }
  bool endProcessTree(uint32_t ms) override {
    return taken.push_back("end tree " + std::to_string(ms)), endedProcessesGo;
  }
};

TEST(InterpreterRunTest, ContainsItBeforeItRunsAndEndsAllItStartedAtTheBound) {
  const std::vector<std::string> run = {"start breakaway", "contain", "resume", "wait 3000"};
  const std::vector<std::string> ended = {"start breakaway", "contain", "resume", "wait 3000",
                                          "end job 5000"};
  struct Case {
    const char* what;
    Machine machine;
    InterpreterRun outcome;
    std::vector<std::string> taken;
  } cases[] = {
      {"returns", {true, true, true, true}, InterpreterRun::kReturned, run},
      {"hangs", {true, true, false, true}, InterpreterRun::kEndedAtBound, ended},
      {"breakaway refused: again without",
       {false, true, false, true},
       InterpreterRun::kEndedAtBound,
       {"start breakaway", "start", "contain", "resume", "wait 3000", "end job 5000"}},
      // Windows 7 in a job that forbids breakaway: no job of its own, so its tree.
      {"no job of its own",
       {false, false, false, true},
       InterpreterRun::kEndedAtBound,
       {"start breakaway", "start", "contain", "resume", "wait 3000", "end tree 5000"}},
      {"what it started outlives the end",
       {true, true, false, false},
       InterpreterRun::kStillRunningAtBound,
       ended},
  };
  for (Case& c : cases) {
    EXPECT_EQ(runInterpreter(c.machine, 3000, 5000), c.outcome) << c.what;
    EXPECT_EQ(c.machine.taken, c.taken) << c.what;
  }
  Machine unstartable{true, true, true, true};
  unstartable.startable = false;
  EXPECT_EQ(runInterpreter(unstartable, 3000, 5000), InterpreterRun::kNotStarted);
}

TEST(InterpreterRunTest, CountsOnlyProcessesStartedByTheInterpreterOrItsChildren) {
  const ProcessEntry root{100, 4, 1000};
  const std::vector<ProcessEntry> processes = {
      {4, 0, 1},         // the interpreter's own parent
      {100, 4, 1000},    // the interpreter
      {200, 100, 1100},  // its child
      {300, 200, 1200},  // a grandchild
      {400, 300, 1150},  // an older process whose parent's id was reused by the grandchild
      {500, 100, 900},   // older than the interpreter: a reused parent id
      {600, 100, 0},     // creation time unknown
      {800, 200, 1250},  // a second grandchild
      {100, 800, 1400},  // the interpreter's id again as another's child: no cycle
  };
  EXPECT_EQ(descendantsOf(root, processes), (std::vector<uint32_t>{200, 300, 800}));
}

}  // namespace
}  // namespace zeltra
