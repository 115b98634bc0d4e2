// zeltra_screentool.h: start and stop a ZELTRA_ScreenTool recording from C++.
//
// One header, C++17, <windows.h> and the standard library only; every name in
// zeltra::caller. Copy it into your project as it stands.
//
//   #include "zeltra_screentool.h"
//   namespace zc = zeltra::caller;
//
//   zc::StartResult started = zc::startRecording(L"C:\\Tools\\ZELTRA_ScreenTool.exe",
//                                                L"Demo Window", L"C:\\rec\\clip.avi");
//   if (started.outcome != zc::StartOutcome::kStarted) {
//     // refused: zc::refusalReason(started.refusal); failed: started.windowsError
//   }
//   ... the launcher waits for the window titled "Demo Window" and records it ...
//   const zc::StopResult stopped = started.recording.stop();  // bounded: 20 s by default
//   if (stopped.outcome == zc::StopOutcome::kStopped && stopped.output == zc::OutputFile::kWritten)
//   {
//     // C:\rec\clip.avi is finished
//   }
//
// What it guards against:
// - Texts the launcher would read differently are refused before anything
//   starts, with the reason (see Refusal). Every character must reach the
//   launcher unchanged in the system's ANSI code page, the one the launcher
//   reads its command line in, which is not the caller's own where the
//   caller's manifest makes its code page UTF-8.
// - A stop sent before the launcher has created its control window is not
//   lost: the stop waits for that window while the launcher runs.
// - The control window found is the one of the launcher this object started,
//   never another launcher's.
// - Every wait is bounded, and a launcher that ended at once is told apart
//   from one that records.
//
// A Recording that goes out of scope while its launcher runs asks it to stop
// and does not wait for the file: it waits up to 1 s for the control window
// (the launcher creates it first thing, long before it starts an encoder),
// posts the stop, and waits up to 1 s for the window to go (the stop
// accepted: from then on the launcher sees its encoder through by itself).
// A launcher whose window never appeared in that time has started no encoder
// yet, so it is ended (exit code 1), which leaves nothing behind. The
// destructor blocks for about 2 s at most. Call stop() to know how it ended.
#pragma once

// C++17 at least. MSVC states its language in _MSVC_LANG: its __cplusplus
// stays 199711L unless /Zc:__cplusplus is given.
#if defined(_MSVC_LANG) ? _MSVC_LANG < 201703L : __cplusplus < 201703L
#error "zeltra_screentool.h needs C++17: compile with /std:c++17 (MSVC) or -std=c++17 (GCC, Clang)"
#endif

// MSVC links the Windows libraries the header calls by itself.
#ifdef _MSC_VER
#pragma comment(lib, "user32.lib")
#pragma comment(lib, "advapi32.lib")
#endif

#include <cstddef>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace zeltra::caller {

// Kept in step with the project's version.
inline constexpr char kCallerVersion[] = "1.0.0";

// Why a start was refused. Each names a text the launcher would read
// differently, or not at all.
enum class Refusal {
  kNone,
  kEmptyTitle,
  kTitleHoldsHash,
  kEmptyOutputPath,
  kOutputPathStartsWithHash,
  kOutputPathHoldsDoubleQuote,
  kHoldsNul,
  kEmptyLauncherPath,
  kLauncherPathHoldsDoubleQuote,
  kNotInCallersCodePage,
  kNotInLaunchersCodePage,
  kCommandLineTooLong,
};

