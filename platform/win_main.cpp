// The program's entry: wires the Windows platform to the launcher.
#include <windows.h>  // NOMINMAX and WIN32_LEAN_AND_MEAN come from the build

#include "launcher/launcher_entry.h"
#include "platform/platform.h"

// commandLine is the text after the program name and the blanks that follow
// it, exactly as the caller wrote it: quotes are not removed.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR commandLine, int showMode) {
  const std::unique_ptr<zeltra::Platform> platform = zeltra::makeWin32Platform();
  return zeltra::runLauncher(*platform, instance, commandLine, showMode);
}
