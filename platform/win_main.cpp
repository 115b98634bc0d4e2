// The program's entry, the composition root: wires the Windows platform to
// the launcher's logic.
#include <windows.h>  // NOMINMAX and WIN32_LEAN_AND_MEAN come from the build

#include "caller/zeltra_screentool.h"
#include "launcher/launcher_entry.h"
#include "platform/command_line.h"
#include "platform/system_library.h"
#include "platform/win32_platform.h"

namespace {

// The invocation is taken from the whole command line rather than from
// WinMain's own argument, whose start-up code may drop a first byte of 0x80 or
// more; it stays exactly as the caller wrote it: quotes are not removed. The
// wide line, so that the launcher's own name cannot mislead the skip, and
// converted to the ANSI code page only where every character is there as it
// is: a best fit would turn a fullwidth '#' into the delimiter, and a '/' or
// ':' into a path's, letting a window's title choose the file overwritten.
// The conversion is the caller header's, which refuses the same texts.
zeltra::InvocationText readInvocation() {
  const std::wstring wide = zeltra::skipProgramName(::GetCommandLineW());
  const UINT codePage = ::GetACP();
  zeltra::InvocationText invocation;
  namespace detail = zeltra::caller::detail;
  if (const std::optional<detail::InexactCharacter> inexact =
          detail::firstInexactCharacter(wide, codePage)) {
    invocation.inexact = {inexact->place, inexact->codePoint, codePage};
  } else {
    detail::toCodePage(wide, codePage, invocation.text);
  }
  return invocation;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int showMode) {
  // First thing: the shell and COM load DLLs, which must come from the
  // system directory, not from the folder the launcher was put in.
  zeltra::restrictDllSearchToSystemDirectory();
  const zeltra::InvocationText invocation = readInvocation();
  const std::unique_ptr<zeltra::Platform> platform = zeltra::makeWin32Platform(instance);
  return zeltra::runLauncher(*platform, invocation, showMode);
}
