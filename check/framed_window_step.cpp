// Step 7: a framed window recorded in front of a backdrop of another colour.
// Windows 10 and 11 draw a framed window's resize borders invisibly, inside
// its rectangle; a recording of the whole rectangle would show the backdrop
// in strips along its edges, one of the visible frame shows none of it.
#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "check/check_steps.h"
#include "check/child_process.h"
#include "check/frame_edges.h"
#include "check/interruption.h"
#include "check/launcher_run.h"
#include "check/machine_facts.h"
#include "check/output_place.h"
#include "check/recording_readback.h"
#include "platform/scoped_handle.h"
#include "platform/window_frame.h"

namespace zeltra::check {
namespace {

constexpr char kBackdropClass[] = "ZELTRA_ScreenTool_check_backdrop";
constexpr char kFramedClass[] = "ZELTRA_ScreenTool_check_framed";
// Lime: no frame, title bar or accent colour Windows draws comes near it.
constexpr Colour kBackdropColour{0, 255, 0};
constexpr COLORREF kFramedClientColour = RGB(128, 128, 128);
constexpr int kBackdropMargin = 60;  // around the framed window, wider than any border
constexpr int kFramedWidth = 403;
constexpr int kFramedHeight = 301;
constexpr char kFileName[] = "check-framed.avi";
// Windows 11 rounds a window's corners with a radius of 8 pixels at 100%.
constexpr int kCornerAt100Percent = 10;
constexpr DWORD kRecordMs = 1000;
// Bounds against a hung run, as in the recording step.
constexpr DWORD kFirstGrowthLimitMs = 20000;
constexpr DWORD kReadBackLimitMs = 60000;
constexpr DWORD kSceneLimitMs = 10000;

LRESULT CALLBACK sceneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY && ::GetWindow(window, GW_OWNER) == nullptr) ::PostQuitMessage(0);
  return ::DefWindowProcA(window, message, wParam, lParam);
}

// The backdrop and the framed window in front of it, on a thread of their
// own so that they stay painted, and answer, while the check waits.
class FramedScene {
 public:
  FramedScene() = default;
  ~FramedScene() {
    if (!thread_.valid()) return;
    if (backdrop_ != nullptr) ::PostMessageA(backdrop_, WM_CLOSE, 0, 0);
    ::WaitForSingleObject(thread_.get(), kSceneLimitMs);
  }
  FramedScene(const FramedScene&) = delete;
  FramedScene& operator=(const FramedScene&) = delete;

  // The framed window, shown in front of the backdrop; null when either
  // could not be created in time.
  HWND open(const std::string& title, RECT placement) {
    title_ = title;
    placement_ = placement;
    ready_ = ScopedHandle(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    thread_ = ScopedHandle(::CreateThread(nullptr, 0, run, this, 0, nullptr));
    if (!thread_.valid()) return nullptr;
    const HANDLE waits[] = {ready_.get(), thread_.get()};
    ::WaitForMultipleObjects(2, waits, FALSE, kSceneLimitMs);
    return framed_;
  }

 private:
  static void registerClass(const char* name, COLORREF colour) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = sceneProc;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = ::CreateSolidBrush(colour);
    windowClass.lpszClassName = name;
    ::RegisterClassA(&windowClass);
  }

