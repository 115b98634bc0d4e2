// The few Windows values the launcher's logic decides on, named as Windows
// names them, so the logic stays free of <windows.h> and still reads like the API.
#pragma once

#include <cstdint>

namespace zeltra {

// Messages of the control window.
inline constexpr uint32_t kWmDestroy = 0x0002;
inline constexpr uint32_t kWmClose = 0x0010;
inline constexpr uint32_t kWmUser = 0x0400;

// Show modes.
inline constexpr int32_t kSwHide = 0;
inline constexpr int32_t kSwShowMinimized = 2;
inline constexpr int32_t kSwShowMinNoActive = 7;
inline constexpr int32_t kSwShowDefault = 10;

}  // namespace zeltra
