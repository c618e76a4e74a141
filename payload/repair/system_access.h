// The repair program's small system queries: product values in the registry, the 64-bit test,
// environment expansion, file and folder tests, special folders and caseless comparison.
#pragma once

#include <string>

#include "run_context.h"

namespace repair {

// Special folders by the shell's identifier.
inline constexpr int CSIDL_COMMON_APPDATA_ID = 0x23;
inline constexpr int CSIDL_SYSTEM_ID = 0x25;
inline constexpr int CSIDL_SYSTEMX86_ID = 0x29;

// Reads the string value HKLM\preWow\postWow\valueName in the view of `architecture` (32 or 64;
// the 32-bit view of a 64-bit system is the Wow6432Node one). True and the value, or the
// error's three lines, "" and false.
bool RegReadStringValue(RunContext& run, const std::wstring& preWowKeyName,
                        const std::wstring& postWowKeyName, const std::wstring& valueName,
                        std::wstring& value, int architecture);

// The suite's product values, read in the 32-bit view. Each prints its verbose line after the
// read, failed or not, with the value it then holds.
bool ReadZauVersion(RunContext& run, std::wstring& value);
bool ReadZavInstallPath(RunContext& run, std::wstring& value);
bool ReadZavLogDir(RunContext& run, std::wstring& value);
bool ReadZauDataPath(RunContext& run, std::wstring& value);
bool ReadZauInstallationPath(RunContext& run, std::wstring& value);

// True when %PROCESSOR_ARCHITECTURE% is "AMD64" in any letter case.
bool Is64BitOs(RunContext& run);

// The text with defined %NAME% references replaced; undefined ones stay as written.
std::wstring ExpandEnv(RunContext& run, const std::wstring& text);

bool FolderExists(RunContext& run, const std::wstring& path);
bool FileExists(RunContext& run, const std::wstring& path);

// The path of the special folder, or "" after the error's three lines.
std::wstring ShellSpecialFolder(RunContext& run, int identifier);

// The text in lower case (Latin, Greek and Cyrillic letters).
std::wstring LowerCase(const std::wstring& text);

// True when the two texts are equal when letter case is ignored.
bool StrEqualCaseInsensitive(const std::wstring& a, const std::wstring& b);

}  // namespace repair