inline const char* refusalReason(Refusal refusal) {
  switch (refusal) {
    case Refusal::kNone:
      return "not refused";
    case Refusal::kEmptyTitle:
      return "the title is empty: the launcher would take the output path's first part for it";
    case Refusal::kTitleHoldsHash:
      return "the title holds '#': the launcher would end the title there and take the rest for "
             "the output path";
    case Refusal::kEmptyOutputPath:
      return "the output path is empty: the launcher would have nothing to record into";
    case Refusal::kOutputPathStartsWithHash:
      return "the output path begins with '#', which the launcher would skip";
    case Refusal::kOutputPathHoldsDoubleQuote:
      return "the output path holds a double quote, which the launcher refuses (no Windows path "
             "holds one)";
    case Refusal::kHoldsNul:
      return "a text holds a NUL character, where the launcher's command line would end";
    case Refusal::kEmptyLauncherPath:
      return "the launcher's path is empty";
    case Refusal::kLauncherPathHoldsDoubleQuote:
      return "the launcher's path holds a double quote, which would end its quoted name early";
    case Refusal::kNotInCallersCodePage:
      return "a narrow text is not valid in the caller's code page";
    case Refusal::kNotInLaunchersCodePage:
      return "a text holds a character the system's ANSI code page cannot hold: the launcher "
             "would read another character";
    case Refusal::kCommandLineTooLong:
      return "the command line would exceed the 32767 characters Windows allows";
  }
  return "unknown refusal";
}

// A composed text in the launcher's code page, or why there is none.
struct ComposedText {
  Refusal refusal = Refusal::kNone;
  std::string text;  // empty when refused
};

// The invocation, "title#pathHead#pathTail", as the launcher splits it back:
// runs of '#' before the title and before the head are skipped, the head ends
// at the next '#', and the tail is the verbatim rest. So the text begins with
// '#' (nothing the launcher's start-up code skips, blanks or other bytes, can
// then reach the title), and the path is cut before its first '#', which the
// tail keeps. Texts are bytes in the launcher's code page; '#' and '"' are
// never the second byte of a two-byte character there, so byte scans are exact.
inline ComposedText composeInvocation(std::string_view title, std::string_view outputPath) {
  constexpr char kHash = '#';
  if (title.find('\0') != std::string_view::npos ||
      outputPath.find('\0') != std::string_view::npos) {
    return {Refusal::kHoldsNul, {}};
  }
  if (title.empty()) return {Refusal::kEmptyTitle, {}};
  if (title.find(kHash) != std::string_view::npos) return {Refusal::kTitleHoldsHash, {}};
  if (outputPath.empty()) return {Refusal::kEmptyOutputPath, {}};
  if (outputPath.front() == kHash) return {Refusal::kOutputPathStartsWithHash, {}};
  if (outputPath.find('"') != std::string_view::npos) {
    return {Refusal::kOutputPathHoldsDoubleQuote, {}};
  }
  std::string text(1, kHash);
  text.append(title);
  text += kHash;
  const std::size_t firstHash = outputPath.find(kHash);
  text.append(outputPath.substr(0, firstHash));
  if (firstHash != std::string_view::npos) {
    text += kHash;
    text.append(outputPath.substr(firstHash));
  }
  return {Refusal::kNone, std::move(text)};
}

// The whole command line: the launcher's path in double quotes, one blank,
// the invocation unquoted. The launcher's start-up code takes everything from
// the first quote to the next as its own name, so that path holds no quote.
inline ComposedText composeCommandLine(std::string_view launcherPath, std::string_view title,
                                       std::string_view outputPath) {
  if (launcherPath.empty()) return {Refusal::kEmptyLauncherPath, {}};
  if (launcherPath.find('\0') != std::string_view::npos) return {Refusal::kHoldsNul, {}};
  if (launcherPath.find('"') != std::string_view::npos) {
    return {Refusal::kLauncherPathHoldsDoubleQuote, {}};
  }
  ComposedText invocation = composeInvocation(title, outputPath);
  if (invocation.refusal != Refusal::kNone) return invocation;
  std::string text(1, '"');
  text.append(launcherPath);
  text.append("\" ");
  text.append(invocation.text);
  return {Refusal::kNone, std::move(text)};
}

}  // namespace zeltra::caller

#ifdef _WIN32
#include <windows.h>

