// The few Windows values the launcher's logic needs, named as Windows names
// them, so the logic stays free of <windows.h> and still reads like the API.
#pragma once

#include <cstdint>

namespace zeltra {

constexpr uint32_t kWmDestroy = 0x0002;
constexpr uint32_t kWmClose = 0x0010;
constexpr uint32_t kWmQuit = 0x0012;
constexpr uint32_t kWmUser = 0x0400;

constexpr int32_t kSwHide = 0;
constexpr int32_t kSwShowMinimized = 2;
constexpr int32_t kSwShowMinNoActive = 7;
constexpr int32_t kSwShowDefault = 10;

constexpr uint32_t kWsOverlappedWindow = 0x00CF0000;
constexpr int32_t kCwUseDefault = INT32_MIN;  // 0x80000000

constexpr uint32_t kSeeMaskNoCloseProcess = 0x00000040;
constexpr uint32_t kSeeMaskFlagNoUi = 0x00000400;
constexpr uint32_t kSeeMaskNoZoneChecks = 0x00800000;

constexpr uint32_t kMaxPath = 260;
// The longest path the module-name call can return, plus its terminator.
constexpr uint32_t kLongestModulePath = 32768;

}  // namespace zeltra
