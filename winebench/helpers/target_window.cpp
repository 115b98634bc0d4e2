// bench_tool window: a window to record: a borderless popup (without a window
// manager Wine draws no frame, so a framed window's edges would be undefined)
// with a given title, position and size, painted with the check's test
// picture (check/test_picture.h). With --animate its bar sweeps across it, so
// that a recording differs from frame to frame. With --clock it shows its own
// tick count in its top left corner (window_clock.h), repainted every 4 ms,
// so a recording can be read back against the window's clock. With
// --start-encoder it starts that program itself, as the launcher does, at the
// moment it has its title, through the launcher's platform: the benchmark's
// reference.
// Usage: bench_tool window <hex title> <x> <y> <width> <height> [--animate] [--clock]
//          [--start-encoder <hex program> <hex parameter line>]
//          [--never-show | --minimized-for-ms n]
// Prints "created <tick>" (when the window had its title, during its
// creation: from then on it can be found), and then runs until it is closed.
// --never-show keeps it hidden; --minimized-for-ms n shows it minimized and,
// as applications often do, restores it n ms later, printing "restored <tick>".
#include <windows.h>

#include <cstdint>
#include <string>

#include "bench_tool.h"
#include "check/picture_painter.h"
#include "platform/ansi_text.h"
#include "platform/win32_platform.h"
#include "window_clock.h"

namespace zeltra::helpers {
namespace {

constexpr DWORD kClockPeriodMs = 4;
constexpr UINT_PTR kAnimateTimer = 1;
constexpr UINT_PTR kRestoreTimer = 2;
bool animate = false;
DWORD existsAt = 0;  // when the window first had its title, and so could be found
int barStep = 0;
check::PicturePainter painter;

// Drawn off screen and copied in one piece, so that a grab never catches a
// clock half drawn.
void paintClock(HWND window) {
  const HDC dc = ::GetDC(window);
  static HDC canvas = nullptr;
  if (canvas == nullptr) {
    canvas = ::CreateCompatibleDC(dc);
    ::SelectObject(canvas, ::CreateCompatibleBitmap(dc, kClockWidth, kClockHeight));
  }
  const uint32_t bits = clockBits(::GetTickCount());
  for (int i = 0; i < kClockCells; ++i) {
    const RECT cell{clockCellLeft(i), clockCellTop(i), clockCellLeft(i) + kClockCellWidth,
                    clockCellTop(i) + kClockCellHeight};
    const int brush = (bits >> i) & 1u ? WHITE_BRUSH : BLACK_BRUSH;
    ::FillRect(canvas, &cell, static_cast<HBRUSH>(::GetStockObject(brush)));
  }
  ::BitBlt(dc, 0, 0, kClockWidth, kClockHeight, canvas, 0, 0, SRCCOPY);
  ::ReleaseDC(window, dc);
}

// Shown without activation: a window that was never active stays out of
// the window manager's hands under Wine, so it keeps its exact place.
void show(HWND window) {
  ::ShowWindow(window, SW_SHOWNOACTIVATE);
  ::UpdateWindow(window);
}

LRESULT CALLBACK targetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCCREATE: {
      const LRESULT result = ::DefWindowProcA(window, message, wParam, lParam);  // sets the title
      existsAt = ::GetTickCount();
      return result;
    }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      const HDC dc = ::BeginPaint(window, &paint);
      RECT client;
      ::GetClientRect(window, &client);
      painter.paint(dc, client.right, client.bottom, animate ? barStep : -1);
      ::EndPaint(window, &paint);
      return 0;
    }
    case WM_TIMER:
      if (wParam == kAnimateTimer) {
        ++barStep;
        ::InvalidateRect(window, nullptr, FALSE);
      } else {
        ::KillTimer(window, wParam);
        show(window);
        say("restored %lu", ::GetTickCount());
      }
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcA(window, message, wParam, lParam);
  }
}

HWND createTarget(const Words& words) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = targetProc;
  windowClass.hInstance = ::GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "ZeltraTestTarget";
  ::RegisterClassA(&windowClass);
  return ::CreateWindowExA(WS_EX_TOPMOST, "ZeltraTestTarget", fromHex(words[0]).c_str(), WS_POPUP,
                           words.number(1), words.number(2), words.number(3), words.number(4),
                           nullptr, nullptr, windowClass.hInstance, nullptr);
}

void showAsAsked(HWND window, const Words& words) {
  if (char* const* ms = words.after("--minimized-for-ms")) {
    ::ShowWindow(window, SW_SHOWMINNOACTIVE);
    ::SetTimer(window, kRestoreTimer, static_cast<UINT>(toNumber(ms[0])), nullptr);
  } else if (!words.has("--never-show")) {
    show(window);
  }
}

}  // namespace

int targetWindow(const Words& words) {
  animate = words.has("--animate");
  const bool clock = words.has("--clock");
  const HWND window = createTarget(words);
  if (window == nullptr) {
    say("failed %lu", ::GetLastError());
    return 3;
  }
  if (char* const* encoder = words.after("--start-encoder", 2)) {
    // As the launcher starts it, through its platform.
    makeWin32Platform(::GetModuleHandleA(nullptr))
        ->startMinimized(widenFromAnsi(fromHex(encoder[0])), widenFromAnsi(fromHex(encoder[1])));
  }
  say("created %lu", existsAt);
  showAsAsked(window, words);
  if (animate) ::SetTimer(window, kAnimateTimer, 33, nullptr);
  for (;;) {
    // The clock is repainted whenever the wait times out: every 4 ms, where a
    // window timer could not go below 10 ms, and without a busy loop, which
    // would take a core from the encoder.
    if (clock) paintClock(window);
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, clock ? kClockPeriodMs : INFINITE, QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return 0;
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  }
}

}  // namespace zeltra::helpers