namespace zeltra::caller {

// The whole stop, from sending it to the launcher's exit: the launcher gives
// its encoder 10 s to finish after the stop command, then ends it; the rest
// covers the stop command itself and a slow machine.
inline constexpr DWORD kDefaultStopDeadlineMs = 20000;

enum class StartOutcome {
  kStarted,  // the launcher runs; the recording holds it
  kRefused,  // nothing started: refusal says why
  kFailed,   // Windows could not start it: windowsError says why
};

enum class ControlWindowState {
  kAppeared,       // the launcher's own control window exists (or existed: the stop was taken)
  kLauncherEnded,  // the launcher exited without it
  kNotYet,         // the wait's time ran out first
};

struct ControlWindowWait {
  ControlWindowState state = ControlWindowState::kNotYet;
  DWORD msSinceStart = 0;  // when the window was first seen, counted from the start
};

enum class StopOutcome {
  kStopped,          // the launcher accepted the stop and exited: its recording is finished
  kEndedBeforeStop,  // it had ended before the stop reached it: exitCode says with what
  kStopNotAccepted,  // its control window did not take the stop before the deadline
  kNotExited,        // it took the stop but had not exited by the deadline
  kNoLauncher,       // this object holds no launcher (never started, or moved from)
};

enum class OutputFile { kMissing, kEmpty, kWritten };

struct StopResult {
  StopOutcome outcome = StopOutcome::kNoLauncher;
  std::optional<DWORD> exitCode;             // once the launcher has exited
  OutputFile output = OutputFile::kMissing;  // the output file when the stop returned
  std::optional<DWORD> acceptedAfterMs;  // the control window gone, counted from the stop's begin
  std::optional<DWORD> exitedAfterMs;    // the launcher's exit, counted from the stop's begin
};

namespace detail {

inline constexpr wchar_t kControlWindowName[] = L"ZELTRA_ScreenTool";  // its class and title
inline constexpr UINT kStopMessage = WM_USER + 1;                      // 1025
inline constexpr DWORD kPollMs = 10;
inline constexpr std::size_t kLongestCommandLine = 32766;  // CreateProcess's limit, NUL excluded
inline constexpr DWORD kLeavingWindowWaitMs = 1000;
inline constexpr DWORD kLeavingAcceptWaitMs = 1000;

// A bounded wait measured with GetTickCount; unsigned differences stay right
// across its wrap.
class Deadline {
 public:
  explicit Deadline(DWORD lengthMs) : begin_(::GetTickCount()), length_(lengthMs) {}
  DWORD elapsedMs() const { return ::GetTickCount() - begin_; }
  DWORD remainingMs() const {
    const DWORD elapsed = elapsedMs();
    return elapsed >= length_ ? 0 : length_ - elapsed;
  }