  static DWORD WINAPI run(void* self) {
    auto* scene = static_cast<FramedScene*>(self);
    registerClass(kBackdropClass, RGB(kBackdropColour.r, kBackdropColour.g, kBackdropColour.b));
    registerClass(kFramedClass, kFramedClientColour);
    const RECT& at = scene->placement_;
    const HINSTANCE instance = ::GetModuleHandleA(nullptr);
    // Both topmost, the framed one created last and so in front; it is owned
    // by the backdrop, so closing the backdrop closes both.
    scene->backdrop_ = ::CreateWindowExA(
        WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kBackdropClass, "", WS_POPUP, at.left - kBackdropMargin,
        at.top - kBackdropMargin, at.right - at.left + 2 * kBackdropMargin,
        at.bottom - at.top + 2 * kBackdropMargin,
        /*hWndParent=*/nullptr, /*hMenu=*/nullptr, instance, nullptr);
    const HWND framed =
        ::CreateWindowExA(WS_EX_TOPMOST, kFramedClass, scene->title_.c_str(), WS_OVERLAPPEDWINDOW,
                          at.left, at.top, at.right - at.left, at.bottom - at.top, scene->backdrop_,
                          /*hMenu=*/nullptr, instance, nullptr);
    if (scene->backdrop_ == nullptr || framed == nullptr) {
      if (scene->backdrop_ != nullptr) ::DestroyWindow(scene->backdrop_);
      ::SetEvent(scene->ready_.get());
      return 1;
    }
    // Without activation, as the recording step's window: a person's work keeps the focus.
    ::ShowWindow(scene->backdrop_, SW_SHOWNOACTIVATE);
    ::ShowWindow(framed, SW_SHOWNOACTIVATE);
    ::UpdateWindow(scene->backdrop_);
    ::UpdateWindow(framed);
    scene->framed_ = framed;
    ::SetEvent(scene->ready_.get());
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    return 0;
  }

  std::string title_;
  RECT placement_{};
  HWND backdrop_ = nullptr;
  HWND framed_ = nullptr;
  ScopedHandle ready_;
  ScopedHandle thread_;
};

// The window's frame as the compositor shows it, the bounds the launcher
// takes too (where its thread, as this one, is per-monitor aware); its
// rectangle where the compositor reports none.
RECT visibleFrame(HWND window) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  const DwmAttributeReader read = dwmAttributeReader();
  RECT frame{};
  if (read != nullptr && SUCCEEDED(read(window, kDwmaExtendedFrameBounds, &frame, sizeof frame)) &&
      frame.right > frame.left && frame.bottom > frame.top) {
    rect = frame;
  }
  return rect;
}

std::string corners(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " to " + std::to_string(r.right) +
         "," + std::to_string(r.bottom);
}

// Interrupted while the launcher records: on Ctrl+C the recording is stopped
// as callers stop it and everything it left ended; on the console's close the
// stop is posted and the launcher finishes its file by itself (see step 4).
void endInterrupted(Report& report, LauncherRun& run) {
  if (interruption() == Interruption::kConsoleClosing) {
    run.leave();
    interruptionHandled();
    return;
  }
  report.interrupt("interrupted by Ctrl+C; stopping the recording");
  run.stop();
  // Also an encoder whose launcher ended without seeing it through, as in step 4.
  run.end();
}

// Records about a second through the launcher; false, reported, when it did
// not or the check was interrupted.
bool recordBriefly(Report& report, const CheckSetup& setup, const std::string& title,
                   const std::string& file) {
  std::string whyNot;
  const std::unique_ptr<LauncherRun> run = startLauncherRun(setup.launcher, title, file, whyNot);
  if (run == nullptr) {
    report.fail("could not start " + shownPath(setup.launcher) + ": " + whyNot);
    return false;
  }
  const bool grew =
      waitUntil(kFirstGrowthLimitMs, [&] { return hasGrown(file) || run->exited(); }) &&
      hasGrown(file);
  if ((grew && !pauseUnlessInterrupted(kRecordMs)) || interrupted()) {
    endInterrupted(report, *run);
    return false;
  }
  const LauncherStop stop = run->stop();
  if (!stop.exited) run->end();
  if (!grew) {
    report.fail("the file did not grow within " + std::to_string(kFirstGrowthLimitMs / 1000) +
                " s of the start");
  } else if (!stop.exited) {
    report.fail("the launcher did not exit in time after the stop");
  } else if (!stop.fileFinished) {
    report.fail(stop.fileState);
  }
  return grew && stop.exited && stop.fileFinished;
}

