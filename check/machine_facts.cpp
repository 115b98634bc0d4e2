// Facts about this machine (see machine_facts.h).
#include "check/machine_facts.h"

#include <windows.h>

#include <vector>

#include "caller/zeltra_screentool.h"
#include "platform/scoped_handle.h"

namespace zeltra::check {
namespace {

// Wide text in the ANSI code page, the check's own and the one its paths
// reach the launcher in; nullopt when a character has no place there. The
// caller header's conversion, so that the check accepts exactly what the
// header will.
std::optional<std::string> toAnsi(const std::wstring& text) {
  std::string ansi;
  if (!caller::detail::toCodePage(text, ::GetACP(), ansi)) return std::nullopt;
  return ansi;
}

std::wstring withBackslash(std::wstring path) {
  if (!path.empty() && path.back() != L'\\') path += L'\\';
  return path;
}

}  // namespace

std::string ownFolder() {
  char path[MAX_PATH * 4];
  const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
  const std::string text(path, length);
  return text.substr(0, text.find_last_of('\\') + 1);
}

std::string fileVersion(const std::string& path) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<char> record(size);
  void* fixed = nullptr;
  UINT fixedSize = 0;
  if (!::GetFileVersionInfoA(path.c_str(), 0, size, record.data()) ||
      !::VerQueryValueA(record.data(), "\\", &fixed, &fixedSize) || fixedSize == 0) {
    return {};
  }
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
  return std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
         std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(info->dwFileVersionLS)) + "." +
         std::to_string(LOWORD(info->dwFileVersionLS));
}

int programBits(const std::string& path) {
  DWORD type = 0;
  if (!::GetBinaryTypeA(path.c_str(), &type)) return 0;
  if (type == SCS_32BIT_BINARY) return 32;
  if (type == SCS_64BIT_BINARY) return 64;
  return 0;
}

std::string windowsVersion() {
  using RtlGetVersionCall = LONG(WINAPI*)(OSVERSIONINFOW*);
  const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  const auto call = reinterpret_cast<RtlGetVersionCall>(
      reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")));
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (call == nullptr || call(&info) != 0) return "unknown (RtlGetVersion failed)";
  return std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + "." +
         std::to_string(info.dwBuildNumber);
}

int displayScalePercent() {
  const HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
  ::ReleaseDC(nullptr, screen);
  return dpi * 100 / 96;
}

std::optional<std::string> wineVersion() {
  using WineGetVersionCall = const char*(CDECL*)();
  const auto call = reinterpret_cast<WineGetVersionCall>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version")));
  if (call == nullptr) return std::nullopt;
  return std::string(call());
}

std::optional<std::string> zoneIdentifier(const std::string& path) {
  const ScopedHandle stream(::CreateFileA((path + ":Zone.Identifier").c_str(), GENERIC_READ,
                                          FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!stream.valid()) return std::nullopt;
  char text[1024];
  DWORD read = 0;
  ::ReadFile(stream.get(), text, sizeof text, &read, nullptr);
  return std::string(text, read);
}

TemporaryFolder temporaryFolder() {
  TemporaryFolder folder;
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
  const std::wstring temp(buffer, length);
  if (const std::optional<std::string> ansi = toAnsi(temp)) {
    folder.path = *ansi;
    return folder;
  }
  std::string shown;
  for (const wchar_t c : temp) shown += c < 0x80 ? static_cast<char>(c) : '?';
  folder.unwritablePath = shown;
  wchar_t shortName[MAX_PATH + 1];
  const DWORD shortLength = ::GetShortPathNameW(temp.c_str(), shortName, MAX_PATH + 1);
  if (shortLength > 0 && shortLength <= MAX_PATH) {
    if (const std::optional<std::string> ansi = toAnsi(std::wstring(shortName, shortLength))) {
      folder.path = *ansi;
      return folder;
    }
  }
  wchar_t common[MAX_PATH + 1];
  const DWORD commonLength = ::GetEnvironmentVariableW(L"ProgramData", common, MAX_PATH + 1);
  if (commonLength > 0 && commonLength <= MAX_PATH) {
    folder.path = toAnsi(withBackslash(std::wstring(common, commonLength))).value_or("");
  }
  return folder;
}

unsigned ansiCodePage() { return ::GetACP(); }

}  // namespace zeltra::check
