// The program's entry: wires the Windows platform to the launcher.
#include <windows.h>  // NOMINMAX and WIN32_LEAN_AND_MEAN come from the build

#include "launcher/launcher_entry.h"
#include "launcher/program_name_skip.h"
#include "platform/platform.h"

// The invocation is taken from the whole command line rather than from
// WinMain's own argument, whose start-up code may drop a first byte of 0x80 or
// more; it stays exactly as the caller wrote it: quotes are not removed.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int showMode) {
  const std::unique_ptr<zeltra::Platform> platform = zeltra::makeWin32Platform();
  return zeltra::runLauncher(*platform, instance, zeltra::skipProgramName(::GetCommandLineA()),
                             showMode);
}
