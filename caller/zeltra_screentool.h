// SPDX-License-Identifier: MIT
// Copyright (c) 2026 the ZELTRA_ScreenTool authors
//
// zeltra_screentool.h: start and stop a ZELTRA_ScreenTool recording from C++.
//
// One header, C++17, <windows.h> and the standard library only; every name in
// zeltra::caller. Copy it into your project as it stands. The API comes
// first, then its implementation; what lies in zeltra::caller::detail is not
// part of the API.
//
//   #include "zeltra_screentool.h"
//   namespace zc = zeltra::caller;
//
//   zc::StartResult started = zc::startRecording(L"C:\\Tools\\ZELTRA_ScreenTool.exe",
//                                                L"Demo Window", L"C:\\rec\\clip.avi");
//   if (started.outcome != zc::StartOutcome::kStarted) {
//     // refused: zc::refusalReason(started.refusal); failed: started.windowsError
//     return;
//   }
//   zc::Recording recording = std::move(started.recording);
//   recording.waitForRecording(30000);  // from its return on, what is shown is recorded
//   ... the scripted actions ...
//   const zc::StopResult stopped = recording.stop();  // bounded: 30 s by default
//   if (stopped.coversTheRecording()) {
//     // C:\rec\clip.avi is this run's recording, closed by the encoder it was recording into
//   }
//   // else zc::toString(stopped.outcome), toString(stopped.output), toString(stopped.encoder)
//
// A stop that does not block: recording.requestStop() asks and returns at
// once; wait on recording.processHandle() in your own loop (with
// MsgWaitForMultipleObjects, say), calling requestStop() again at each wake
// until it says kAccepted, and take stop() for the result once the handle
// is signalled: it posts nothing again.
//
// What it guards against:
// - Texts the launcher would read differently are refused before anything
//   starts, with the reason (see Refusal). Every character of the title and
//   the output path must reach the launcher unchanged in the system's ANSI
//   code page, the one the launcher reads its invocation in, which is not the
//   caller's own where the caller's manifest makes its code page UTF-8. The
//   launcher's own path may hold any character: the launcher reads it wide.
// - A stop asked for before the launcher has created its control window is
//   not lost: it is kept, and posted by the first call that sees the window.
// - The control window found is the one of the launcher this object started,
//   never another launcher's.
// - Every wait is bounded, and a launcher that ended at once is told apart
//   from one that records.
// - The output file is judged against its state before the start: a file an
//   earlier run left is not taken for this run's, and an AVI file is judged
//   finished from its bytes (see OutputFile).
// - The launcher runs in a job the Recording owns (see LauncherJob): a caller
//   that dies, crashing or killed, takes its launcher and encoder with it,
//   and that file is unfinished. Once the stop is accepted, the first call
//   to see it lifts that, so the launcher then finishes the file by itself.
//
// A Recording that goes out of scope while its launcher runs asks it to stop
// and does not wait for the file: it waits up to 1 s for the control window
// (the launcher creates it first thing, long before it starts an encoder),
// posts the stop, and waits up to 1 s for the window to go (the stop
// accepted: from then on the launcher sees its encoder through by itself, as
// the job no longer ends it). A launcher whose window never appeared in that
// time, or that refused the post, is ended with everything in its job (exit
// code 1). The destructor blocks for about 2 s at most. Call stop() to know
// how it ended.
#pragma once

// C++17 at least. MSVC states its language in _MSVC_LANG: its __cplusplus
// stays 199711L unless /Zc:__cplusplus is given.
#if defined(_MSVC_LANG) ? _MSVC_LANG < 201703L : __cplusplus < 201703L
#error "zeltra_screentool.h needs C++17: compile with /std:c++17 (MSVC) or -std=c++17 (GCC, Clang)"
#endif

// The version, for #if: kCallerVersion below says the same as text.
#define ZELTRA_SCREENTOOL_VERSION_MAJOR 2
#define ZELTRA_SCREENTOOL_VERSION_MINOR 1
#define ZELTRA_SCREENTOOL_VERSION_PATCH 0

// MSVC links the Windows libraries the header calls by itself.
#ifdef _MSC_VER
#pragma comment(lib, "user32.lib")
#pragma comment(lib, "advapi32.lib")
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The part above the Windows one compiles anywhere, so that it is tested
// natively too.
#ifdef _WIN32
#include <windows.h>
#endif

namespace zeltra::caller {

// ---------------------------------------------------------------------------
// The API
// ---------------------------------------------------------------------------

// Kept in step with the project's version.
inline constexpr char kCallerVersion[] = "2.1.0";

// The whole stop, from sending it to the launcher's exit. The launcher's worst
// case is 23 s: its stop command's bound (3 s), the wait for the command's
// ended processes to be gone (5 s), its encoder's 10 s to finish, and the wait
// after ending an encoder that did not (5 s). The rest is margin for a slow machine.
inline constexpr std::uint32_t kDefaultStopDeadlineMs = 30000;

// Why a start was refused. Each names a text the launcher would read
// differently, or not at all.
enum class Refusal {
  kNone,
  kEmptyTitle,
  kTitleHoldsHash,
  kEmptyOutputPath,
  kOutputPathStartsWithHash,
  kOutputPathHoldsDoubleQuote,
  kOutputPathNamesProtocol,
  kOutputPathReadsAsOption,
  kHoldsNul,
  kEmptyLauncherPath,
  kLauncherPathHoldsDoubleQuote,
  kNotInCallersCodePage,
  kNotInLaunchersCodePage,
  kCommandLineTooLong,
};

// The refusal in a sentence, for a person.
inline const char* refusalReason(Refusal refusal);

enum class StartOutcome {
  kStarted,  // the launcher runs; the recording holds it
  kRefused,  // nothing started: refusal says why
  kFailed,   // Windows could not start it: windowsError says why
};

// Where the launcher runs. A job the Recording owns ends the launcher and
// everything it started once the job's last handle closes, as when the
// caller dies; a normal drop lifts that first. Where the caller itself runs
// in a job, the recording's job nests inside it (Windows 8 and later), so
// the caller's job keeps its limits and its clean-up over the launcher.
// Windows 7 cannot nest jobs: there the launcher breaks away from the
// caller's job where that job allows it, and else runs in the caller's job
// alone.
enum class LauncherJob {
  kOwn,          // in the recording's own job
  kOwnNested,    // in the recording's own job, within the caller's (Windows 8 and later)
  kBrokeAway,    // broke away from the caller's job into the recording's own (Windows 7)
  kCallersOnly,  // in the caller's job alone: it outlives this caller unless that job ends it
  kNone,         // in no job: no job could be made or joined, so it outlives a caller that dies
};

enum class ControlWindowState {
  kAppeared,       // the launcher's own control window exists (or existed: the stop was taken)
  kLauncherEnded,  // the launcher exited without it
  kNotYet,         // the wait's time ran out first
};

enum class RecordingState {
  kBegun,          // this run's file has begun: written since the start, and not empty
  kEncoderEnded,   // an encoder was seen in the recording's job and has gone, the file not begun
  kLauncherEnded,  // the launcher exited, the file not begun
  kNotYet,         // the wait's time ran out first
};

// The encoder as the stop began (its first ask), read from the recording's job.
enum class EncoderAtStop {
  kNotKnown,  // no job of the recording's own to look in (see LauncherJob)
  kRunning,   // an ffmpeg.exe ran in the job
  kNone,      // none did: it had ended before the stop (cut short by another start's or stop's
              // command, or refusing its output path), or the launcher had not started one
};

enum class StopOutcome {
  kStopped,          // the launcher accepted the stop and exited: see output for the file
  kEndedBeforeStop,  // it had ended before the stop reached it: exitCode says with what
  kStopNotAccepted,  // its control window did not take the stop before the deadline, or
                     // refused the post (postError)
  kNotExited,        // it took the stop but had not exited by the deadline
  kNoLauncher,       // this object holds no launcher (never started, or moved from)
};

// What became of the output file, judged against its state before the start.
// kWritten is kept for a container this header cannot judge; compare with
// kFinished to take a file as this run's finished recording.
enum class OutputFile {
  kMissing,     // not there (or a directory)
  kEmpty,       // there and changed by this run, 0 bytes
  kWritten,     // written by this run, its finish not judged (not an AVI file)
  kNotThisRun,  // unchanged since before the start: size and last-write time alike
  kUnfinished,  // written by this run, but the encoder never closed it
  kFinished,    // written by this run and closed by the encoder
};

// Where a stop asked for without waiting has got to.
enum class StopRequestState {
  kKept,             // no control window yet: the first call to see it posts the stop
  kPosted,           // the control window took the post; the launcher is to accept it
  kAccepted,         // the window has gone: the launcher finishes by itself (see processHandle)
  kPostRefused,      // the window refused the post: windowsError says why; ask again to retry
  kEndedBeforeStop,  // the launcher had ended before the stop reached it
  kNoLauncher,       // this object holds no launcher
};

// Each value's stable token, lower case with '-' between words ("own-nested",
// "ended-before-stop"), for logs and for programs that read them.
inline const char* toString(Refusal value);
inline const char* toString(StartOutcome value);
inline const char* toString(LauncherJob value);
inline const char* toString(ControlWindowState value);
inline const char* toString(RecordingState value);
inline const char* toString(EncoderAtStop value);
inline const char* toString(StopOutcome value);
inline const char* toString(OutputFile value);
inline const char* toString(StopRequestState value);

// What a Recording holds, complete here; the rest of detail is with the
// implementation.
namespace detail {
// A file's state at one moment; lastWrite is the FILETIME, 100 ns units.
struct FileSnapshot {
  bool exists = false;
  std::uint64_t size = 0;
  std::uint64_t lastWrite = 0;
};
#ifdef _WIN32
// Owns a kernel handle; both null and INVALID_HANDLE_VALUE mean none.
class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE handle = nullptr) : handle_(handle) {}
  ~OwnedHandle() { reset(); }
  OwnedHandle(OwnedHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  OwnedHandle& operator=(OwnedHandle&& other) noexcept;
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  void reset();

 private:
  HANDLE handle_;
};
struct StartedLauncher;
#endif
}  // namespace detail

