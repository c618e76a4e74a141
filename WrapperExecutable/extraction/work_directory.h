// The work directory "zorvan_temp" inside the user's temporary directory: entering the
// temporary directory, clearing a tree, creating the directories of a path with the work
// directory's security, and preparing the work directory for a run. EnterTempDirectory and
// BuildWorkDirSecurity are declared in launcher.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "shell/launcher.h"

namespace launcher {

inline constexpr char kWorkDirNarrow[] = "zorvan_temp/";   // to create and enter it
inline constexpr wchar_t kWorkDirWide[] = L"zorvan_temp\\"; // to build the setup program's path
inline constexpr wchar_t kWorkDirTree[] = L"zorvan_temp";   // the tree that is cleared
inline constexpr std::uint32_t kTempPathCapacity = 261;

// Removes the tree at path, children first. Returns 0 when it is gone (or was never there),
// else the Windows error code of the first operation that failed. An entry carrying the
// reparse-point attribute (a junction or symbolic link) is removed as the link itself and never
// walked into; the same holds for path itself.
std::uint32_t ClearDirectoryTree(Platform& platform, const std::wstring& path);
// ClearDirectoryTree on "zorvan_temp" in the current directory.
std::uint32_t ClearWorkDirectory(Platform& platform);
// Creates, with state.workDirSecurity, the directory named by every prefix of path that ends
// before a '/'; the part after the last '/' is left alone. Returns 0, or -1 when a creation
// fails with any error other than "already exists".
int CreatePathDirectories(LauncherState& state, std::string_view path);
// Clears, creates and enters the work directory: 0, or 1015, 1016 or 1017 after writing the
// run-log line.
std::uint32_t PrepareWorkDirectory(LauncherState& state);

}  // namespace launcher
