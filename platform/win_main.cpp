// The program's entry, the composition root: wires the Windows platform to
// the launcher's logic.
#include <windows.h>  // NOMINMAX and WIN32_LEAN_AND_MEAN come from the build

#include "launcher/launcher_entry.h"
#include "platform/ansi_text.h"
#include "platform/command_line.h"
#include "platform/system_library.h"
#include "platform/win32_platform.h"

// The invocation is taken from the whole command line rather than from
// WinMain's own argument, whose start-up code may drop a first byte of 0x80 or
// more; it stays exactly as the caller wrote it: quotes are not removed. The
// wide line, so that the launcher's own name cannot mislead the skip.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int showMode) {
  // First thing: the shell and COM load DLLs, which must come from the
  // system directory, not from the folder the launcher was put in.
  zeltra::restrictDllSearchToSystemDirectory();
  const std::string invocation =
      zeltra::invocationFromWideCommandLine(::GetCommandLineW(), zeltra::narrowToAnsi);
  const std::unique_ptr<zeltra::Platform> platform = zeltra::makeWin32Platform(instance);
  return zeltra::runLauncher(*platform, invocation.c_str(), showMode);
}
