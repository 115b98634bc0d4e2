// How a window shows on the screen as the compositor reports it, and whether
// this thread sees the screen in physical pixels per monitor. The launcher
// and the machine check decide alike from these which region a window's
// recording covers. Windows only.
#pragma once

#include <windows.h>

#include "platform/system_library.h"

namespace zeltra {

// The compositor's window attributes, named as dwmapi.h names them; that
// header offers them only to builds for Windows 8 and later.
inline constexpr DWORD kDwmaExtendedFrameBounds = 9;  // DWMWA_EXTENDED_FRAME_BOUNDS
inline constexpr DWORD kDwmaCloaked = 14;             // DWMWA_CLOAKED

using DwmAttributeReader = HRESULT(WINAPI*)(HWND, DWORD, PVOID, DWORD);

// The compositor's attribute call, from dwmapi.dll loaded by its full path in
// the system directory on first use and kept for the process's life; null
// where the DLL or the call is missing (Windows without a compositor).
inline DwmAttributeReader dwmAttributeReader() {
  static const DwmAttributeReader reader = findLibraryFunction<DwmAttributeReader>(
      loadSystemLibrary(L"dwmapi.dll"), "DwmGetWindowAttribute");
  return reader;
}

// Whether this thread is per-monitor DPI aware, of either version. The
// compositor's frame bounds are never scaled for DPI while the screen's size
// is, unless the thread is per-monitor aware: only then do the two agree.
// The manifests ask for per-monitor v2, else per-monitor (Windows 10 1607
// knows only that one, and reads no dpiAware beside a dpiAwareness), and
// per-monitor through dpiAware before Windows 10. Both calls arrived with
// Windows 10 1607; earlier the answer is no, and the window's rectangle is
// recorded.
inline bool threadIsPerMonitorDpiAware() {
  using ThreadDpiContextReader = HANDLE(WINAPI*)();
  using DpiAwarenessReader = int(WINAPI*)(HANDLE);
  constexpr int kPerMonitorAware = 2;  // DPI_AWARENESS_PER_MONITOR_AWARE
  // user32.dll is a known DLL, loaded already.
  const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  const auto threadContext =
      findLibraryFunction<ThreadDpiContextReader>(user32, "GetThreadDpiAwarenessContext");
  const auto awarenessOf =
      findLibraryFunction<DpiAwarenessReader>(user32, "GetAwarenessFromDpiAwarenessContext");
  return threadContext != nullptr && awarenessOf != nullptr &&
         awarenessOf(threadContext()) == kPerMonitorAware;
}

// The display's scale in percent of 96 dots per inch, as the system gives it
// to a DPI-aware program (the launcher and the check both are): the scale an
// encoder that is not DPI aware sees the desktop through.
inline int displayScalePercent() {
  const HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
  ::ReleaseDC(nullptr, screen);
  return dpi * 100 / 96;
}

}  // namespace zeltra