#ifdef _WIN32

struct ControlWindowWait {
  ControlWindowState state = ControlWindowState::kNotYet;
  DWORD msSinceStart = 0;  // when the window was first seen, counted from the start
};

struct RecordingWait {
  RecordingState state = RecordingState::kNotYet;
  DWORD msSinceStart = 0;  // when the wait ended, counted from the start
};

struct StopRequest {
  StopRequestState state = StopRequestState::kNoLauncher;
  DWORD windowsError = 0;  // GetLastError of the refused post, with kPostRefused
  bool posted() const { return state == StopRequestState::kPosted || accepted(); }
  bool accepted() const { return state == StopRequestState::kAccepted; }
};

// Times count from the stop's begin, its first ask, up to when a call of the
// Recording first saw them.
struct StopResult {
  StopOutcome outcome = StopOutcome::kNoLauncher;
  std::optional<DWORD> exitCode;                     // once the launcher has exited
  OutputFile output = OutputFile::kMissing;          // the output file when the stop returned
  EncoderAtStop encoder = EncoderAtStop::kNotKnown;  // as the stop began
  std::optional<DWORD> acceptedAfterMs;              // the control window gone
  std::optional<DWORD> exitedAfterMs;                // the launcher's exit
  std::optional<DWORD> postError;  // GetLastError of a refused post: this stop ended at once
  // With StartOptions::collectReasons: the launcher's lines so far, as it
  // wrote them to the standard error it was handed, without their
  // "ZELTRA_ScreenTool: " and line end, in the system's ANSI code page. They
  // say why it did what it did ("could not start ...", "the encoder ended on
  // its own ..."), where no debugger or debug-output viewer reads them.
  std::vector<std::string> reasons;

  // Whether the file holds the whole recording: the launcher took the stop
  // and exited (kStopped), the file is this run's and the encoder closed it
  // (kFinished), and that encoder still ran as the stop began (kRunning).
  // False where:
  // - the encoder had ended before the stop (kNone): a capture failure (a lock
  //   screen, a UAC prompt, a disconnected session: the encoder's screen
  //   input ends, it writes its trailer and exits 0, so the file is finished
  //   but stops short), another start's stop command, or a path it could not
  //   open;
  // - the file is not finished (missing, empty, unfinished, not this run's);
  // - its container cannot be judged (kWritten: any name not ending in .avi);
  // - there was no job of the recording's own to look in (kNotKnown).
  bool coversTheRecording() const;
};

// One started launcher: move-only, and it owns the launcher's process and
// the recording's job.
class Recording {
 public:
  Recording() = default;
  explicit Recording(detail::StartedLauncher started);
  ~Recording() { leave(); }
  Recording(Recording&& other) noexcept { take(other); }
  Recording& operator=(Recording&& other) noexcept;
  Recording(const Recording&) = delete;
  Recording& operator=(const Recording&) = delete;

  // Whether this object holds a launcher (running or ended).
  bool holdsLauncher() const { return process_.valid(); }
  DWORD processId() const { return processId_; }
  // The launcher's process, signalled at its exit, to wait on with others;
  // the Recording keeps owning it. Null when it holds no launcher.
  HANDLE processHandle() const { return process_.get(); }
  // GetTickCount when the launcher was started.
  DWORD startTick() const { return startTick_; }

  // Waits at most timeoutMs for the launcher's own control window; a stop is
  // taken from then on. Returns at once when it was seen before. The window
  // comes first thing: it says nothing about the recording (see
  // waitForRecording).
  ControlWindowWait waitForControlWindow(DWORD timeoutMs);

  // Waits at most timeoutMs for this run's output file to begin: written
  // since the start (with -y the encoder first cuts an old file to 0 bytes)
  // and not empty. From its return with kBegun on, what is shown is
  // recorded. It looks every 10 ms: an encoder that lived shorter than that
  // may go unseen, and the wait then runs to its bound.
  RecordingWait waitForRecording(DWORD timeoutMs);

  // Asks for the stop and returns at once. Before the control window exists
  // the stop is kept, and the first call of this object to see the window
  // posts it: requestStop() again, either wait, or stop(). Called again (at
  // each wake of a wait on processHandle(), say), it posts a kept stop,
  // retries a refused post, and notes the acceptance, from which on a caller
  // that dies leaves the launcher to finish. A taken post is never sent
  // again, by this or by stop().
  StopRequest requestStop();

  // Asks for the stop (unless asked before), waiting for the control window
  // while the launcher runs, then waits for both of the stop's signals: the
  // window gone (the stop accepted) and the launcher's exit. One deadline
  // covers all of it; a refused post ends it at once. May be called again,
  // with a new deadline, after kStopNotAccepted or kNotExited. The file is
  // judged as the stop returns: see output.
  StopResult stop(DWORD deadlineMs = kDefaultStopDeadlineMs);

 private:
  struct Stop {
    std::optional<StopRequestState> state;  // kKept, kPosted, kAccepted or kEndedBeforeStop
    DWORD askedTick = 0;
    EncoderAtStop encoder = EncoderAtStop::kNotKnown;
    HWND postedTo = nullptr;
    std::optional<DWORD> acceptedAfterMs;
  };

