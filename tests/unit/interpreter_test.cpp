// The stop command's interpreter: its exact command line, the order and the
// fallbacks of its bounded run, and which processes count as started by it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/interpreter_command.h"
#include "launcher/interpreter_run.h"

namespace zeltra {
namespace {

TEST(InterpreterCommandTest, SkipsAutoRunForCmdInAnyCaseAndOnlyForCmd) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\Windows\\system32\\cmd.exe", "\"C:\\Windows\\system32\\cmd.exe\" /d /c taskkill /IM x"},
      {"C:\\WINDOWS\\SYSTEM32\\CMD.EXE", "\"C:\\WINDOWS\\SYSTEM32\\CMD.EXE\" /d /c taskkill /IM x"},
      {"D:/tools/Cmd.Exe", "\"D:/tools/Cmd.Exe\" /d /c taskkill /IM x"},
      {"cmd.exe", "\"cmd.exe\" /d /c taskkill /IM x"},
      {"C:\\Tools\\tcc.exe", "\"C:\\Tools\\tcc.exe\" /c taskkill /IM x"},
      {"C:\\Tools\\mycmd.exe", "\"C:\\Tools\\mycmd.exe\" /c taskkill /IM x"},
      {"C:\\cmd.exe\\sh.exe", "\"C:\\cmd.exe\\sh.exe\" /c taskkill /IM x"},
      {"C:\\Tools\\cmd.exe.old", "\"C:\\Tools\\cmd.exe.old\" /c taskkill /IM x"},
      {"C:\\Program Files\\cmd", "\"C:\\Program Files\\cmd\" /c taskkill /IM x"},
  };
  for (const auto& [interpreter, line] : cases) {
    EXPECT_EQ(interpreterCommandLine(interpreter, "taskkill /IM x"), line) << interpreter;
  }
}

// Plays back what Windows would answer at each step and keeps the steps taken.
class ScriptedSteps : public InterpreterSteps {
 public:
  bool breakawayAllowed = true;
  bool startable = true;
  bool nestable = true;
  bool returnsInTime = true;
  bool endedProcessesGo = true;
  std::vector<std::string> taken;
  std::vector<uint32_t> timeouts;

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
    taken.push_back("wait");
    timeouts.push_back(timeoutMs);
    return returnsInTime;
  }
  bool endJob(uint32_t timeoutMs) override {
    taken.push_back("end job");
    timeouts.push_back(timeoutMs);
    return endedProcessesGo;
  }
  bool endProcessTree(uint32_t timeoutMs) override {
    taken.push_back("end tree");
    timeouts.push_back(timeoutMs);
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
       {"start breakaway", "contain", "resume", "wait"}},
      {"hangs",
       steps(true, true, true, false, true),
       InterpreterRun::kEndedAtBound,
       {"start breakaway", "contain", "resume", "wait", "end job"}},
      {"hangs, breakaway refused",
       steps(false, true, true, false, true),
       InterpreterRun::kEndedAtBound,
       {"start breakaway", "start", "contain", "resume", "wait", "end job"}},
      {"hangs, breakaway refused, no nested job",
       steps(false, true, false, false, true),
       InterpreterRun::kEndedAtBound,
       {"start breakaway", "start", "contain", "resume", "wait", "end tree"}},
      {"hangs, its processes outlive the end",
       steps(true, true, false, false, false),
       InterpreterRun::kStillRunningAtBound,
       {"start breakaway", "contain", "resume", "wait", "end tree"}},
      {"hangs, job's processes outlive the end",
       steps(true, true, true, false, false),
       InterpreterRun::kStillRunningAtBound,
       {"start breakaway", "contain", "resume", "wait", "end job"}},
      {"cannot start",
       steps(true, false, true, true, true),
       InterpreterRun::kNotStarted,
       {"start breakaway"}},
  };
  for (Case& c : cases) {
    EXPECT_EQ(runInterpreter(c.steps, 3000), c.outcome) << c.name;
    EXPECT_EQ(c.steps.taken, c.taken) << c.name;
    if (!c.steps.timeouts.empty()) {
      EXPECT_EQ(c.steps.timeouts.front(), 3000u) << c.name << ": the wait is the bound given";
    }
    for (const uint32_t timeout : c.steps.timeouts) {
      EXPECT_LE(timeout, 10000u) << c.name << ": every wait is bounded";
    }
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