 private:
  DWORD begin_;
  DWORD length_;
};

// The system's ANSI code page, which the launcher reads its command line in.
// A process's own code page is that one unless its manifest makes it UTF-8;
// then the system's is read where Windows keeps it.
inline UINT launcherCodePage() {
  const UINT own = ::GetACP();
  if (own != CP_UTF8) return own;
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return own;
  }
  wchar_t value[16] = {};
  DWORD size = sizeof value - sizeof(wchar_t);
  DWORD type = 0;
  const LONG status =
      ::RegQueryValueExW(key, L"ACP", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  ::RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return own;
  const unsigned long codePage = std::wcstoul(value, nullptr, 10);
  return codePage != 0 ? static_cast<UINT>(codePage) : own;
}

inline bool toWide(std::string_view text, UINT codePage, DWORD flags, std::wstring& wide) {
  wide.clear();
  if (text.empty()) return true;
  const int length = static_cast<int>(text.size());
  const int needed = ::MultiByteToWideChar(codePage, flags, text.data(), length, nullptr, 0);
  if (needed <= 0) return false;
  wide.resize(static_cast<std::size_t>(needed));
  return ::MultiByteToWideChar(codePage, flags, text.data(), length, wide.data(), needed) == needed;
}

// The text in the code page, only when every character is there as it is:
// no best-fit stand-in (the yen sign becoming a backslash in code page 932),
// no default character, confirmed by converting back. UTF-8 takes neither
// the flag nor the default-character report; its round trip catches a lone
// surrogate.
inline bool toCodePage(std::wstring_view text, UINT codePage, std::string& bytes) {
  bytes.clear();
  if (text.empty()) return true;
  const bool utf8 = codePage == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* const usedDefaultReport = utf8 ? nullptr : &usedDefault;
  const int length = static_cast<int>(text.size());
  const int needed =
      ::WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return false;
  bytes.resize(static_cast<std::size_t>(needed));
  if (::WideCharToMultiByte(codePage, flags, text.data(), length, bytes.data(), needed, nullptr,
                            usedDefaultReport) != needed ||
      usedDefault) {
    return false;
  }
  std::wstring back;
  return toWide(bytes, codePage, MB_ERR_INVALID_CHARS, back) && back == text;
}

// Owns a kernel handle; both null and INVALID_HANDLE_VALUE mean none.
class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE handle = nullptr) : handle_(handle) {}
  ~OwnedHandle() { reset(); }
  OwnedHandle(OwnedHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  OwnedHandle& operator=(OwnedHandle&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  void reset() {
    if (valid()) ::CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_;
};

// The control window of the one launcher process: any launcher's window has
// the same class and title, so only its owner tells them apart.
inline HWND findControlWindowOf(DWORD processId) {
  HWND window = nullptr;
  while ((window = ::FindWindowExW(/*hWndParent=*/nullptr, window, kControlWindowName,
                                   kControlWindowName)) != nullptr) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == processId) return window;
  }
  return nullptr;
}

inline bool windowBelongsTo(HWND window, DWORD processId) {
  DWORD owner = 0;
  return ::IsWindow(window) && ::GetWindowThreadProcessId(window, &owner) != 0 &&
         owner == processId;
}

inline OutputFile inspectOutput(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (path.empty() || !::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return OutputFile::kMissing;
  }
  return data.nFileSizeLow != 0 || data.nFileSizeHigh != 0 ? OutputFile::kWritten
                                                           : OutputFile::kEmpty;
}

// The path as the launcher's encoder resolves it: against the current
// directory at the start, which the launcher and its encoder inherit.
inline std::wstring absolutePath(const std::wstring& path) {
  const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::wstring full(needed, L'\0');
  const DWORD length = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return path;
  full.resize(length);
  return full;
}

// What a successful start hands to its Recording.
struct StartedLauncher {
  HANDLE process = nullptr;
  DWORD processId = 0;
  DWORD startTick = 0;
  std::wstring outputPath;
};

}  // namespace detail

// One started launcher: move-only, and it owns the launcher's process.
class Recording {
 public:
  Recording() = default;
  explicit Recording(detail::StartedLauncher started)
      : process_(started.process),
        processId_(started.processId),
        startTick_(started.startTick),
        outputPath_(std::move(started.outputPath)) {}
  ~Recording() { leave(); }
  Recording(Recording&& other) noexcept { take(other); }
  Recording& operator=(Recording&& other) noexcept {
    if (this != &other) {
      leave();
      take(other);
    }
    return *this;
  }
  Recording(const Recording&) = delete;
  Recording& operator=(const Recording&) = delete;

  // Whether this object holds a launcher (running or ended).
  bool holdsLauncher() const { return process_.valid(); }
  DWORD processId() const { return processId_; }
  // GetTickCount when the launcher was started.
  DWORD startTick() const { return startTick_; }

  // Waits at most timeoutMs for the launcher's own control window; a stop is
  // taken from then on. Returns at once when it was seen before.
  ControlWindowWait waitForControlWindow(DWORD timeoutMs) {
    ControlWindowWait wait;
    if (!holdsLauncher()) {
      wait.state = ControlWindowState::kLauncherEnded;
      return wait;
    }
    const detail::Deadline deadline(timeoutMs);
    awaitControlWindow(deadline);
    if (windowSeenAfterMs_) {
      wait.state = ControlWindowState::kAppeared;
      wait.msSinceStart = *windowSeenAfterMs_;
    } else if (hasExited()) {
      wait.state = ControlWindowState::kLauncherEnded;
    }
    return wait;
  }

