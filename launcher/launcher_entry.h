// The launcher's entry and its control window, "ZELTRA_ScreenTool", through
// which the caller stops the recording: message WM_USER + 1 (1025), or
// closing the window.
#pragma once

#include <cstdint>

#include "launcher/invocation.h"
#include "launcher/windows_constants.h"
#include "platform/platform.h"

namespace zeltra {

inline constexpr char kControlWindowName[] = "ZELTRA_ScreenTool";
inline constexpr uint32_t kStopMessage = kWmUser + 1;

// The whole run, from start to stop. Always returns 0, the process result.
int runLauncher(Platform& platform, const InvocationText& invocation, int32_t showMode);

// What one run keeps for its control window's procedure.
struct LauncherRun;

// The control window's procedure: the stop message and the window's
// destruction stop the recording; every other message, the close request
// included, goes the default way (the close request then destroys the window).
MessageAnswer controlWindowProc(LauncherRun& run, uint32_t message);

}  // namespace zeltra
