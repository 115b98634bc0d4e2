// Text between UTF-16 and the ANSI code page, the conversion that turns the
// wide command line into the narrow one. Windows only: the launcher's
// platform, the machine check and the bench's stand-in encoder share it.
#pragma once

#include <windows.h>

#include <string>

namespace zeltra {

// Explicit lengths throughout: a text may hold any character, and its end is
// its size. A character the code page cannot hold becomes its best fit or the
// default character, as in GetCommandLineA.
inline std::string narrowToAnsi(const std::wstring& text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size =
      ::WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string ansi(size > 0 ? static_cast<size_t>(size) : 0, '\0');
  if (size > 0) {
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), length, ansi.data(), size, nullptr, nullptr);
  }
  return ansi;
}

// ANSI text widened character for character.
inline std::wstring widenFromAnsi(const std::string& text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size = ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  std::wstring wide(size > 0 ? static_cast<size_t>(size) : 0, L'\0');
  if (size > 0) ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), size);
  return wide;
}

}  // namespace zeltra
