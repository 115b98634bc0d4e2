// The check's test window (see test_window.h).
#include "check/test_window.h"

#include "check/picture_painter.h"

namespace zeltra::check {
namespace {

constexpr char kClassName[] = "ZELTRA_ScreenTool_check_window";
constexpr UINT_PTR kBarTimer = 1;
constexpr UINT kBarPeriodMs = 33;  // a step a frame at 30 frames a second

struct Painting {
  PicturePainter painter;
  int barStep = 0;
};

// The one test window's painting, owned by its thread while the window lives.
Painting* painting = nullptr;

LRESULT CALLBACK testWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      const HDC dc = ::BeginPaint(window, &paint);
      RECT client;
      ::GetClientRect(window, &client);
      if (painting != nullptr)
        painting->painter.paint(dc, client.right, client.bottom, painting->barStep);
      ::EndPaint(window, &paint);
      return 0;
    }
    case WM_TIMER:
      if (painting != nullptr) ++painting->barStep;
      ::InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

TestWindow::~TestWindow() {
  if (!thread_.valid()) return;
  if (window_ != nullptr) ::PostMessageA(window_, WM_CLOSE, 0, 0);
  ::WaitForSingleObject(thread_.get(), INFINITE);
}

bool TestWindow::open(const std::string& title, RECT placement) {
  title_ = title;
  placement_ = placement;
  ready_ = ScopedHandle(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  thread_ = ScopedHandle(::CreateThread(nullptr, 0, run, this, 0, nullptr));
  if (!thread_.valid()) return false;
  const HANDLE waits[] = {ready_.get(), thread_.get()};
  ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
  return created_;
}

RECT TestWindow::rectangle() const {
  RECT rect{};
  ::GetWindowRect(window_, &rect);
  return rect;
}

DWORD WINAPI TestWindow::run(void* self) {
  auto* owner = static_cast<TestWindow*>(self);
  const HINSTANCE instance = ::GetModuleHandleA(nullptr);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = testWindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kClassName;
  ::RegisterClassA(&windowClass);
  const RECT& at = owner->placement_;
  // Topmost, so nothing on the desktop covers what is recorded.
  const HWND window =
      ::CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kClassName, owner->title_.c_str(),
                        WS_POPUP, at.left, at.top, at.right - at.left, at.bottom - at.top,
                        /*hWndParent=*/nullptr, /*hMenu=*/nullptr, instance, nullptr);
  if (window == nullptr) {
    ::SetEvent(owner->ready_.get());
    return 1;
  }
  Painting windowPainting;
  painting = &windowPainting;
  // Shown without activation: the window manager under Wine leaves a window
  // that was never active at its exact place, and a person's work keeps the focus.
  ::ShowWindow(window, SW_SHOWNOACTIVATE);
  ::UpdateWindow(window);
  ::SetTimer(window, kBarTimer, kBarPeriodMs, nullptr);
  owner->window_ = window;
  owner->created_ = true;
  ::SetEvent(owner->ready_.get());
  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  painting = nullptr;
  return 0;
}

}  // namespace zeltra::check
