// DLLs from the system directory alone, for the launcher and the machine
// check alike. Windows only.
//
// A program's own folder is searched for DLLs first by default, and that
// folder may be a Downloads folder holding whatever a page saved there. So
// both programs restrict the search first thing, and a DLL that is not a
// known system DLL is never imported: it is loaded at run time by its full
// path in the system directory, with a fallback where it is missing.
#pragma once

#include <windows.h>

#include <string>

namespace zeltra {

// A function of a loaded DLL, of the type given; null when the DLL or the
// function is missing.
template <typename Function>
Function findLibraryFunction(HMODULE library, const char* name) {
  if (library == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

// Restricts where DLLs loaded from now on are looked for to the system
// directory. SetDefaultDllDirectories is looked up, not imported: Windows 7
// without its update lacks it, and a missing import would stop the program
// with a loader error box before any of its code ran. There the program's
// own folder is still searched, but the current directory no longer is.
inline void restrictDllSearchToSystemDirectory() {
  using SetDefaultDllDirectoriesCall = BOOL(WINAPI*)(DWORD);
  const auto call = findLibraryFunction<SetDefaultDllDirectoriesCall>(
      ::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
  if (call != nullptr && call(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  ::SetDllDirectoryW(L"");
}

// The DLL's full path in the system directory; empty when that directory
// cannot be read.
inline std::wstring systemLibraryPath(const wchar_t* fileName) {
  wchar_t directory[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(directory, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::wstring(directory, length) + L"\\" + fileName;
}

// Loads the DLL ("version.dll") by its full path in the system directory;
// null when it is not there, which the caller copes with. It stays loaded
// for the process's life.
inline HMODULE loadSystemLibrary(const wchar_t* fileName) {
  const std::wstring path = systemLibraryPath(fileName);
  return path.empty() ? nullptr : ::LoadLibraryExW(path.c_str(), /*hFile=*/nullptr, 0);
}

}  // namespace zeltra