  bool hasExited() const;
  EncoderAtStop encoderNow() const;
  void lookForWindow();
  void ask();
  std::optional<DWORD> advance();
  void accept();
  bool reached(StopRequestState goal) const;
  std::optional<DWORD> driveStop(DWORD boundMs, StopRequestState goal);
  void leave() noexcept;
  void take(Recording& other) noexcept;
  void readReasons();

  detail::OwnedHandle process_;
  detail::OwnedHandle job_;  // kill-on-close until the stop is accepted
  DWORD processId_ = 0;
  DWORD startTick_ = 0;
  std::wstring outputPath_;  // absolute, for the checks of the file
  detail::FileSnapshot outputBefore_;
  std::optional<DWORD> windowSeenAfterMs_;
  Stop stop_;
  detail::OwnedHandle reasons_;  // the read end of the launcher's standard error, when collected
  std::string reasonsWritten_;   // of it, what is not a whole line yet
  std::vector<std::string> reasonLines_;
};

struct StartOptions {
  // Hands the launcher a pipe of the Recording's own for its standard error,
  // which the launcher writes its diagnostic lines to; StopResult::reasons
  // carries them. The pipe holds 64 KiB, far more than a run writes, so the
  // lines wait in it for the stop to read them: no thread of the caller's
  // reads it meanwhile, and the launcher never waits on it.
  bool collectReasons = false;
};

struct StartResult {
  StartOutcome outcome = StartOutcome::kRefused;
  Refusal refusal = Refusal::kNone;      // why, when refused
  DWORD windowsError = 0;                // GetLastError of the failed start
  LauncherJob job = LauncherJob::kNone;  // where the launcher runs, when started
  Recording recording;                   // the launcher, when started
};

// Starts the launcher to record the window titled title into outputPath.
inline StartResult startRecording(std::wstring_view launcherPath, std::wstring_view title,
                                  std::wstring_view outputPath, const StartOptions& options = {});

// The same with narrow texts in the caller's own ANSI code page (GetACP):
// UTF-8 text goes through the wide overload, unless the caller's manifest
// makes UTF-8 its code page.
inline StartResult startRecording(std::string_view launcherPath, std::string_view title,
                                  std::string_view outputPath, const StartOptions& options = {});

#endif  // _WIN32

// ---------------------------------------------------------------------------
// The implementation
// ---------------------------------------------------------------------------

