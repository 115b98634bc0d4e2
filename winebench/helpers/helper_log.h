// Shared by the Windows test helpers that leave a log beside themselves for
// the driver to read: one line appended per call, readable while written.
#pragma once

#include <windows.h>

#include <string>

namespace zeltra::helpers {

// The folder of this program, without a trailing separator. Wide, as the
// launcher finds its own: the folder may hold characters the ANSI code page
// cannot.
inline std::wstring directoryOfThisProgram() {
  wchar_t path[MAX_PATH * 4];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
  const std::wstring text(path, length);
  return text.substr(0, text.find_last_of(L"\\/"));
}

// Appends the line to that log in this program's folder; opened for each line,
// so that lines of several processes sharing the log never overlap.
inline void appendLogLine(const wchar_t* logName, const std::string& line) {
  static const std::wstring directory = directoryOfThisProgram();
  const HANDLE file = ::CreateFileW((directory + L"\\" + logName).c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\n";
  DWORD written = 0;
  ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  ::CloseHandle(file);
}

}  // namespace zeltra::helpers
