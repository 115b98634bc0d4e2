#include "check/output_place.h"

#include <string>

namespace zeltra::check {

OutputPlace prepareOutput(const CheckSetup& setup, const std::string& fileName) {
  OutputPlace place;
  if (!setup.outputFolder.empty()) {
    place.folder = setup.outputFolder;
  } else {
    place.folder = setup.temporaryFolder + "ZELTRA_ScreenTool_check-" +
                   std::to_string(::GetCurrentProcessId()) + "\\";
    place.ownFolder = ::CreateDirectoryA(place.folder.c_str(), nullptr) != FALSE;
  }
  place.file = place.folder + fileName;
  ::DeleteFileA(place.file.c_str());
  return place;
}

void removeOutput(Report& report, const OutputPlace& place, bool keep) {
  if (keep) {
    report.note("kept " + place.file);
    return;
  }
  const bool removedFile = ::DeleteFileA(place.file.c_str()) != FALSE;
  const DWORD fileError = removedFile ? ERROR_SUCCESS : ::GetLastError();
  if (place.ownFolder && ::RemoveDirectoryA(place.folder.c_str())) {
    report.note("removed " + place.folder + " (--keep keeps it)");
  } else if (removedFile) {
    report.note("removed " + place.file + " (--keep keeps it)");
  } else if (fileError != ERROR_FILE_NOT_FOUND) {
    report.note("could not remove " + place.file + " (error " + std::to_string(fileError) + ")");
  }
}

bool hasGrown(const std::string& file) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  return ::GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data) &&
         (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         (data.nFileSizeLow != 0 || data.nFileSizeHigh != 0);
}

}  // namespace zeltra::check