namespace detail {

// CreateProcess's limit, NUL excluded.
inline constexpr std::size_t kLongestCommandLine = 32766;

// Why the launcher's path cannot stand quoted at the head of its command
// line: Windows takes everything from the first quote to the next as the
// program's name, with no escape for a quote inside, so that path holds
// none. kNone when it can.
inline Refusal refuseLauncherPath(std::wstring_view launcherPath) {
  if (launcherPath.empty()) return Refusal::kEmptyLauncherPath;
  if (launcherPath.find(L'\0') != std::wstring_view::npos) return Refusal::kHoldsNul;
  if (launcherPath.find(L'"') != std::wstring_view::npos) {
    return Refusal::kLauncherPathHoldsDoubleQuote;
  }
  return Refusal::kNone;
}

// Why the launcher would read this title or output path differently; kNone
// when it reads them as they are. It reads bytes in its code page, and these
// checks look at characters, with the same answer for a text the code page
// holds exactly: an ASCII character is that byte there, and any other is
// bytes of 0x80 or more, or, in a two-byte code page, a lead byte of 0x81 or
// more and a trail byte of 0x40 or more, never '#', '"', '-' nor ':'.
inline Refusal refuseInvocation(std::wstring_view title, std::wstring_view outputPath) {
  constexpr std::size_t kNowhere = std::wstring_view::npos;
  if (title.find(L'\0') != kNowhere || outputPath.find(L'\0') != kNowhere) {
    return Refusal::kHoldsNul;
  }
  if (title.empty()) return Refusal::kEmptyTitle;
  if (title.find(L'#') != kNowhere) return Refusal::kTitleHoldsHash;
  if (outputPath.empty()) return Refusal::kEmptyOutputPath;
  if (outputPath.front() == L'#') return Refusal::kOutputPathStartsWithHash;
  if (outputPath.find(L'"') != kNowhere) return Refusal::kOutputPathHoldsDoubleQuote;
  // The encoder reads a name as a protocol where it begins with a run of
  // letters, digits, '+', '-' or '.' followed by ':', unless that run is one
  // ASCII letter, a drive; and a name beginning with '-' as an option.
  if (outputPath.front() == L'-') return Refusal::kOutputPathReadsAsOption;
  const auto isLetter = [](wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
  };
  const std::size_t run = outputPath.find_first_not_of(
      L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-.");
  if (run != kNowhere && outputPath[run] == L':' && !(run == 1 && isLetter(outputPath[0]))) {
    return Refusal::kOutputPathNamesProtocol;
  }
  return Refusal::kNone;
}

// A composed command line, or why there is none.
struct ComposedLine {
  Refusal refusal = Refusal::kNone;
  std::wstring text;  // empty when refused
};

// The launcher's command line: its path in double quotes, one blank, and
// the invocation unquoted, which the launcher takes verbatim (no argument
// rules, so no backslash before a quote means anything). The invocation,
// "#title#pathHead#pathTail", as the launcher splits it back: runs of '#'
// before the title and before the head are skipped, the head ends at the
// next '#', and the tail is the verbatim rest. So it begins with '#'
// (nothing the launcher's start-up code skips, blanks or other bytes, can
// then reach the title), and the path is cut before its first '#', which
// the tail keeps. heldExactly(text) says whether text reaches the launcher
// unchanged through its code page: the launcher reads the invocation
// converted, its own path wide.
template <class HeldExactly>
ComposedLine composeCommandLine(std::wstring_view launcherPath, std::wstring_view title,
                                std::wstring_view outputPath, const HeldExactly& heldExactly) {
  Refusal refusal = refuseLauncherPath(launcherPath);
  if (refusal == Refusal::kNone && !(heldExactly(title) && heldExactly(outputPath))) {
    refusal = Refusal::kNotInLaunchersCodePage;
  }
  if (refusal == Refusal::kNone) refusal = refuseInvocation(title, outputPath);
  if (refusal != Refusal::kNone) return {refusal, {}};
  std::wstring text = L"\"";
  text.append(launcherPath).append(L"\" #").append(title).append(1, L'#');
  const std::size_t firstHash = outputPath.find(L'#');
  text.append(outputPath.substr(0, firstHash));
  if (firstHash != std::wstring_view::npos)
    text.append(1, L'#').append(outputPath.substr(firstHash));
  if (text.size() > kLongestCommandLine) return {Refusal::kCommandLineTooLong, {}};
  return {Refusal::kNone, std::move(text)};
}

// Whether the file changed since before: both size and last-write time are
// compared, as some file systems keep times to 2 s only.
inline bool changedSince(const FileSnapshot& before, const FileSnapshot& now) {
  return before.exists != now.exists || before.size != now.size ||
         before.lastWrite != now.lastWrite;
}

// What the bytes of a file say about its finish.
enum class ContainerFinish { kNotJudged, kUnfinished, kFinished };

inline const char* toString(ContainerFinish value) {
  switch (value) {
    case ContainerFinish::kNotJudged:
      return "not-judged";
    case ContainerFinish::kUnfinished:
      return "unfinished";
    case ContainerFinish::kFinished:
      return "finished";
  }
  return "unknown";
}

inline std::uint32_t littleEndian32(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

inline bool tagIs(const unsigned char* bytes, const char (&tag)[5]) {
  return std::memcmp(bytes, tag, 4) == 0;
}

// The encoder writes every chunk's size as 0xFFFFFFFF when it opens the
// chunk, and the real size when it closes it.
inline constexpr std::uint32_t kOpenChunkSize = 0xFFFFFFFFu;

// Where a chunk of that size, its header at offset, ends: RIFF pads each
// chunk to an even length.
inline std::uint64_t chunkEnd(std::uint64_t offset, std::uint32_t size) {
  return offset + 8 + size + (size & 1u);
}

// Bounds on the judge's walks, so that a file made to cost a read each 8
// bytes is not judged rather than read for as long as it is large. The
// encoder's first RIFF holds its header list, some padding, its frames' list
// and its index: a handful of chunks. Each further RIFF (AVIX) holds up to
// 1 GiB: 4096 of them are 4 TiB.
inline constexpr int kMostChunksInFirstRiff = 1024;
inline constexpr int kMostRiffs = 4096;

// Whether the chunks inside [begin, end) hold an idx1 chunk, each within
// end: kFinished when they do, kUnfinished when not, kNotJudged past the bound.
template <class ReadAt>
ContainerFinish findIndex(std::uint64_t begin, std::uint64_t end, ReadAt& readAt) {
  unsigned char header[8];
  int chunks = 0;
  for (std::uint64_t offset = begin; offset + 8 <= end; ++chunks) {
    if (chunks == kMostChunksInFirstRiff) return ContainerFinish::kNotJudged;
    if (!readAt(offset, header, sizeof header)) return ContainerFinish::kUnfinished;
    const std::uint32_t size = littleEndian32(header + 4);
    if (tagIs(header, "idx1")) {
      return chunkEnd(offset, size) <= end ? ContainerFinish::kFinished
                                           : ContainerFinish::kUnfinished;
    }
    if (size == kOpenChunkSize) return ContainerFinish::kUnfinished;
    offset = chunkEnd(offset, size);
  }
  return ContainerFinish::kUnfinished;
}

// Judges an AVI file from its bytes; readAt(offset, buffer, count) fills the
// buffer and says whether all count bytes were there. A file the encoder
// closed has real sizes all along its chain of RIFF chunks ("AVI " first,
// "AVIX" after it past 1 GiB), the chain ends exactly at the file's end, and
// the first RIFF holds its index (idx1). A file it did not close keeps the
// open size in its last RIFF (a long recording ended past 1 GiB has a closed
// first RIFF and an open AVIX), or ends short of a size it claims. A file
// that does not begin as an AVI file is not judged, nor one past the
// bounds of the walk (kMostChunksInFirstRiff, kMostRiffs).
template <class ReadAt>
ContainerFinish judgeAvi(std::uint64_t fileSize, ReadAt readAt) {
  unsigned char header[12];
  std::uint64_t offset = 0;
  const bool avi = fileSize >= sizeof header && readAt(0, header, sizeof header) &&
                   tagIs(header, "RIFF") && tagIs(header + 8, "AVI ");
  if (fileSize < sizeof header) {  // cut short inside the first header, or no AVI file
    const bool begunAsRiff = fileSize >= 4 && readAt(0, header, 4) && tagIs(header, "RIFF");
    return begunAsRiff ? ContainerFinish::kUnfinished : ContainerFinish::kNotJudged;
  }
  if (!avi) return ContainerFinish::kNotJudged;
  for (int riffs = 0; offset != fileSize; ++riffs) {
    const bool first = riffs == 0;
    if (riffs == kMostRiffs) return ContainerFinish::kNotJudged;
    if (fileSize - offset < sizeof header || !readAt(offset, header, sizeof header) ||
        !tagIs(header, "RIFF") || !tagIs(header + 8, first ? "AVI " : "AVIX")) {
      return ContainerFinish::kUnfinished;
    }
    const std::uint32_t size = littleEndian32(header + 4);
    const std::uint64_t end = chunkEnd(offset, size);
    if (size == kOpenChunkSize || end > fileSize) return ContainerFinish::kUnfinished;
    if (first) {
      const ContainerFinish index = findIndex(offset + sizeof header, end, readAt);
      if (index != ContainerFinish::kFinished) return index;
    }
    offset = end;
  }
  return ContainerFinish::kFinished;
}

// The output file's state now, against its state before the start.
inline OutputFile judgeOutput(const FileSnapshot& before, const FileSnapshot& now,
                              ContainerFinish finish) {
  if (!now.exists) return OutputFile::kMissing;
  if (!changedSince(before, now)) return OutputFile::kNotThisRun;
  if (now.size == 0) return OutputFile::kEmpty;
  switch (finish) {
    case ContainerFinish::kFinished:
      return OutputFile::kFinished;
    case ContainerFinish::kUnfinished:
      return OutputFile::kUnfinished;
    case ContainerFinish::kNotJudged:
      break;
  }
  return OutputFile::kWritten;
}

// StopResult::coversTheRecording, from the three things it weighs.
// Moves the whole lines of what the launcher wrote to its standard error into
// lines, without their prefix and line end; a last line without its end
// only once nothing more can come (the launcher has exited).
inline void takeReasonLines(std::string& written, bool toTheEnd, std::vector<std::string>& lines) {
  constexpr std::string_view kPrefix = "ZELTRA_ScreenTool: ";
  for (;;) {
    std::size_t end = written.find('\n');
    if (end == std::string::npos) {
      if (!toTheEnd || written.empty()) return;
      end = written.size();
    }
    std::string_view line(written.data(), end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.substr(0, kPrefix.size()) == kPrefix) line.remove_prefix(kPrefix.size());
    lines.emplace_back(line);
    written.erase(0, end + 1);
  }
}

inline bool coversTheRecording(StopOutcome outcome, OutputFile output, EncoderAtStop encoder) {
  return outcome == StopOutcome::kStopped && output == OutputFile::kFinished &&
         encoder == EncoderAtStop::kRunning;
}

// The order of the tries. steps.create(breakaway) starts the launcher
// suspended, steps.assign() puts it in the recording's job, and
// steps.endCreated() ends a suspended launcher that has run nothing; nullopt
// when no start worked. A launcher created but not assigned is still resumed
// by the caller of this, in the job it landed in.
template <class Steps>
std::optional<LauncherJob> placeLauncher(Steps& steps, bool haveJob, bool callerInJob) {
  if (!steps.create(/*breakaway=*/false)) return std::nullopt;
  if (haveJob && steps.assign()) return callerInJob ? LauncherJob::kOwnNested : LauncherJob::kOwn;
  if (!haveJob || !callerInJob) return callerInJob ? LauncherJob::kCallersOnly : LauncherJob::kNone;
  // The jobs do not nest (Windows 7): out of the caller's job, where it lets
  // the launcher go, into the recording's own.
  steps.endCreated();
  if (steps.create(/*breakaway=*/true)) {
    return steps.assign() ? LauncherJob::kBrokeAway : LauncherJob::kNone;
  }
  if (!steps.create(/*breakaway=*/false)) return std::nullopt;
  return LauncherJob::kCallersOnly;
}

// How wide text goes into a code page so that a lost character shows: no
// best-fit stand-ins, and the default character's use reported. Code page
// 65001 (UTF-8) fails the call with either; of the system code pages it is
// the one that does. There the round trip after catches what UTF-8 cannot
// hold (a lone surrogate).
struct NarrowingFlags {
  unsigned long flags;           // WideCharToMultiByte's dwFlags
  bool reportsDefaultCharacter;  // whether lpUsedDefaultChar is passed
};
inline constexpr unsigned kUtf8CodePage = 65001;         // CP_UTF8
inline constexpr unsigned long kNoBestFitChars = 0x400;  // WC_NO_BEST_FIT_CHARS
inline constexpr NarrowingFlags narrowingFlags(unsigned codePage) {
  return codePage == kUtf8CodePage ? NarrowingFlags{0, false}
                                   : NarrowingFlags{kNoBestFitChars, true};
}

}  // namespace detail

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
    case Refusal::kOutputPathNamesProtocol:
      return "the output path begins with a protocol's name (tcp:, pipe:, file: ...), which the "
             "encoder would not write as a file";
    case Refusal::kOutputPathReadsAsOption:
      return "the output path begins with '-', which the encoder would read as an option";
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

// The tokens. A value past the last one (a cast) reads "unknown".
inline const char* toString(Refusal value) {
  switch (value) {
    case Refusal::kNone:
      return "none";
    case Refusal::kEmptyTitle:
      return "empty-title";
    case Refusal::kTitleHoldsHash:
      return "title-holds-hash";
    case Refusal::kEmptyOutputPath:
      return "empty-output-path";
    case Refusal::kOutputPathStartsWithHash:
      return "output-path-starts-with-hash";
    case Refusal::kOutputPathHoldsDoubleQuote:
      return "output-path-holds-double-quote";
    case Refusal::kOutputPathNamesProtocol:
      return "output-path-names-protocol";
    case Refusal::kOutputPathReadsAsOption:
      return "output-path-reads-as-option";
    case Refusal::kHoldsNul:
      return "holds-nul";
    case Refusal::kEmptyLauncherPath:
      return "empty-launcher-path";
    case Refusal::kLauncherPathHoldsDoubleQuote:
      return "launcher-path-holds-double-quote";
    case Refusal::kNotInCallersCodePage:
      return "not-in-callers-code-page";
    case Refusal::kNotInLaunchersCodePage:
      return "not-in-launchers-code-page";
    case Refusal::kCommandLineTooLong:
      return "command-line-too-long";
  }
  return "unknown";
}

inline const char* toString(StartOutcome value) {
  switch (value) {
    case StartOutcome::kStarted:
      return "started";
    case StartOutcome::kRefused:
      return "refused";
    case StartOutcome::kFailed:
      return "failed";
  }
  return "unknown";
}

inline const char* toString(LauncherJob value) {
  switch (value) {
    case LauncherJob::kOwn:
      return "own";
    case LauncherJob::kOwnNested:
      return "own-nested";
    case LauncherJob::kBrokeAway:
      return "broke-away";
    case LauncherJob::kCallersOnly:
      return "callers-only";
    case LauncherJob::kNone:
      return "none";
  }
  return "unknown";
}

inline const char* toString(ControlWindowState value) {
  switch (value) {
    case ControlWindowState::kAppeared:
      return "appeared";
    case ControlWindowState::kLauncherEnded:
      return "launcher-ended";
    case ControlWindowState::kNotYet:
      return "not-yet";
  }
  return "unknown";
}

inline const char* toString(RecordingState value) {
  switch (value) {
    case RecordingState::kBegun:
      return "begun";
    case RecordingState::kEncoderEnded:
      return "encoder-ended";
    case RecordingState::kLauncherEnded:
      return "launcher-ended";
    case RecordingState::kNotYet:
      return "not-yet";
  }
  return "unknown";
}

inline const char* toString(EncoderAtStop value) {
  switch (value) {
    case EncoderAtStop::kNotKnown:
      return "not-known";
    case EncoderAtStop::kRunning:
      return "running";
    case EncoderAtStop::kNone:
      return "none";
  }
  return "unknown";
}

inline const char* toString(StopOutcome value) {
  switch (value) {
    case StopOutcome::kStopped:
      return "stopped";
    case StopOutcome::kEndedBeforeStop:
      return "ended-before-stop";
    case StopOutcome::kStopNotAccepted:
      return "stop-not-accepted";
    case StopOutcome::kNotExited:
      return "not-exited";
    case StopOutcome::kNoLauncher:
      return "no-launcher";
  }
  return "unknown";
}

inline const char* toString(OutputFile value) {
  switch (value) {
    case OutputFile::kMissing:
      return "missing";
    case OutputFile::kEmpty:
      return "empty";
    case OutputFile::kWritten:
      return "written";
    case OutputFile::kNotThisRun:
      return "not-this-run";
    case OutputFile::kUnfinished:
      return "unfinished";
    case OutputFile::kFinished:
      return "finished";
  }
  return "unknown";
}

inline const char* toString(StopRequestState value) {
  switch (value) {
    case StopRequestState::kKept:
      return "kept";
    case StopRequestState::kPosted:
      return "posted";
    case StopRequestState::kAccepted:
      return "accepted";
    case StopRequestState::kPostRefused:
      return "post-refused";
    case StopRequestState::kEndedBeforeStop:
      return "ended-before-stop";
    case StopRequestState::kNoLauncher:
      return "no-launcher";
  }
  return "unknown";
}

#ifdef _WIN32

namespace detail {

inline constexpr wchar_t kControlWindowName[] = L"ZELTRA_ScreenTool";  // its class and title
inline constexpr UINT kStopMessage = WM_USER + 1;                      // 1025
inline constexpr DWORD kPollMs = 10;
inline constexpr DWORD kLeavingWindowWaitMs = 1000;
inline constexpr DWORD kLeavingAcceptWaitMs = 1000;
// A suspended launcher ended before it ran is gone at once; the bound only
// keeps a refusing Windows from holding the start.
inline constexpr DWORD kEndedLauncherWaitMs = 1000;
// The launcher's standard error pipe: as much as the launcher itself holds
// back for a reader that is not reading, far beyond a run's lines.
inline constexpr DWORD kReasonsPipeBytes = 64 * 1024;

inline OwnedHandle& OwnedHandle::operator=(OwnedHandle&& other) noexcept {
  if (this != &other) {
    reset();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

inline void OwnedHandle::reset() {
  if (valid()) ::CloseHandle(handle_);
  handle_ = nullptr;
}

// A created process's two handles, each closed with its owner.
struct OwnedProcessInformation {
  OwnedProcessInformation() = default;
  explicit OwnedProcessInformation(const PROCESS_INFORMATION& created)
      : process(created.hProcess), thread(created.hThread), processId(created.dwProcessId) {}
  OwnedHandle process;
  OwnedHandle thread;
  DWORD processId = 0;
};

// What a successful start hands to its Recording.
struct StartedLauncher {
  OwnedHandle process;
  DWORD processId = 0;
  DWORD startTick = 0;
  std::wstring outputPath;
  FileSnapshot outputBefore;  // the output file just before the start
  OwnedHandle job;            // the recording's own job, when the launcher is in it
  OwnedHandle reasons;        // the read end of its standard error, when collected
};

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
  // One look's pause: the poll's, or what is left when less.
  DWORD pauseMs(DWORD pollMs) const {
    const DWORD remaining = remainingMs();
    return remaining < pollMs ? remaining : pollMs;
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
  static_assert(kUtf8CodePage == CP_UTF8 && kNoBestFitChars == WC_NO_BEST_FIT_CHARS);
  bytes.clear();
  if (text.empty()) return true;
  const NarrowingFlags narrowing = narrowingFlags(codePage);
  const DWORD flags = narrowing.flags;
  BOOL usedDefault = FALSE;
  BOOL* const usedDefaultReport = narrowing.reportsDefaultCharacter ? &usedDefault : nullptr;
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

// The first character of text that toCodePage cannot take as it is: its
// place (0 for the first, a surrogate pair counting as one) and its code
// point; nullopt when the whole text goes over exactly. The launcher reads
// its invocation through this too.
struct InexactCharacter {
  std::size_t place = 0;
  std::uint32_t codePoint = 0;
};
inline std::optional<InexactCharacter> firstInexactCharacter(std::wstring_view text,
                                                             UINT codePage) {
  std::string bytes;
  if (toCodePage(text, codePage, bytes)) return std::nullopt;
  InexactCharacter inexact;
  for (std::size_t i = 0; i < text.size(); ++inexact.place) {
    const bool pair = i + 1 < text.size() && text[i] >= 0xD800 && text[i] <= 0xDBFF &&
                      text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    const std::size_t units = pair ? 2 : 1;
    inexact.codePoint = pair ? 0x10000u + ((std::uint32_t{text[i]} - 0xD800u) << 10) +
                                   (std::uint32_t{text[i + 1]} - 0xDC00u)
                             : std::uint32_t{text[i]};
    if (!toCodePage(text.substr(i, units), codePage, bytes)) return inexact;
    i += units;
  }
  return inexact;  // each character alone goes over, not the whole: named by its last
}

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

inline std::uint64_t joined(DWORD high, DWORD low) {
  return static_cast<std::uint64_t>(high) << 32 | low;
}

// The file's size and last-write time; a directory counts as no file.
inline FileSnapshot snapshotOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  FileSnapshot snapshot;
  if (path.empty() || !::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return snapshot;
  }
  snapshot.exists = true;
  snapshot.size = joined(data.nFileSizeHigh, data.nFileSizeLow);
  snapshot.lastWrite =
      joined(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
  return snapshot;
}

// Reads the few headers judgeAvi asks for; a file that cannot be opened (an
// encoder still writing it may share it with nobody) is not judged.
// Its size too is read through the handle read from: on a network share a
// path's cached size can disagree with the bytes.
inline ContainerFinish judgeFile(const std::wstring& path) {
  const OwnedHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       /*lpSecurityAttributes=*/nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, /*hTemplateFile=*/nullptr));
  LARGE_INTEGER size{};
  if (!file.valid() || !::GetFileSizeEx(file.get(), &size)) return ContainerFinish::kNotJudged;
  return judgeAvi(
      static_cast<std::uint64_t>(size.QuadPart),
      [&file](std::uint64_t offset, unsigned char* buffer, std::size_t count) {
        LARGE_INTEGER position{};
        position.QuadPart = static_cast<LONGLONG>(offset);
        const DWORD wanted = static_cast<DWORD>(count);  // a header: a few bytes
        DWORD read = 0;
        return ::SetFilePointerEx(file.get(), position, /*lpNewFilePointer=*/nullptr, FILE_BEGIN) &&
               ::ReadFile(file.get(), buffer, wanted, &read, /*lpOverlapped=*/nullptr) &&
               read == wanted;
      });
}

inline OutputFile inspectOutput(const std::wstring& path, const FileSnapshot& before) {
  const FileSnapshot now = snapshotOf(path);
  const bool judged = now.exists && changedSince(before, now) && now.size != 0;
  return judgeOutput(before, now, judged ? judgeFile(path) : ContainerFinish::kNotJudged);
}

// The recording's job: everything in it ends when its last handle closes,
// unless the limit is lifted first; a process in it may start another
// outside it (the launcher may give a helper a job of its own).
inline HANDLE makeRecordingJob() {
  const HANDLE job = ::CreateJobObjectW(/*lpJobAttributes=*/nullptr, /*lpName=*/nullptr);
  if (job == nullptr) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags =
      JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_BREAKAWAY_OK;
  if (!::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    ::CloseHandle(job);
    return nullptr;
  }
  return job;
}

// Lets the job's processes run on once its last handle closes.
inline void liftKillOnClose(HANDLE job) {
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
  ::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
}

inline constexpr wchar_t kEncoderFileName[] = L"ffmpeg.exe";

inline bool isEncoder(DWORD processId) {
  const OwnedHandle process(
      ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, /*bInheritHandle=*/FALSE, processId));
  wchar_t image[MAX_PATH * 2];
  DWORD length = sizeof image / sizeof image[0];
  if (!process.valid() || !::QueryFullProcessImageNameW(process.get(), 0, image, &length)) {
    return false;
  }
  const std::wstring_view path(image, length);
  const std::size_t slash = path.find_last_of(L"\\/");
  const std::wstring_view name = slash == std::wstring_view::npos ? path : path.substr(slash + 1);
  return name.size() == std::wcslen(kEncoderFileName) &&
         ::CompareStringOrdinal(name.data(), static_cast<int>(name.size()), kEncoderFileName, -1,
                                /*bIgnoreCase=*/TRUE) == CSTR_EQUAL;
}

// Whether an encoder runs in the job; nullopt when the job cannot be read.
inline std::optional<bool> jobRunsEncoder(HANDLE job) {
  // The launcher, its encoder and the stop command's few programs: room to spare.
  constexpr DWORD kRoom = 64;
  alignas(JOBOBJECT_BASIC_PROCESS_ID_LIST) unsigned char
      buffer[sizeof(JOBOBJECT_BASIC_PROCESS_ID_LIST) + kRoom * sizeof(ULONG_PTR)] = {};
  auto* const list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer);
  if (!::QueryInformationJobObject(job, JobObjectBasicProcessIdList, list, sizeof buffer,
                                   /*lpReturnLength=*/nullptr)) {
    return std::nullopt;
  }
  const ULONG_PTR* const ids = list->ProcessIdList;
  for (DWORD i = 0; i < list->NumberOfProcessIdsInList && i < kRoom; ++i) {
    if (isEncoder(static_cast<DWORD>(ids[i]))) return true;
  }
  return false;
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

// The tries of placeLauncher, on Windows: the launcher is created suspended,
// so it starts nothing before it is in the job it will stay in.
// The one handle a start hands on: of the caller's inheritable handles, no
// other reaches the launcher. Unusable (list() null) where Windows cannot make it.
class InheritedHandle {
 public:
  explicit InheritedHandle(HANDLE handle) : handle_(handle) {
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    buffer_.resize(size);
    const auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data());
    if (size == 0 || !::InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
    initialized_ = true;
    if (::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &handle_,
                                    sizeof handle_, nullptr, nullptr)) {
      list_ = list;
    }
  }
  ~InheritedHandle() {
    if (initialized_) {
      ::DeleteProcThreadAttributeList(
          reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data()));
    }
  }
  InheritedHandle(const InheritedHandle&) = delete;
  InheritedHandle& operator=(const InheritedHandle&) = delete;
  LPPROC_THREAD_ATTRIBUTE_LIST list() const { return list_; }

 private:
  HANDLE handle_;  // where the list points: it must live as long as the list
  std::vector<unsigned char> buffer_;
  bool initialized_ = false;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

class LauncherCreation {
 public:
  LauncherCreation(const std::wstring& application, std::wstring& commandLine, HANDLE job,
                   HANDLE standardError)
      : application_(application),
        commandLine_(commandLine),
        job_(job),
        standardError_(standardError) {}

  bool create(bool breakaway) {
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup.StartupInfo;
    DWORD flags = CREATE_SUSPENDED | (breakaway ? CREATE_BREAKAWAY_FROM_JOB : 0);
    const InheritedHandle inherited(standardError_);
    const bool handsError = standardError_ != nullptr && inherited.list() != nullptr;
    if (handsError) {
      startup.StartupInfo.cb = sizeof startup;
      startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
      startup.StartupInfo.hStdError = standardError_;
      startup.lpAttributeList = inherited.list();
      flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
    PROCESS_INFORMATION created{};
    // The application named apart from the command line: no search along the
    // path, and no other reading of the quoted name.
    if (!::CreateProcessW(application_.c_str(), commandLine_.data(),
                          /*lpProcessAttributes=*/nullptr, /*lpThreadAttributes=*/nullptr,
                          /*bInheritHandles=*/handsError, flags, /*lpEnvironment=*/nullptr,
                          /*lpCurrentDirectory=*/nullptr, &startup.StartupInfo, &created)) {
      error_ = ::GetLastError();
      return false;
    }
    process_ = OwnedProcessInformation(created);
    return true;
  }
  bool assign() { return ::AssignProcessToJobObject(job_, process_.process.get()) != FALSE; }
  // Ends the suspended launcher, which has run nothing, and lets go of it.
  void endCreated() {
    ::TerminateProcess(process_.process.get(), 1);
    ::WaitForSingleObject(process_.process.get(), kEndedLauncherWaitMs);
    process_ = OwnedProcessInformation();
  }

  OwnedProcessInformation& process() { return process_; }
  DWORD error() const { return error_; }

 private:
  const std::wstring& application_;
  std::wstring& commandLine_;
  HANDLE job_;
  HANDLE standardError_;
  OwnedProcessInformation process_;
  DWORD error_ = 0;
};

inline bool callerRunsInJob() {
  BOOL inJob = FALSE;
  return ::IsProcessInJob(::GetCurrentProcess(), /*JobHandle=*/nullptr, &inJob) && inJob;
}

// A pipe for the launcher's standard error: the write end inheritable, to be
// handed on, the read end the Recording's. None where it cannot be made.
inline std::pair<OwnedHandle, OwnedHandle> makeReasonsPipe() {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  if (!::CreatePipe(&read, &write, &inheritable, kReasonsPipeBytes)) {
    return std::pair<OwnedHandle, OwnedHandle>();
  }
  ::SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  return {OwnedHandle(read), OwnedHandle(write)};
}

inline StartResult startLauncher(std::wstring_view launcherPath, std::wstring_view title,
                                 std::wstring_view outputPath, const StartOptions& options) {
  StartResult result;
  const UINT codePage = launcherCodePage();
  ComposedLine composed =
      composeCommandLine(launcherPath, title, outputPath, [codePage](std::wstring_view text) {
        std::string bytes;
        return toCodePage(text, codePage, bytes);
      });
  if (composed.refusal != Refusal::kNone) {
    result.refusal = composed.refusal;
    return result;
  }
  const std::wstring application(launcherPath);
  std::wstring output = absolutePath(std::wstring(outputPath));
  const FileSnapshot outputBefore = snapshotOf(output);
  OwnedHandle job(makeRecordingJob());
  auto [reasons, reasonsWrite] =
      options.collectReasons ? makeReasonsPipe() : std::pair<OwnedHandle, OwnedHandle>();
  LauncherCreation creation(application, composed.text, job.get(), reasonsWrite.get());
  const std::optional<LauncherJob> placed =
      placeLauncher(creation, /*haveJob=*/job.valid(), callerRunsInJob());
  if (!placed) {
    result.outcome = StartOutcome::kFailed;
    result.windowsError = creation.error();
    return result;
  }
  // The launcher holds its own copy: the pipe's end comes with its exit.
  reasonsWrite.reset();
  const bool ownJob = *placed != LauncherJob::kCallersOnly && *placed != LauncherJob::kNone;
  if (!ownJob) job.reset();
  ::ResumeThread(creation.process().thread.get());
  result.recording = Recording(StartedLauncher{
      std::move(creation.process().process), creation.process().processId, ::GetTickCount(),
      std::move(output), outputBefore, std::move(job), std::move(reasons)});
  result.job = *placed;
  result.outcome = StartOutcome::kStarted;
  return result;
}

}  // namespace detail

inline bool StopResult::coversTheRecording() const {
  return detail::coversTheRecording(outcome, output, encoder);
}

inline Recording::Recording(detail::StartedLauncher started)
    : process_(std::move(started.process)),
      job_(std::move(started.job)),
      processId_(started.processId),
      startTick_(started.startTick),
      outputPath_(std::move(started.outputPath)),
      outputBefore_(started.outputBefore),
      reasons_(std::move(started.reasons)) {}

inline Recording& Recording::operator=(Recording&& other) noexcept {
  if (this != &other) {
    leave();
    take(other);
  }
  return *this;
}

inline ControlWindowWait Recording::waitForControlWindow(DWORD timeoutMs) {
  ControlWindowWait wait;
  if (!holdsLauncher()) {
    wait.state = ControlWindowState::kLauncherEnded;
    return wait;
  }
  const detail::Deadline deadline(timeoutMs);
  for (;;) {
    lookForWindow();
    advance();  // a kept stop goes out as the window appears
    if (windowSeenAfterMs_ || hasExited()) break;
    const DWORD pause = deadline.pauseMs(detail::kPollMs);
    if (pause == 0) break;
    // Waiting on the process, not sleeping: an exit ends the wait at once.
    ::WaitForSingleObject(process_.get(), pause);
  }
  if (windowSeenAfterMs_) {
    wait.state = ControlWindowState::kAppeared;
    wait.msSinceStart = *windowSeenAfterMs_;
  } else if (hasExited()) {
    wait.state = ControlWindowState::kLauncherEnded;
  }
  return wait;
}

inline RecordingWait Recording::waitForRecording(DWORD timeoutMs) {
  RecordingWait wait;
  const detail::Deadline deadline(timeoutMs);
  bool encoderSeen = false;
  for (;;) {
    advance();  // a stop asked for before goes on meanwhile
    const detail::FileSnapshot now = detail::snapshotOf(outputPath_);
    if (now.exists && now.size != 0 && now.lastWrite != outputBefore_.lastWrite) {
      wait.state = RecordingState::kBegun;
      break;
    }
    const std::optional<bool> encoder =
        job_.valid() ? detail::jobRunsEncoder(job_.get()) : std::nullopt;
    if (encoder.value_or(false)) encoderSeen = true;
    if (encoderSeen && encoder == false) {
      wait.state = RecordingState::kEncoderEnded;
      break;
    }
    if (!holdsLauncher() || hasExited()) {
      wait.state = RecordingState::kLauncherEnded;
      break;
    }
    if (deadline.remainingMs() == 0) break;  // kNotYet
    const DWORD pause = deadline.pauseMs(detail::kPollMs);
    ::WaitForSingleObject(process_.get(), pause);  // an exit ends the pause at once
  }
  wait.msSinceStart = ::GetTickCount() - startTick_;
  return wait;
}

inline StopRequest Recording::requestStop() {
  if (!holdsLauncher()) return {};
  ask();
  const std::optional<DWORD> refused = advance();
  if (refused) return {StopRequestState::kPostRefused, *refused};
  return {*stop_.state, 0};
}

inline StopResult Recording::stop(DWORD deadlineMs) {
  StopResult result;
  if (!holdsLauncher()) return result;
  const detail::Deadline deadline(deadlineMs);
  ask();
  result.encoder = stop_.encoder;
  result.postError = driveStop(deadlineMs, StopRequestState::kAccepted);
  if (*stop_.state == StopRequestState::kEndedBeforeStop) {
    result.outcome = StopOutcome::kEndedBeforeStop;
  } else if (*stop_.state != StopRequestState::kAccepted) {
    result.outcome = StopOutcome::kStopNotAccepted;
  } else if (::WaitForSingleObject(process_.get(), deadline.remainingMs()) == WAIT_OBJECT_0) {
    result.outcome = StopOutcome::kStopped;
    result.exitedAfterMs = ::GetTickCount() - stop_.askedTick;
  } else {
    result.outcome = StopOutcome::kNotExited;
  }
  result.acceptedAfterMs = stop_.acceptedAfterMs;
  DWORD code = 0;
  if (hasExited() && ::GetExitCodeProcess(process_.get(), &code)) result.exitCode = code;
  result.output = detail::inspectOutput(outputPath_, outputBefore_);
  readReasons();
  result.reasons = reasonLines_;
  return result;
}

// What the pipe holds, never waiting for more.
inline void Recording::readReasons() {
  if (!reasons_.valid()) return;
  const bool toTheEnd = hasExited();
  DWORD available = 0;
  while (::PeekNamedPipe(reasons_.get(), nullptr, 0, nullptr, &available, nullptr) &&
         available > 0) {
    std::string chunk(available, '\0');
    DWORD read = 0;
    if (!::ReadFile(reasons_.get(), chunk.data(), available, &read, nullptr)) break;
    reasonsWritten_.append(chunk.data(), read);
  }
  detail::takeReasonLines(reasonsWritten_, toTheEnd, reasonLines_);
}

inline bool Recording::hasExited() const {
  return ::WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0;
}

inline EncoderAtStop Recording::encoderNow() const {
  if (!job_.valid()) return EncoderAtStop::kNotKnown;
  const std::optional<bool> running = detail::jobRunsEncoder(job_.get());
  if (!running) return EncoderAtStop::kNotKnown;
  return *running ? EncoderAtStop::kRunning : EncoderAtStop::kNone;
}

inline void Recording::lookForWindow() {
  if (!windowSeenAfterMs_ && detail::findControlWindowOf(processId_) != nullptr) {
    windowSeenAfterMs_ = ::GetTickCount() - startTick_;
  }
}

// The stop's begin, once: its time, the encoder then, and whether the
// launcher had already ended.
inline void Recording::ask() {
  if (stop_.state) return;
  stop_.askedTick = ::GetTickCount();
  stop_.encoder = encoderNow();
  stop_.state = hasExited() ? StopRequestState::kEndedBeforeStop : StopRequestState::kKept;
}

// One look at the stop, never waiting: a kept stop is posted once the
// control window is there, and a posted one is accepted once the window has
// gone (or the launcher exited). A window seen and gone before any post was
// taken elsewhere, as by a person closing it. The error of a post refused
// now; a post to a window that went meanwhile is no refusal: the next look
// finds it gone.
inline std::optional<DWORD> Recording::advance() {
  if (stop_.state == StopRequestState::kPosted &&
      (!detail::windowBelongsTo(stop_.postedTo, processId_) || hasExited())) {
    accept();
  }
  if (stop_.state != StopRequestState::kKept) return std::nullopt;
  const HWND window = detail::findControlWindowOf(processId_);
  if (window == nullptr) {
    if (windowSeenAfterMs_) {
      accept();
    } else if (hasExited()) {
      stop_.state = StopRequestState::kEndedBeforeStop;
    }
    return std::nullopt;
  }
  if (!windowSeenAfterMs_) windowSeenAfterMs_ = ::GetTickCount() - startTick_;
  if (!::PostMessageW(window, detail::kStopMessage, 0, 0)) {
    const DWORD error = ::GetLastError();
    if (detail::windowBelongsTo(window, processId_)) return error;
    return std::nullopt;
  }
  stop_.state = StopRequestState::kPosted;
  stop_.postedTo = window;
  return std::nullopt;
}

// From here the launcher finishes its file by itself, within its own
// bounds: a caller that dies meanwhile must not take the file with it.
inline void Recording::accept() {
  stop_.state = StopRequestState::kAccepted;
  stop_.acceptedAfterMs = ::GetTickCount() - stop_.askedTick;
  if (job_.valid()) detail::liftKillOnClose(job_.get());
}

inline bool Recording::reached(StopRequestState goal) const {
  return stop_.state == goal || stop_.state == StopRequestState::kAccepted ||
         stop_.state == StopRequestState::kEndedBeforeStop;
}

// Looks until the stop reaches goal (kPosted or kAccepted) or ends, a post
// is refused (its error), or boundMs pass. Between looks it waits on the
// process: an exit ends the pause at once.
inline std::optional<DWORD> Recording::driveStop(DWORD boundMs, StopRequestState goal) {
  const detail::Deadline deadline(boundMs);
  for (;;) {
    const std::optional<DWORD> refused = advance();
    if (refused || reached(goal)) return refused;
    const DWORD pause = deadline.pauseMs(detail::kPollMs);
    if (pause == 0) return std::nullopt;
    ::WaitForSingleObject(process_.get(), pause);
  }
}

// Out of scope: see the top of this header. A launcher whose window never
// appeared may still create it, and start an encoder, just after the last
// look; one that refused the post cannot be told to stop: the whole job is
// ended, so nothing it started is left behind.
inline void Recording::leave() noexcept {
  if (holdsLauncher() && stop_.state != StopRequestState::kAccepted && !hasExited()) {
    ask();
    driveStop(detail::kLeavingWindowWaitMs, StopRequestState::kPosted);
    if (stop_.state == StopRequestState::kPosted) {
      driveStop(detail::kLeavingAcceptWaitMs, StopRequestState::kAccepted);
    } else if (stop_.state == StopRequestState::kKept && !hasExited()) {
      if (!job_.valid() || !::TerminateJobObject(job_.get(), 1)) {
        ::TerminateProcess(process_.get(), 1);
      }
    }
  }
  // The launcher sees its encoder through by itself: closing the job must not end them.
  if (job_.valid()) detail::liftKillOnClose(job_.get());
  job_.reset();
  process_.reset();
  processId_ = 0;
}

inline void Recording::take(Recording& other) noexcept {
  process_ = std::move(other.process_);
  job_ = std::move(other.job_);
  processId_ = std::exchange(other.processId_, 0);
  startTick_ = other.startTick_;
  outputPath_ = std::move(other.outputPath_);
  outputBefore_ = other.outputBefore_;
  reasons_ = std::move(other.reasons_);
  reasonsWritten_ = std::move(other.reasonsWritten_);
  reasonLines_ = std::move(other.reasonLines_);
  windowSeenAfterMs_ = std::exchange(other.windowSeenAfterMs_, std::nullopt);
  stop_ = std::exchange(other.stop_, Stop());
}

inline StartResult startRecording(std::wstring_view launcherPath, std::wstring_view title,
                                  std::wstring_view outputPath, const StartOptions& options) {
  return detail::startLauncher(launcherPath, title, outputPath, options);
}

inline StartResult startRecording(std::string_view launcherPath, std::string_view title,
                                  std::string_view outputPath, const StartOptions& options) {
  std::wstring launcherWide, titleWide, pathWide;
  if (!detail::toWide(launcherPath, CP_ACP, MB_ERR_INVALID_CHARS, launcherWide) ||
      !detail::toWide(title, CP_ACP, MB_ERR_INVALID_CHARS, titleWide) ||
      !detail::toWide(outputPath, CP_ACP, MB_ERR_INVALID_CHARS, pathWide)) {
    StartResult result;
    result.refusal = Refusal::kNotInCallersCodePage;
    return result;
  }
  return detail::startLauncher(launcherWide, titleWide, pathWide, options);
}

#endif  // _WIN32

}  // namespace zeltra::caller
