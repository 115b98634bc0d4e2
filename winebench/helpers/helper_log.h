// Shared by the Windows test helpers that leave a log beside themselves for
// the driver to read: one line appended per call, readable while written.
#pragma once

// Not <windows.h>: the planted version.dll uses it too, and that header's
// winver.h declares the DLL's exports without dllexport.
#include <windef.h>  // first: winbase.h builds on it

#include <winbase.h>

#include <string>

namespace zeltra::helpers {

// The path of this program, or with a module of a DLL's, of that DLL. Wide,
// as the launcher finds its own: the folder may hold characters the ANSI
// code page cannot.
inline std::wstring pathOfThisProgram(HMODULE module = nullptr) {
  wchar_t path[MAX_PATH * 4];
  return std::wstring(path, ::GetModuleFileNameW(module, path, MAX_PATH * 4));
}

// Its folder, without a trailing separator.
inline std::wstring directoryOfThisProgram(HMODULE module = nullptr) {
  const std::wstring path = pathOfThisProgram(module);
  return path.substr(0, path.find_last_of(L"\\/"));
}

// Appends the line to that log in the folder; opened for each line, so that
// lines of several processes sharing the log never overlap.
inline void appendLogLine(const std::wstring& directory, const wchar_t* logName,
                          const std::string& line) {
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
