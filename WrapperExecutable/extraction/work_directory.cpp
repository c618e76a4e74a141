// Work directory operations. Links inside an old work directory are removed, never followed:
// walking into a junction would delete whatever it points at.
#include "extraction/work_directory.h"

#include "shell/run_log.h"

namespace launcher {
namespace {

// Removes a link entry itself: RemoveDirectoryW for a directory link, DeleteFileW otherwise.
std::uint32_t RemoveLink(Platform& platform, const std::wstring& path, std::uint32_t attributes) {
  const bool removed = (attributes & kAttributeDirectory) != 0
                           ? platform.RemoveEmptyDirectory(path)
                           : platform.RemoveFile(path);
  return removed ? 0 : platform.LastError();
}

// Removes one listed entry of a tree: 0 or the error code.
std::uint32_t RemoveEntry(Platform& platform, const std::wstring& child,
                          std::uint32_t attributes) {
  if ((attributes & kAttributeReparsePoint) != 0) return RemoveLink(platform, child, attributes);
  if ((attributes & kAttributeDirectory) != 0) return ClearDirectoryTree(platform, child);
  return platform.RemoveFile(child) ? 0 : platform.LastError();
}

}  // namespace

std::uint32_t EnterTempDirectory(Platform& platform, std::wstring* path) {
  std::wstring text;
  if (platform.TempPath(kTempPathCapacity, &text) == 0) return kResultNoTempPath;
  *path = text;
  if (!platform.ChangeDirectory(text)) return kResultTempDirNotCurrent;
  return kResultSuccess;
}

std::uint32_t ClearDirectoryTree(Platform& platform, const std::wstring& path) {
  const std::uint32_t attributes = platform.QueryAttributes(path);
  if (attributes == kInvalidFileAttributes) return 0;
  if ((attributes & kAttributeReparsePoint) != 0) return RemoveLink(platform, path, attributes);

  FindEntry entry;
  const FindRef listing = platform.FindFirst(path + L"\\*", &entry);
  if (listing == kInvalidHandle) return platform.LastError();
  for (;;) {
    if (entry.name != L"." && entry.name != L"..") {
      if (const std::uint32_t error = RemoveEntry(platform, path + L"\\" + entry.name,
                                                  entry.attributes)) {
        (void)platform.FindClose(listing);
        return error;
      }
    }
    if (!platform.FindNext(listing, &entry)) {
      const std::uint32_t error = platform.LastError();
      (void)platform.FindClose(listing);
      if (error != kErrorNoMoreFiles) return error;
      break;
    }
  }
  if (!platform.RemoveEmptyDirectory(path)) return platform.LastError();
  return 0;
}

std::uint32_t ClearWorkDirectory(Platform& platform) {
  return ClearDirectoryTree(platform, kWorkDirTree);
}

int CreatePathDirectories(LauncherState& state, std::string_view path) {
  std::size_t search = 0;
  for (;;) {
    const std::size_t slash = path.find('/', search);
    if (slash == std::string_view::npos) return 0;
    const std::string prefix(path.substr(0, slash));
    if (!state.platform.MakeDirectory(prefix, state.workDirSecurity) &&
        state.platform.LastError() != kErrorAlreadyExists) {
      return -1;
    }
    search = slash + 1;
  }
}

int BuildWorkDirSecurity(LauncherState& state) {
  const SecurityRef security = state.platform.BuildWorkDirSecurity();
  if (security == 0) return -1;
  state.workDirSecurity = security;
  return 0;
}

std::uint32_t PrepareWorkDirectory(LauncherState& state) {
  if (ClearWorkDirectory(state.platform) != 0) {
    LogLine(state, "Cannot clear output directory.");
    return kResultClearWorkDir;
  }
  if (CreatePathDirectories(state, kWorkDirNarrow) != 0) {
    LogLine(state, "Cannot create output directory.");
    return kResultCreateWorkDir;
  }
  if (!state.platform.ChangeDirectoryNarrow(kWorkDirNarrow)) {
    LogLine(state, "Cannot change to output directory.");
    return kResultEnterWorkDir;
  }
  return kResultSuccess;
}

}  // namespace launcher
