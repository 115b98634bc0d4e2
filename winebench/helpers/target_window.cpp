// A window to record: a borderless popup (without a window manager Wine draws
// no frame, so a framed window's edges would be undefined) with a given title,
// position and size, painted with the check's test picture
// (check/test_picture.h). With --animate its bar sweeps across it, so that a
// recording differs from frame to frame.
// With --clock it shows its own tick count in its top left corner, repainted
// every 4 ms, so a recording can be read back against the window's clock: a
// grid of 8 by 4 cells of 40 by 30 pixels, black or white, row by row, bit 0
// first: bits 0-29 are the tick in 4 ms units, bit 30 makes the count of
// white cells even, bit 31 is always white (see recording_check.py).
// With --start-encoder it starts that program itself, as the launcher does,
// at the moment it has its title: the benchmark's reference.
// Usage: target_window <hex title> <x> <y> <width> <height> [--animate] [--clock] [--seconds n]
//                      [--start-encoder <hex program> <hex parameter line>]
//                      [--show-after n [--place x y width height] | --never-show
//                       | --minimized-for n]
// Prints "created <tick>" (when the window had its title, during its
// creation: from then on it can be found), "encoder-started <tick>" after
// starting the encoder, and then runs until it is closed or the seconds have
// passed.
// As applications often do, it can first stay hidden: --show-after n shows it
// n ms after its creation, first moved to --place's rectangle if given, and
// prints "shown <tick>"; --never-show keeps it hidden. --minimized-for n shows
// it minimized and restores it n ms later, printing "restored <tick>".
#include <windows.h>  // first: shellapi.h builds on it

#include <shellapi.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "check/picture_painter.h"
#include "helper_text.h"

