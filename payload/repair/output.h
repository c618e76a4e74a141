// The repair program's output: console lines, verbose lines, the three-line error report, the
// run time stamp, side files and their collection into a log folder.
#pragma once

#include <cstdint>
#include <string>

#include "run_context.h"

namespace repair {

// Side files of a run, each named ".\" + run time stamp + one of these.
inline constexpr wchar_t SIDE_FILE_FALSE_POS_ALL[] = L"_001-FalsePosAll.txt";
inline constexpr wchar_t SIDE_FILE_FALSE_POS_MOVED[] = L"_002-FalsePosMoved.txt";
inline constexpr wchar_t SIDE_FILE_TO_RESTORE_MOVED[] = L"_003-ToRestoreMoved.txt";
inline constexpr wchar_t SIDE_FILE_FALSE_POS_DELETED[] = L"_004-FalsePosDeleted.txt";
inline constexpr wchar_t SIDE_FILE_TO_RESTORE_DELETED[] = L"_005-ToRestoreDeleted.txt";
inline constexpr wchar_t SIDE_FILE_MOVE_BACK_LOG[] = L"_006-MoveBackLog.txt";
inline constexpr wchar_t SIDE_FILE_AFFECTED_PRODUCTS[] = L"_007-AffectedProducts.txt";
inline constexpr wchar_t SIDE_FILE_ZAU_INSTALL_LOG[] = L"_zauinstall.log";

// Writes the text as one line on standard output; "" writes an empty line.
void LogMsg(RunContext& run, const std::wstring& text);

// LogMsg while verbose output is on, else nothing.
void DbgMsg(RunContext& run, const std::wstring& text);

// The error number as DisplayError and the web probe print it in hexadecimal: the 32-bit
// two's-complement form in upper case, no leading zeros, no "0x" ("80042F05", "35").
std::wstring ErrorNumberHex(std::int32_t number);

// The three lines of a failed platform call: "Script encountered an error, details:",
// "Number = " + decimal (>= 0) or "0x" + ErrorNumberHex (< 0), "Description = " + text.
void DisplayError(RunContext& run, const SysError& error);

// Sets g_runTimeStamp from the local time and the computer name:
// year-month-day_hour-minute-second_#name#, numbers without leading zeros.
void GetRunTimeStamp(RunContext& run);

// The expansion of "%COMPUTERNAME%".
std::wstring GetComputerName(RunContext& run);

// The path of a side file of this run: ".\" + g_runTimeStamp + suffix.
std::wstring SideFilePath(const RunContext& run, const std::wstring& suffix);

// An open side file. Writes to one that could not be created (or that failed once) are
// skipped. Closes itself.
class SideFile {
 public:
  SideFile() = default;
  SideFile(Files& files, std::uintptr_t handle, bool unicode)
      : files_(&files), handle_(handle), unicode_(unicode) {}
  SideFile(SideFile&& other) noexcept { *this = std::move(other); }
  SideFile& operator=(SideFile&& other) noexcept;
  SideFile(const SideFile&) = delete;
  SideFile& operator=(const SideFile&) = delete;
  ~SideFile() { Close(); }

  bool IsOpen() const { return handle_ != 0; }
  // Writes text + CR LF. On a write error prints the error's lines once and stops writing.
  void WriteLine(RunContext& run, const std::wstring& text);
  void Close();

 private:
  Files* files_ = nullptr;
  std::uintptr_t handle_ = 0;
  bool unicode_ = true;
};

// Creates the file for writing (replacing it when overwrite; UTF-16LE with byte-order mark when
// unicode, else single-byte) and records the path in g_logFilesPathArray, also when the
// creation fails; a failure prints the error's lines and yields a closed SideFile.
SideFile CreateLogFile(RunContext& run, const std::wstring& path, bool overwrite, bool unicode);

// True when a folder is at the path or was created (last level only); else the error's lines.
bool CreateFolder(RunContext& run, const std::wstring& path);

// Copies the file into the folder under its own name, replacing a file of that name; a failure
// prints the error's lines and gives false.
bool CopyFileToFolder(RunContext& run, const std::wstring& sourcePath,
                      const std::wstring& targetFolder);

// Copies every side file of the run into g_logPath + "\" + computer name; true when all were
// copied. Stops at the first failure.
bool CopyLogFilesToOutputFolder(RunContext& run);

}  // namespace repair
