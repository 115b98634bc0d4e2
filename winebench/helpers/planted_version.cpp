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

#include <string>

#include "helper_log.h"

namespace {

HINSTANCE self = nullptr;

// Appends one line naming the call and the file it was asked about, its
// characters beyond ASCII as "?", and returns what the call fails with.
template <typename Char, typename Failure>
Failure leaveMark(const char* call, const Char* file, Failure failure) {
  std::string line = std::string(call) + " ";
  for (const Char* c = file; *c != 0; ++c)
    line += *c > 0 && *c < 0x80 ? static_cast<char>(*c) : '?';
  zeltra::helpers::appendLogLine(zeltra::helpers::directoryOfThisProgram(self),
                                 L"planted-version-dll-called", line);
  return failure;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) self = instance;
  return TRUE;
}

extern "C" {
__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR file, LPDWORD) {
  return leaveMark("GetFileVersionInfoSizeA", file, DWORD{0});
}
__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR file, LPDWORD) {
  return leaveMark("GetFileVersionInfoSizeW", file, DWORD{0});
}
__declspec(dllexport) BOOL WINAPI GetFileVersionInfoA(LPCSTR file, DWORD, DWORD, LPVOID) {
  return leaveMark("GetFileVersionInfoA", file, FALSE);
}
__declspec(dllexport) BOOL WINAPI GetFileVersionInfoW(LPCWSTR file, DWORD, DWORD, LPVOID) {
  return leaveMark("GetFileVersionInfoW", file, FALSE);
}
__declspec(dllexport) BOOL WINAPI VerQueryValueA(LPCVOID, LPCSTR, LPVOID*, PUINT) {
  return leaveMark("VerQueryValueA", L"", FALSE);
}
__declspec(dllexport) BOOL WINAPI VerQueryValueW(LPCVOID, LPCWSTR, LPVOID*, PUINT) {
  return leaveMark("VerQueryValueW", L"", FALSE);
}
}
