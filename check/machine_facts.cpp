// Facts about this machine (see machine_facts.h).
#include "check/machine_facts.h"

#include <windows.h>

#include <vector>

#include "caller/zeltra_screentool.h"
#include "platform/ansi_text.h"
#include "platform/scoped_handle.h"
#include "platform/system_library.h"

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

std::wstring ownFolder() {
  // Room for the longest path Windows gives (32767 characters); one that
  // filled it was cut short and is no use.
  std::wstring path(32768, L'\0');
  const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length < path.size() ? length : 0);
  return path.substr(0, path.find_last_of(L'\\') + 1);
}

std::string shownPath(const std::wstring& path) { return narrowToAnsi(path); }

// The version record's calls, from version.dll loaded by its full path in
// the system directory: imported, it would be looked for beside the check
// first, before any of the check's code could restrict the search.
struct VersionCalls {
  using SizeCall = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
  using RecordCall = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
  using QueryCall = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
  SizeCall size = nullptr;
  RecordCall record = nullptr;
  QueryCall query = nullptr;
};

const VersionCalls& versionCalls() {
  static const VersionCalls calls = [] {
    const HMODULE library = loadSystemLibrary(L"version.dll");
    return VersionCalls{
        findLibraryFunction<VersionCalls::SizeCall>(library, "GetFileVersionInfoSizeW"),
        findLibraryFunction<VersionCalls::RecordCall>(library, "GetFileVersionInfoW"),
        findLibraryFunction<VersionCalls::QueryCall>(library, "VerQueryValueW")};
  }();
  return calls;
}

std::string fileVersion(const std::wstring& path) {
  const VersionCalls& calls = versionCalls();
  if (calls.size == nullptr || calls.record == nullptr || calls.query == nullptr) return {};
  DWORD ignored = 0;
  const DWORD size = calls.size(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<char> record(size);
  void* fixed = nullptr;
  UINT fixedSize = 0;
  if (!calls.record(path.c_str(), 0, size, record.data()) ||
      !calls.query(record.data(), L"\\", &fixed, &fixedSize) || fixedSize == 0) {
    return {};
  }
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
  return std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
         std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(info->dwFileVersionLS)) + "." +
         std::to_string(LOWORD(info->dwFileVersionLS));
}

int programBits(const std::wstring& path) {
  DWORD type = 0;
  if (!::GetBinaryTypeW(path.c_str(), &type)) return 0;
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

std::optional<std::string> manifestOf(const std::wstring& program) {
  // As data and as an image's resources only: nothing of it runs.
  const HMODULE module =
      ::LoadLibraryExW(program.c_str(), /*hFile=*/nullptr,
                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) return std::nullopt;
  std::optional<std::string> text;
  if (const HRSRC found =
          ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24) /* RT_MANIFEST */)) {
    const HGLOBAL loaded = ::LoadResource(module, found);
    const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    if (bytes != nullptr)
      text.emplace(static_cast<const char*>(bytes), ::SizeofResource(module, found));
  }
  ::FreeLibrary(module);
  return text;
}

std::optional<std::string> compatibilityLayersOf(const std::wstring& program) {
  const wchar_t kLayers[] =
      L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";
  for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    wchar_t value[512];
    DWORD size = sizeof value;
    if (::RegGetValueW(root, kLayers, program.c_str(), RRF_RT_REG_SZ, nullptr, value, &size) ==
        ERROR_SUCCESS) {
      return narrowToAnsi(value);
    }
  }
  return std::nullopt;
}

std::optional<std::string> wineVersion() {
  using WineGetVersionCall = const char*(CDECL*)();
  const auto call = reinterpret_cast<WineGetVersionCall>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version")));
  if (call == nullptr) return std::nullopt;
  return std::string(call());
}

std::optional<std::string> zoneIdentifier(const std::wstring& path) {
  const ScopedHandle stream(::CreateFileW((path + L":Zone.Identifier").c_str(), GENERIC_READ,
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
