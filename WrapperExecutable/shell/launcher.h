// The launcher's process-wide state and the operations that the Win32 entry routine and window
// procedure call. Everything declared here runs against the seam (platform/launcher_platform.h),
// so the unit tests drive it through the in-memory machine.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/launcher_platform.h"

namespace launcher {

// Result codes (the process exit code). 100..142 are the setup program's own codes.
enum : std::uint32_t {
  kResultSuccess = 0,
  kResultCommandLine = 1001,
  kResultNoTempPath = 1002,
  kResultTempDirNotCurrent = 1003,
  kResultRunLog = 1004,
  kResultSecurity = 1005,
  kResultWindow = 1006,
  kResultThread = 1007,
  kResultNoPayload = 1008,
  kResultPayloadNotLoaded = 1009,
  kResultPayloadNoData = 1010,
  kResultNoChecksum = 1011,
  kResultChecksumSize = 1012,
  kResultChecksumNoData = 1013,
  kResultChecksumMismatch = 1014,
  kResultClearWorkDir = 1015,
  kResultCreateWorkDir = 1016,
  kResultEnterWorkDir = 1017,
  kResultExtractStream = 1018,
  kResultExtractHeader = 1019,
  kResultExtractLongName = 1020,
  kResultExtractAfterLongName = 1021,
  kResultExtractOpen = 1022,
  kResultExtractData = 1023,
  kResultExtractWrite = 1024,
  kResultVerifyStream = 1025,
  kResultVerifyHeader = 1026,
  kResultVerifyLongName = 1027,
  kResultVerifyAfterLongName = 1028,
  kResultVerifyOpen = 1029,
  kResultVerifyData = 1030,
  kResultVerifyRead = 1031,
  kResultVerifyMismatch = 1032,
  kResultVerifyExtraRead = 1033,
  kResultVerifyTooLong = 1034,
  kResultSetupProgram = 1038,
  kResultCleanUp = 1039,
  kResultAlreadyRunning = 1041,
};

// zlib's allocation functions (alloc_func / free_func) for the inflate states; both null means
// zlib's own, which is what the product uses.
struct InflateAllocator {
  void* (*alloc)(void* opaque, unsigned items, unsigned size) = nullptr;
  void (*release)(void* opaque, void* address) = nullptr;
  void* opaque = nullptr;
};

// Observation points of the worker. The product leaves them empty; the unit tests use them to
// act between two blocks of a pass and to make zlib's allocations fail.
struct WorkerHooks {
  std::function<void()> beforeBlockRead;  // at the start of every ReadBlock, before its cancel test
  InflateAllocator inflateAllocator;
};

// Process-wide launcher state. One instance per process (the entry routine's), one per test.
struct LauncherState {
  explicit LauncherState(Platform& p) : platform(p) {}
  LauncherState(const LauncherState&) = delete;
  LauncherState& operator=(const LauncherState&) = delete;

  Platform& platform;
  bool silentMode = false;                // written once by the entry routine
  std::uint32_t resultCode = 0;           // written only by the worker sequence
  FileRef runLogFile = kInvalidHandle;    // opened by the entry routine, closed by the worker
  SecurityRef workDirSecurity = 0;        // built once by the entry routine

  // Set and read only through the functions below, each under stateLock.
  std::mutex stateLock;
  std::int32_t cancelRequested = 0;
  std::int32_t progressValue = 0;

  WorkerHooks hooks;
};

// Run log "Zorvan Fix Log_YYYYMMDDHHMMSS.txt" (UTC) created in the current directory: the open
// file, or kInvalidHandle. The handle is also stored in state.runLogFile.
FileRef OpenRunLog(LauncherState& state);
// One text line / one value line ("0x" + 8 lower-case hex digits + ".") with the UTC prefix.
void LogLine(LauncherState& state, std::string_view text);
void LogValueLine(LauncherState& state, std::string_view text, std::uint32_t value);

// GetTempPathW into *path and make it current: 0, kResultNoTempPath or kResultTempDirNotCurrent.
std::uint32_t EnterTempDirectory(Platform& platform, std::wstring* path);
// The work directory's security attributes: 0 with state.workDirSecurity filled, or -1.
int BuildWorkDirSecurity(LauncherState& state);

// The failure box with the code in decimal (nothing in silent mode).
void ShowFailureBox(LauncherState& state, std::uint32_t code);

// The worker sequence: returns the final result code and leaves it in state.resultCode.
std::uint32_t RunSequence(LauncherState& state);

// Shared values between the window and the worker, each access a single load or store under
// stateLock.
void SetProgress(LauncherState& state, std::int32_t value);
std::int32_t ReadProgress(LauncherState& state);
void RequestCancel(LauncherState& state);
bool CancelRequested(LauncherState& state);

// Window texts and identifiers shared by the entry routine and the tests.
inline constexpr wchar_t kMutexName[] = L"com.zorvan.edx.single";
inline constexpr wchar_t kWindowClass[] = L"ZorvanExtractor";
inline constexpr wchar_t kWindowTitle[] = L"Zorvan Orvalis Extractor";
inline constexpr wchar_t kBoxCaption[] = L"Zorvan";
inline constexpr unsigned kMessageDone = 0x8000u + 1;      // WM_APP + 1
inline constexpr unsigned kMessageProgress = 0x8000u + 2;  // WM_APP + 2
inline constexpr int kIconLarge = 106;
inline constexpr int kIconSmall = 107;
inline constexpr int kPayloadResource = 104;
inline constexpr int kChecksumResource = 105;

}  // namespace launcher
