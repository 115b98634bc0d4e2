// A version.dll planted beside a program, as a page saved into a Downloads
// folder might be. It exports the names a program importing version.dll asks
// for, each failing and leaving a mark beside the DLL
// (planted-version-dll-called) when called, so that such a program still
// starts and the mark tells that it used this DLL. The mark is taken on a
// call, not on loading: under Wine its own user32 imports version.dll, so
// with the native DLL preferred any program loads this one, uses it or not.
// Not <windows.h>: its winver.h declares these exports without dllexport.
#include <windef.h>  // first: winbase.h builds on it

#include <winbase.h>

#include <cstring>
#include <string>

namespace {

HINSTANCE self = nullptr;

// Appends one line naming the call and the file it was asked about.
void leaveMark(const char* call, const std::wstring& file) {
  wchar_t path[MAX_PATH * 4];
  const DWORD length = ::GetModuleFileNameW(self, path, MAX_PATH * 4);
  std::wstring mark(path, length);
  mark = mark.substr(0, mark.find_last_of(L'\\') + 1) + L"planted-version-dll-called";
  const HANDLE log = ::CreateFileW(mark.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log == INVALID_HANDLE_VALUE) return;
  std::string line = call;
  line += ' ';
  for (const wchar_t c : file) line += c < 0x80 ? static_cast<char>(c) : '?';
  line += '\n';
  DWORD written = 0;
  ::WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  ::CloseHandle(log);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) self = instance;
  return TRUE;
}

extern "C" {
__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR file, LPDWORD) {
  leaveMark("GetFileVersionInfoSizeA", std::wstring(file, file + std::strlen(file)));
  return 0;
}
__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR file, LPDWORD) {
  leaveMark("GetFileVersionInfoSizeW", file);
  return 0;
}
__declspec(dllexport) BOOL WINAPI GetFileVersionInfoA(LPCSTR file, DWORD, DWORD, LPVOID) {
  leaveMark("GetFileVersionInfoA", std::wstring(file, file + std::strlen(file)));
  return FALSE;
}
__declspec(dllexport) BOOL WINAPI GetFileVersionInfoW(LPCWSTR file, DWORD, DWORD, LPVOID) {
  leaveMark("GetFileVersionInfoW", file);
  return FALSE;
}
__declspec(dllexport) BOOL WINAPI VerQueryValueA(LPCVOID, LPCSTR, LPVOID*, PUINT) {
  leaveMark("VerQueryValueA", L"");
  return FALSE;
}
__declspec(dllexport) BOOL WINAPI VerQueryValueW(LPCVOID, LPCWSTR, LPVOID*, PUINT) {
  leaveMark("VerQueryValueW", L"");
  return FALSE;
}
}
