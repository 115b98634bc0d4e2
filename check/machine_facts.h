// Facts about this machine and the files beside the check. Windows only.
#pragma once

#include <optional>
#include <string>

namespace zeltra::check {

// The folder this program lies in, ending in a backslash. Wide, as every
// path the check finds or starts a program by: the folder may hold
// characters the ANSI code page cannot.
std::wstring ownFolder();

// The path as the report shows it, in the ANSI code page as the launcher's
// lines name paths: a character the code page cannot hold becomes its best
// fit or "?".
std::string shownPath(const std::wstring& path);

// "1.0.0.0" from a program's version record; empty when it has none, or
// when version.dll is missing from the system directory.
std::string fileVersion(const std::wstring& path);

// 32 or 64 for a Windows program, 0 when it is none or cannot be read.
int programBits(const std::wstring& path);

// "10.0.19045", read with RtlGetVersion: GetVersionEx reports 6.2 to any
// program whose manifest does not name the newer Windows.
std::string windowsVersion();

// The text of a program's manifest (its resource 1 of the manifest type),
// read without starting it; nullopt when it has none.
std::optional<std::string> manifestOf(const std::wstring& program);

// The compatibility settings Windows keeps for a program by its full path
// (AppCompatFlags\Layers: the current user's, else the machine's); nullopt
// where there are none.
std::optional<std::string> compatibilityLayersOf(const std::wstring& program);

// The Wine version when running under Wine.
std::optional<std::string> wineVersion();

// The contents of the file's Zone.Identifier stream, which the browser or
// mail program that saved it adds; nullopt when it has none.
std::optional<std::string> zoneIdentifier(const std::wstring& path);

struct TemporaryFolder {
  std::string path;            // ending in a backslash; empty when none could be found
  std::string unwritablePath;  // the system's, when it cannot be written in the ANSI code page
};

// The temporary folder as an ANSI path. Where the user's temporary folder
// holds characters outside the ANSI code page, its short (8.3) name, else
// the machine's common application data folder.
TemporaryFolder temporaryFolder();

// The ANSI code page's number.
unsigned ansiCodePage();

}  // namespace zeltra::check
