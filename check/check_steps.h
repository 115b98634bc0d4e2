// The check's steps, in order. Each reports to the Report; a step that
// returns false found something that makes the later ones pointless.
// Windows only.
#pragma once

#include <string>

#include "check/report.h"

namespace zeltra::check {

struct CheckSetup {
  std::wstring launcher;        // ZELTRA_ScreenTool.exe beside the check
  std::wstring encoder;         // ffmpeg.exe beside it
  std::string outputFolder;     // given on the command line, ending in a backslash; or empty
  std::string temporaryFolder;  // found in step 2, ending in a backslash
  bool keep = false;            // keep the recording and its folder
};

// 1. Versions, builds, Windows, the display, Wine.
bool reportEnvironment(Report& report, const CheckSetup& setup);
// 2. A running ffmpeg.exe, a downloaded encoder, the temporary folder.
bool checkDisturbances(Report& report, CheckSetup& setup);
// 3. The encoder's version, its gdigrab input and libxvid encoder.
bool checkEncoder(Report& report, const CheckSetup& setup);
// 4 to 6. A real recording through the launcher, its diagnostic lines, the file.
void checkRecording(Report& report, const CheckSetup& setup);
// 7. A framed window in front of a backdrop, recorded without the backdrop.
void checkFramedWindow(Report& report, const CheckSetup& setup);

}  // namespace zeltra::check
