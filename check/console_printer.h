// The check's lines, written to its console (or wherever its output goes) on
// a thread of their own. Windows only.
//
// A console can block a write for as long as a person holds a text selection
// with the mouse, and a pipe for as long as its reader pauses. The launcher's
// diagnostic lines are read from the session-wide debug-output buffer, which
// every OutputDebugString in the session waits for, up to 10 s each: a reader
// that wrote to the console itself would hold them all, the launcher's stop
// included. So printing only queues the line; the printer thread writes it.
#pragma once

#include <cstdint>
#include <string>

namespace zeltra::check {

// Starts the printer thread; once, before the first line.
void startPrinting();

// Queues the line; it never waits on the console. From any thread; lines keep
// the order in which they were queued.
void printLine(const std::string& line);

// Waits, at most limitMs, until every queued line is written; false at the
// bound (the rest is lost when the check exits).
bool finishPrinting(uint32_t limitMs);

}  // namespace zeltra::check
