// ZELTRA_ScreenTool_check --judge FILE [--since SIZE,TIME]: one line on
// standard output and the judgement's exit code; it never records. Windows only.
#pragma once

namespace zeltra::check {

// True where the command line asks for the judge rather than the check.
bool judgeRequested();
// Reads its arguments from the wide command line, so that FILE may hold any character.
int runJudge();

}  // namespace zeltra::check
