// The launcher's entry and its control window, "ZELTRA_ScreenTool", through
// which the caller stops the recording: message WM_USER + 1 (1025), or
// closing the window.
#pragma once

#include <cstdint>

#include "launcher/windows_constants.h"
#include "platform/platform.h"

namespace zeltra {

inline constexpr char kControlWindowName[] = "ZELTRA_ScreenTool";
inline constexpr uint32_t kStopMessage = kWmUser + 1;

// The whole run, from start to stop. Always returns 0, the process result.
int runLauncher(Platform& platform, InstanceHandle instance, const char* commandLineText,
                int32_t showMode);

// The control window's procedure.
intptr_t controlWindowProc(WindowHandle window, uint32_t message, uintptr_t wParam,
                           intptr_t lParam);

}  // namespace zeltra