void judgeEdges(Report& report, const CheckSetup& setup, const std::string& file,
                const RECT& frame) {
  const ProgramRun decoded = runProgram(
      setup.encoder, "-hide_banner -nostdin -i \"" + file + "\" -f rawvideo -pix_fmt rgb24 -",
      kReadBackLimitMs, interruptionEvent());
  if (decoded.interrupted) return;
  const std::optional<StreamFacts> facts = readStreamFacts(decoded.errors);
  const size_t frameBytes = facts ? static_cast<size_t>(facts->width) * facts->height * 3 : 0;
  if (!decoded.started || decoded.timedOut || frameBytes == 0 ||
      decoded.output.size() < frameBytes) {
    report.fail("ffmpeg.exe could not read the framed window's recording back");
    return;
  }
  const int width = (frame.right - frame.left) / 4 * 4;
  const int height = (frame.bottom - frame.top) / 4 * 4;
  const bool sized = facts->width == width && facts->height == height;
  const std::string size = std::to_string(facts->width) + "x" + std::to_string(facts->height);
  if (sized) {
    report.pass("frame size " + size + ", the visible frame's rounded down to multiples of 4");
  } else {
    report.fail("frame size " + size + "; the visible frame's rounded down to multiples of 4 is " +
                std::to_string(width) + "x" + std::to_string(height));
  }
  const size_t frames = decoded.output.size() / frameBytes;
  const std::string_view middle =
      std::string_view(decoded.output).substr((frames / 2) * frameBytes, frameBytes);
  const int corner = kCornerAt100Percent * displayScalePercent() / 100;
  const int backdrop =
      countEdgePixelsLike(middle, facts->width, facts->height, kBackdropColour, kEdgeBand, corner);
  const std::string where = "the outer " + std::to_string(kEdgeBand) + " rows and columns";
  if (backdrop == 0) {
    report.pass(where + " hold none of the backdrop's colour (corners left out)");
  } else {
    report.fail(where + " hold the backdrop's colour at " + std::to_string(backdrop) + " pixels",
                "the launcher recorded borders nobody sees; attach this report");
  }
}

}  // namespace

void checkFramedWindow(Report& report, const CheckSetup& setup) {
  report.beginStep("A framed window, recorded without what lies behind it");
  if (const std::optional<std::string> wine = wineVersion()) {
    report.notRun("under Wine " + *wine +
                  " the window manager draws a framed window's borders and may move it, so its "
                  "recording says nothing about those of Windows");
    return;
  }
  if (!threadIsPerMonitorDpiAware()) {
    // The launcher, under the same manifest, is not either: it records the
    // window's rectangle here, borders and all, as it is meant to.
    report.notRun(
        "this Windows does not make the launcher per-monitor DPI aware (Windows 10 1703 and "
        "later do), so it records a window's rectangle, not its visible frame");
    return;
  }
  RECT work{0, 0, 800, 600};
  ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  const LONG left = work.left + 100 + kBackdropMargin;
  const LONG top = work.top + 80 + kBackdropMargin;
  const std::string title =
      "ZELTRA_ScreenTool check framed window " + std::to_string(::GetCurrentProcessId());
  FramedScene scene;
  const HWND framed = scene.open(title, RECT{left, top, left + kFramedWidth, top + kFramedHeight});
  if (framed == nullptr) {
    report.fail("could not open the framed test window");
    return;
  }
  RECT rect{};
  ::GetWindowRect(framed, &rect);
  const RECT frame = visibleFrame(framed);
  report.note("framed test window: rectangle " + corners(rect) + ", visible frame " +
              corners(frame) + " (the compositor's bounds)");
  const OutputPlace place = prepareOutput(setup, kFileName);
  if (recordBriefly(report, setup, title, place.file)) {
    judgeEdges(report, setup, place.file, frame);
  }
  if (interruption() != Interruption::kConsoleClosing) removeOutput(report, place, setup.keep);
}

}  // namespace zeltra::check
