// Console lines, error reports, the run time stamp, side files and log collection.
#include "output.h"

#include <utility>

#include "system_access.h"
#include "text_encoding.h"

namespace repair {

void LogMsg(RunContext& run, const std::wstring& text) { run.platform.system.WriteLine(text); }

void DbgMsg(RunContext& run, const std::wstring& text) {
  if (run.g_verbose) LogMsg(run, text);
}

std::wstring ErrorNumberHex(std::int32_t number) {
  static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  auto value = static_cast<std::uint32_t>(number);
  std::wstring out;
  do {
    out.insert(out.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return out;
}

void DisplayError(RunContext& run, const SysError& error) {
  LogMsg(run, L"Script encountered an error, details:");
  LogMsg(run, error.number >= 0 ? L"Number = " + std::to_wstring(error.number)
                                : L"Number = 0x" + ErrorNumberHex(error.number));
  LogMsg(run, L"Description = " + error.description);
}

void GetRunTimeStamp(RunContext& run) {
  const LocalTime t = run.platform.system.Now();
  run.g_runTimeStamp = std::to_wstring(t.year) + L"-" + std::to_wstring(t.month) + L"-" +
                       std::to_wstring(t.day) + L"_" + std::to_wstring(t.hour) + L"-" +
                       std::to_wstring(t.minute) + L"-" + std::to_wstring(t.second) + L"_#" +
                       GetComputerName(run) + L"#";
}

std::wstring GetComputerName(RunContext& run) { return ExpandEnv(run, L"%COMPUTERNAME%"); }

std::wstring SideFilePath(const RunContext& run, const std::wstring& suffix) {
  return L".\\" + run.g_runTimeStamp + suffix;
}

SideFile& SideFile::operator=(SideFile&& other) noexcept {
  if (this != &other) {
    Close();
    files_ = std::exchange(other.files_, nullptr);
    handle_ = std::exchange(other.handle_, 0);
    unicode_ = other.unicode_;
  }
  return *this;
}

void SideFile::WriteLine(RunContext& run, const std::wstring& text) {
  if (handle_ == 0) return;
  const std::wstring line = text + L"\r\n";
  const Status written = files_->Append(handle_, unicode_ ? EncodeUtf16Le(line) : NarrowAnsi(line));
  if (!written) {
    DisplayError(run, written.error);
    Close();
  }
}

void SideFile::Close() {
  if (handle_ != 0) files_->Close(handle_);
  handle_ = 0;
}

SideFile CreateLogFile(RunContext& run, const std::wstring& path, bool overwrite, bool unicode) {
  run.g_logFilesPathArray.push_back(path);
  Files& files = run.platform.files;
  const Result<std::uintptr_t> created = files.CreateForWriting(path, overwrite);
  if (!created) {
    DisplayError(run, created.error);
    return SideFile{};
  }
  SideFile file(files, created.value, unicode);
  if (unicode) {
    const Status bom = files.Append(created.value, std::string("\xFF\xFE", 2));
    if (!bom) {
      DisplayError(run, bom.error);
      return SideFile{};
    }
  }
  return file;
}

bool CreateFolder(RunContext& run, const std::wstring& path) {
  if (FolderExists(run, path)) return true;
  const Status created = run.platform.files.CreateFolder(path);
  if (!created) {
    DisplayError(run, created.error);
    return false;
  }
  return true;
}

bool CopyFileToFolder(RunContext& run, const std::wstring& sourcePath,
                      const std::wstring& targetFolder) {
  const std::size_t cut = sourcePath.find_last_of(L"\\/");
  const std::wstring name = cut == std::wstring::npos ? sourcePath : sourcePath.substr(cut + 1);
  const Status copied = run.platform.files.CopyFile(sourcePath, targetFolder + L"\\" + name,
                                                    /*overwrite=*/true);
  if (!copied) {
    DisplayError(run, copied.error);
    return false;
  }
  return true;
}

bool CopyLogFilesToOutputFolder(RunContext& run) {
  const std::wstring computerName = GetComputerName(run);
  if (computerName.empty()) {
    LogMsg(run, L"Failed to determine computer name");
    return false;
  }
  const std::wstring outputFolder = run.g_logPath + L"\\" + computerName;
  if (!CreateFolder(run, outputFolder)) {
    LogMsg(run, L"Failed to create log output folder");
    return false;
  }
  for (const std::wstring& path : run.g_logFilesPathArray) {
    if (!CopyFileToFolder(run, path, outputFolder)) return false;
  }
  return true;
}

}  // namespace repair
