// The command interpreter's bounded run: the order and the fallbacks of its
// steps, Windows 7's among them, which Wine cannot show, and which processes
// count as started by it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/interpreter_run.h"

namespace zeltra {
namespace {

// Plays back what Windows would answer at each step and keeps the steps taken.
class ScriptedSteps : public InterpreterSteps {
 public:
  bool breakawayAllowed = true;
  bool startable = true;
  bool nestable = true;
  bool returnsInTime = true;
  bool endedProcessesGo = true;
  std::vector<std::string> taken;

  Start startSuspended(bool breakaway) override {
    taken.push_back(breakaway ? "start breakaway" : "start");
    if (!startable) return Start::kFailed;
    return breakaway && !breakawayAllowed ? Start::kBreakawayRefused : Start::kStarted;
  }
  bool containInOwnJob() override {
    taken.push_back("contain");
    return nestable;
  }
  void resume() override { taken.push_back("resume"); }
  bool waitForExit(uint32_t timeoutMs) override {
    taken.push_back("wait " + std::to_string(timeoutMs));
    return returnsInTime;
  }
  bool endJob(uint32_t timeoutMs) override {
    taken.push_back("end job " + std::to_string(timeoutMs));
    return endedProcessesGo;
  }
  bool endProcessTree(uint32_t timeoutMs) override {
    taken.push_back("end tree " + std::to_string(timeoutMs));
    return endedProcessesGo;
  }
};

TEST(InterpreterRunTest, EveryWayThroughEndsAndEndsWhatTheInterpreterStarted) {
  struct Case {
    const char* name;
    ScriptedSteps steps;
    InterpreterRun outcome;
    std::vector<std::string> taken;
  };
  const auto steps = [](bool breakaway, bool startable, bool nestable, bool returns, bool go) {
    ScriptedSteps s;
    s.breakawayAllowed = breakaway;
    s.startable = startable;
    s.nestable = nestable;
    s.returnsInTime = returns;
    s.endedProcessesGo = go;
    return s;
  };
  Case cases[] = {
      {"returns",
       steps(true, true, true, true, true),
       InterpreterRun::kReturned,
       {"start breakaway", "contain", "resume", "wait 3000"}},
      {"hangs",
       steps(true, true, true, false, true),
       InterpreterRun::kEndedAtBound,
       {"start breakaway", "contain", "resume", "wait 3000", "end job 5000"}},
      {"hangs, breakaway refused",
       steps(false, true, true, false, true),
       InterpreterRun::kEndedAtBound,
       {"start breakaway", "start", "contain", "resume", "wait 3000", "end job 5000"}},
      {"hangs, breakaway refused, no nested job",
       steps(false, true, false, false, true),
       InterpreterRun::kEndedAtBound,
       {"start breakaway", "start", "contain", "resume", "wait 3000", "end tree 5000"}},
      {"hangs, its processes outlive the end",
       steps(true, true, false, false, false),
       InterpreterRun::kStillRunningAtBound,
       {"start breakaway", "contain", "resume", "wait 3000", "end tree 5000"}},
      {"hangs, job's processes outlive the end",
       steps(true, true, true, false, false),
       InterpreterRun::kStillRunningAtBound,
       {"start breakaway", "contain", "resume", "wait 3000", "end job 5000"}},
      {"cannot start",
       steps(true, false, true, true, true),
       InterpreterRun::kNotStarted,
       {"start breakaway"}},
  };
  // Contained before it runs, so nothing it starts escapes the job; ended
  // through the job where it has one, else by its tree.
  for (Case& c : cases) {
    EXPECT_EQ(runInterpreter(c.steps, 3000, 5000), c.outcome) << c.name;
    EXPECT_EQ(c.steps.taken, c.taken) << c.name;
  }
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
      {700, 8, 1300},    // someone else's
      {800, 200, 1250},  // a second grandchild
      {100, 800, 1400},  // the interpreter's id again as another's child: no cycle
      {200, 300, 1300},  // the child's id again under the grandchild: counted once
  };
  EXPECT_EQ(descendantsOf(root, processes), (std::vector<uint32_t>{200, 300, 800}));
  EXPECT_TRUE(descendantsOf(root, {root}).empty());
}

}  // namespace
}  // namespace zeltra