  // Sends the stop to the launcher's own control window, waiting for that
  // window first while the launcher runs, then waits for both of the stop's
  // signals: the window gone (the stop accepted) and the launcher's exit (its
  // file finished). One deadline covers all of it. May be called again, with
  // a new deadline, after kStopNotAccepted or kNotExited.
  StopResult stop(DWORD deadlineMs = kDefaultStopDeadlineMs) {
    StopResult result;
    if (!holdsLauncher()) return result;
    const detail::Deadline deadline(deadlineMs);
    if (!stopAccepted_) {
      result.outcome = deliverStop(deadline);
      if (result.outcome == StopOutcome::kStopped) result.acceptedAfterMs = deadline.elapsedMs();
    }
    if (stopAccepted_) {
      if (::WaitForSingleObject(process_.get(), deadline.remainingMs()) == WAIT_OBJECT_0) {
        result.outcome = StopOutcome::kStopped;
        result.exitedAfterMs = deadline.elapsedMs();
      } else {
        result.outcome = StopOutcome::kNotExited;
      }
    }
    DWORD code = 0;
    if (hasExited() && ::GetExitCodeProcess(process_.get(), &code)) result.exitCode = code;
    result.output = detail::inspectOutput(outputPath_);
    return result;
  }

 private:
  bool hasExited() const { return ::WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0; }

  // The control window, waited for while the launcher runs; null when the
  // launcher ended, the time ran out, or the window has gone since it was seen.
  HWND awaitControlWindow(const detail::Deadline& deadline) {
    for (;;) {
      const HWND window = detail::findControlWindowOf(processId_);
      if (window != nullptr) {
        if (!windowSeenAfterMs_) windowSeenAfterMs_ = ::GetTickCount() - startTick_;
        return window;
      }
      if (windowSeenAfterMs_) return nullptr;  // gone: the stop was taken, from here or elsewhere
      // Waiting on the process, not sleeping: an exit ends the wait at once.
      const DWORD pause =
          deadline.remainingMs() < detail::kPollMs ? deadline.remainingMs() : detail::kPollMs;
      if (::WaitForSingleObject(process_.get(), pause) != WAIT_TIMEOUT ||
          deadline.remainingMs() == 0) {
        return nullptr;
      }
    }
  }

  // Whether the window went (or its launcher exited) before the deadline.
  bool awaitWindowGone(HWND window, const detail::Deadline& deadline) {
    for (;;) {
      if (!detail::windowBelongsTo(window, processId_) || hasExited()) return true;
      const DWORD pause =
          deadline.remainingMs() < detail::kPollMs ? deadline.remainingMs() : detail::kPollMs;
      if (pause == 0) return false;
      if (::WaitForSingleObject(process_.get(), pause) == WAIT_OBJECT_0) return true;
    }
  }

  // Brings the stop to the launcher's own control window and waits for the
  // window to go. kStopped here means accepted; the exit is waited for after.
  StopOutcome deliverStop(const detail::Deadline& deadline) {
    if (hasExited()) return StopOutcome::kEndedBeforeStop;
    const HWND window = awaitControlWindow(deadline);
    if (window != nullptr) {
      ::PostMessageW(window, detail::kStopMessage, 0, 0);
      if (!awaitWindowGone(window, deadline)) return StopOutcome::kStopNotAccepted;
    } else if (!windowSeenAfterMs_) {
      return hasExited() ? StopOutcome::kEndedBeforeStop : StopOutcome::kStopNotAccepted;
    }
    stopAccepted_ = true;
    return StopOutcome::kStopped;
  }

  // Out of scope: see the top of this header.
  void leave() noexcept {
    if (holdsLauncher() && !stopAccepted_ && !hasExited()) {
      const HWND window = awaitControlWindow(detail::Deadline(detail::kLeavingWindowWaitMs));
      if (window != nullptr) {
        ::PostMessageW(window, detail::kStopMessage, 0, 0);
        awaitWindowGone(window, detail::Deadline(detail::kLeavingAcceptWaitMs));
      } else if (!windowSeenAfterMs_ && !hasExited()) {
        ::TerminateProcess(process_.get(), 1);
      }
    }
    process_.reset();
    processId_ = 0;
  }