namespace {

constexpr int kClockColumns = 8;
constexpr int kClockRows = 4;
constexpr int kClockCellWidth = 40;
constexpr int kClockCellHeight = 30;
constexpr DWORD kClockPeriodMs = 4;
bool animate = false;
bool clock = false;
DWORD existsAt = 0;  // when the window first had its title, and so could be found
int barStep = 0;
RECT place{};  // where a window shown late goes first; empty: where it was created
constexpr UINT_PTR kAnimateTimer = 1;
constexpr UINT_PTR kEndTimer = 2;
constexpr UINT_PTR kShowTimer = 3;
constexpr UINT_PTR kRestoreTimer = 4;
zeltra::check::PicturePainter painter;

void fill(HDC dc, int left, int top, int right, int bottom, COLORREF colour) {
  const RECT rect{left, top, right, bottom};
  const HBRUSH brush = ::CreateSolidBrush(colour);
  ::FillRect(dc, &rect, brush);
  ::DeleteObject(brush);
}

uint32_t clockBits(DWORD tick) {
  uint32_t bits = (tick / 4) & 0x3FFFFFFFu;
  uint32_t ones = 0;
  for (uint32_t v = bits; v != 0; v &= v - 1) ++ones;
  if (ones % 2 == 1) bits |= 1u << 30;  // even count of white cells among bits 0-30
  return bits | (1u << 31);
}

// Drawn off screen and copied in one piece, so that a grab never catches a
// clock half drawn.
void paintClock(HWND window) {
  constexpr int kWidth = kClockColumns * kClockCellWidth;
  constexpr int kHeight = kClockRows * kClockCellHeight;
  const HDC dc = ::GetDC(window);
  static HDC canvas = nullptr;
  if (canvas == nullptr) {
    canvas = ::CreateCompatibleDC(dc);
    ::SelectObject(canvas, ::CreateCompatibleBitmap(dc, kWidth, kHeight));
  }
  const uint32_t bits = clockBits(::GetTickCount());
  for (int i = 0; i < kClockColumns * kClockRows; ++i) {
    const int x = (i % kClockColumns) * kClockCellWidth;
    const int y = (i / kClockColumns) * kClockCellHeight;
    fill(canvas, x, y, x + kClockCellWidth, y + kClockCellHeight,
         (bits >> i) & 1u ? RGB(255, 255, 255) : RGB(0, 0, 0));
  }
  ::BitBlt(dc, 0, 0, kWidth, kHeight, canvas, 0, 0, SRCCOPY);
  ::ReleaseDC(window, dc);
}

// Starts the encoder as the launcher does: the same launch record.
void startEncoder(const std::string& program, const std::string& parameters) {
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = "open";
  info.lpFile = program.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = SW_SHOWMINNOACTIVE;
  ::ShellExecuteExA(&info);
  if (info.hProcess != nullptr) ::CloseHandle(info.hProcess);
}

// Placed first when asked, then shown (or restored) without activation.
void showLate(HWND window, const char* what) {
  if (place.right > place.left) {
    ::SetWindowPos(window, nullptr, place.left, place.top, place.right - place.left,
                   place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ::ShowWindow(window, SW_SHOWNOACTIVATE);
  ::UpdateWindow(window);
  zeltra::helpers::say("%s %lu", what, ::GetTickCount());
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
      } else if (wParam == kShowTimer || wParam == kRestoreTimer) {
        ::KillTimer(window, wParam);
        showLate(window, wParam == kShowTimer ? "shown" : "restored");
      } else {
        ::DestroyWindow(window);
      }
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

int main(int argc, char** argv) {
  using zeltra::helpers::say;
  if (argc < 6) {
    say("usage: target_window <hex title> <x> <y> <width> <height> [--animate] [--seconds n]");
    return 2;
  }
  const std::string title = zeltra::helpers::fromHex(argv[1]);
  int seconds = 0;
  std::string encoder;
  std::string encoderParameters;
  int showAfterMs = 0;
  int minimizedForMs = 0;
  bool neverShow = false;
  for (int i = 6; i < argc; ++i) {
    if (std::strcmp(argv[i], "--show-after") == 0 && i + 1 < argc)
      showAfterMs = zeltra::helpers::toNumber(argv[++i]);
    if (std::strcmp(argv[i], "--never-show") == 0) neverShow = true;
    if (std::strcmp(argv[i], "--minimized-for") == 0 && i + 1 < argc)
      minimizedForMs = zeltra::helpers::toNumber(argv[++i]);
    if (std::strcmp(argv[i], "--place") == 0 && i + 4 < argc) {
      place.left = zeltra::helpers::toNumber(argv[++i]);
      place.top = zeltra::helpers::toNumber(argv[++i]);
      place.right = place.left + zeltra::helpers::toNumber(argv[++i]);
      place.bottom = place.top + zeltra::helpers::toNumber(argv[++i]);
    }
    if (std::strcmp(argv[i], "--animate") == 0) animate = true;
    if (std::strcmp(argv[i], "--clock") == 0) clock = true;
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
      seconds = zeltra::helpers::toNumber(argv[++i]);
    if (std::strcmp(argv[i], "--start-encoder") == 0 && i + 2 < argc) {
      encoder = zeltra::helpers::fromHex(argv[++i]);
      encoderParameters = zeltra::helpers::fromHex(argv[++i]);
    }
  }
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = targetProc;
  windowClass.hInstance = ::GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "ZeltraTestTarget";
  ::RegisterClassA(&windowClass);
  const HWND window =
      ::CreateWindowExA(WS_EX_TOPMOST, "ZeltraTestTarget", title.c_str(), WS_POPUP,
                        zeltra::helpers::toNumber(argv[2]), zeltra::helpers::toNumber(argv[3]),
                        zeltra::helpers::toNumber(argv[4]), zeltra::helpers::toNumber(argv[5]),
                        nullptr, nullptr, windowClass.hInstance, nullptr);
  if (window == nullptr) {
    say("failed %lu", ::GetLastError());
    return 3;
  }
  if (!encoder.empty()) {
    startEncoder(encoder, encoderParameters);
    say("encoder-started %lu", ::GetTickCount());
  }
  say("created %lu", existsAt);
  // Shown without activation: a window that was never active stays out of
  // the window manager's hands under Wine, so it keeps its exact place.
  if (showAfterMs > 0) {
    ::SetTimer(window, kShowTimer, static_cast<UINT>(showAfterMs), nullptr);
  } else if (minimizedForMs > 0) {
    ::ShowWindow(window, SW_SHOWMINNOACTIVE);
    ::SetTimer(window, kRestoreTimer, static_cast<UINT>(minimizedForMs), nullptr);
  } else if (!neverShow) {
    ::ShowWindow(window, SW_SHOWNOACTIVATE);
    ::UpdateWindow(window);
  }
  if (animate) ::SetTimer(window, kAnimateTimer, 33, nullptr);
  if (seconds > 0) ::SetTimer(window, kEndTimer, static_cast<UINT>(seconds) * 1000, nullptr);
  for (;;) {
    // The clock is repainted whenever the wait times out: every 4 ms, where a
    // window timer could not go below 10 ms, and without a busy loop, which
    // would take a core from the encoder.
    if (clock) paintClock(window);
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, clock ? kClockPeriodMs : INFINITE, QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        say("closed %lu", ::GetTickCount());
        return 0;
      }
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  }
}
