// The check's report (see report.h).
#include "check/report.h"

#include <utility>

namespace zeltra::check {

Report::Report(Printer print) : print_(std::move(print)) {}

void Report::beginStep(const std::string& title) {
  ++step_;
  stepTitle_ = title;
  print_(std::to_string(step_) + ". " + title);
}

void Report::note(const std::string& text) { print_("   " + text); }

void Report::pass(const std::string& text) { mark("[ok]  ", text, {}); }

void Report::warn(const std::string& text, const std::string& remedy) {
  mark("[warn]", text, remedy);
}

void Report::fail(const std::string& text, const std::string& remedy) {
  if (firstFailure_.empty()) {
    firstFailure_ = "step " + std::to_string(step_) + " (" + stepTitle_ + "): " + text;
  }
  mark("[FAIL]", text, remedy);
}

void Report::notRun(const std::string& why) {
  notRun_.push_back("step " + std::to_string(step_) + " (" + stepTitle_ + ")");
  mark("[skip]", "not run: " + why, {});
}

void Report::interrupt(const std::string& what) {
  if (interruptedIn_.empty())
    interruptedIn_ = "step " + std::to_string(step_) + " (" + stepTitle_ + ")";
  mark("[stop]", what, {});
}

void Report::mark(const char* mark, const std::string& text, const std::string& remedy) {
  print_(std::string("   ") + mark + " " + text);
  if (!remedy.empty()) print_("          what to do: " + remedy);
}

std::string Report::verdict() const {
  if (interrupted()) return "verdict: interrupted at " + interruptedIn_;
  if (failed()) return "verdict: FAILED at " + firstFailure_;
  std::string text = "verdict: passed";
  if (notRun_.empty()) return text + ": every step passed";
  text += "; not run:";
  for (size_t i = 0; i < notRun_.size(); ++i) text += (i == 0 ? " " : ", ") + notRun_[i];
  return text;
}

}  // namespace zeltra::check