  void take(Recording& other) noexcept {
    process_ = std::move(other.process_);
    processId_ = std::exchange(other.processId_, 0);
    startTick_ = other.startTick_;
    outputPath_ = std::move(other.outputPath_);
    windowSeenAfterMs_ = std::exchange(other.windowSeenAfterMs_, std::nullopt);
    stopAccepted_ = std::exchange(other.stopAccepted_, false);
  }

  detail::OwnedHandle process_;
  DWORD processId_ = 0;
  DWORD startTick_ = 0;
  std::wstring outputPath_;  // absolute, for the check after the stop
  std::optional<DWORD> windowSeenAfterMs_;
  bool stopAccepted_ = false;
};

struct StartResult {
  StartOutcome outcome = StartOutcome::kRefused;
  Refusal refusal = Refusal::kNone;  // why, when refused
  DWORD windowsError = 0;            // GetLastError of the failed start
  Recording recording;               // the launcher, when started
};

namespace detail {

inline StartResult startLauncher(std::wstring_view launcherPath, std::wstring_view title,
                                 std::wstring_view outputPath) {
  StartResult result;
  const UINT codePage = launcherCodePage();
  std::string launcherBytes, titleBytes, pathBytes;
  if (!toCodePage(launcherPath, codePage, launcherBytes) ||
      !toCodePage(title, codePage, titleBytes) || !toCodePage(outputPath, codePage, pathBytes)) {
    result.refusal = Refusal::kNotInLaunchersCodePage;
    return result;
  }
  const ComposedText composed = composeCommandLine(launcherBytes, titleBytes, pathBytes);
  if (composed.refusal != Refusal::kNone) {
    result.refusal = composed.refusal;
    return result;
  }
  // Every part converted back exactly, so the whole does too.
  std::wstring commandLine;
  if (!toWide(composed.text, codePage, MB_ERR_INVALID_CHARS, commandLine)) {
    result.refusal = Refusal::kNotInLaunchersCodePage;
    return result;
  }
  if (commandLine.size() > kLongestCommandLine) {
    result.refusal = Refusal::kCommandLineTooLong;
    return result;
  }
  const std::wstring application(launcherPath);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  // The application named apart from the command line: no search along the
  // path, and no other reading of the quoted name.
  if (!::CreateProcessW(application.c_str(), commandLine.data(), /*lpProcessAttributes=*/nullptr,
                        /*lpThreadAttributes=*/nullptr, /*bInheritHandles=*/FALSE,
                        /*dwCreationFlags=*/0, /*lpEnvironment=*/nullptr,
                        /*lpCurrentDirectory=*/nullptr, &startup, &process)) {
    result.outcome = StartOutcome::kFailed;
    result.windowsError = ::GetLastError();
    return result;
  }
  ::CloseHandle(process.hThread);
  result.recording =
      Recording(StartedLauncher{process.hProcess, process.dwProcessId, ::GetTickCount(),
                                absolutePath(std::wstring(outputPath))});
  result.outcome = StartOutcome::kStarted;
  return result;
}

}  // namespace detail

// Starts the launcher to record the window titled title into outputPath.
inline StartResult startRecording(std::wstring_view launcherPath, std::wstring_view title,
                                  std::wstring_view outputPath) {
  return detail::startLauncher(launcherPath, title, outputPath);
}

// The same with narrow texts in the caller's own code page (GetACP).
inline StartResult startRecording(std::string_view launcherPath, std::string_view title,
                                  std::string_view outputPath) {
  std::wstring launcherWide, titleWide, pathWide;
  if (!detail::toWide(launcherPath, CP_ACP, MB_ERR_INVALID_CHARS, launcherWide) ||
      !detail::toWide(title, CP_ACP, MB_ERR_INVALID_CHARS, titleWide) ||
      !detail::toWide(outputPath, CP_ACP, MB_ERR_INVALID_CHARS, pathWide)) {
    StartResult result;
    result.refusal = Refusal::kNotInCallersCodePage;
    return result;
  }
  return detail::startLauncher(launcherWide, titleWide, pathWide);
}

}  // namespace zeltra::caller
#endif  // _WIN32
