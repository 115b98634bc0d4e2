// One-line diagnostics for whoever integrates the launcher. The launcher is
// silent by design (no files, no boxes, exit code 0), so these lines, read
// with a debugger or a debug-output viewer, are the only clue to why nothing
// was recorded.
#pragma once

#include <string>

#include "platform/platform.h"

namespace zeltra {

inline constexpr char kDiagnosticPrefix[] = "ZELTRA_ScreenTool: ";

inline void diagnose(Platform& platform, const std::string& text) {
  platform.writeDiagnostic(kDiagnosticPrefix + text + "\n");
}

}  // namespace zeltra
