// The check's report: one line per finding under numbered steps, a mark for
// what passed, failed or was not run, what to do about a failure, and one
// verdict at the end. Meant to be pasted into a bug report, so it holds
// versions, paths and findings, and nothing else about the person.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace zeltra::check {

class Report {
 public:
  using Printer = std::function<void(const std::string& line)>;
  explicit Report(Printer print);

  void beginStep(const std::string& title);
  // A fact found, with no judgement.
  void note(const std::string& text);
  void pass(const std::string& text);
  // Worth knowing, but it does not fail the step.
  void warn(const std::string& text, const std::string& remedy = {});
  void fail(const std::string& text, const std::string& remedy = {});
  // The step could not be carried out; the verdict rests on the others.
  void notRun(const std::string& why);

  // The check was interrupted in this step; what says by what and what it did.
  void interrupt(const std::string& what);

  bool failed() const { return !firstFailure_.empty(); }
  bool interrupted() const { return !interruptedIn_.empty(); }
  // "verdict: ..." on one line.
  std::string verdict() const;
  int exitCode() const { return failed() || interrupted() ? 1 : 0; }

 private:
  void mark(const char* mark, const std::string& text, const std::string& remedy);

  Printer print_;
  int step_ = 0;
  std::string stepTitle_;
  std::string firstFailure_;   // "step N (title): text"
  std::string interruptedIn_;  // "step N (title)"
  std::vector<std::string> notRun_;
};

}  // namespace zeltra::check
