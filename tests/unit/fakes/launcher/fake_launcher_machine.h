// An in-memory machine behind the launcher's seam: its own resources, a drive with Windows file
// semantics, the temporary path, a shell that runs scripted setup programs, the main window's
// posts and the message boxes, a settable UTC clock, open-handle counting, and fault injection
// on every operation (fail the Nth call, once or from then on).
//
// File-system semantics, as the launcher meets them on Windows:
// - names compare case-insensitively (ASCII letters), '/' and '\' both separate, "." and ".."
//   are resolved lexically, relative names resolve against the current directory, a name that
//   starts with a separator against the current drive's root; narrow names are widened byte for
//   byte (Latin-1);
// - a component holding one of <>:"|?* or a control character is an invalid name (123);
// - files are opened without sharing: a second open or a delete of an open file fails with 32,
//   as does anything on a file "another process" holds open (HoldOpen);
// - a link (reparse point) is followed when it is an inner component of a path (listing and
//   deleting through a directory link reach its target), never when it is the last component
//   (QueryAttributes, RemoveFile and RemoveEmptyDirectory act on the link itself);
// - read-only files cannot be deleted or replaced (5); a directory that is not empty cannot be
//   removed (145), nor the current directory (32); a listing returns "." and ".." first (except
//   at a drive root), then the entries in name order.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/launcher_platform.h"

namespace launcher::fake {

// One enumerator per seam operation, in the seam's order.
enum class Op {
  kFindFileResource,
  kLoadResource,
  kResourceSize,
  kLockResource,
  kOpenFile,
  kWriteFile,
  kReadFile,
  kCloseFile,
  kQueryAttributes,
  kFindFirst,
  kFindNext,
  kFindClose,
  kRemoveFile,
  kRemoveEmptyDirectory,
  kMakeDirectory,
  kChangeDirectory,
  kChangeDirectoryNarrow,
  kTempPath,
  kLastError,
  kShellExecuteFile,
  kWaitForProcess,
  kGetExitCode,
  kCloseProcess,
  kHideMainWindow,
  kPostProgress,
  kPostDone,
  kShowMessageBox,
  kUtcNow,
  kBuildWorkDirSecurity,
};

const char* OpName(Op op);

// One seam call as the machine saw it: the path it named (for handle operations, the open
// file's path) and, for writes, the bytes offered.
struct Call {
  Op op;
  std::wstring path;
  std::string data;
};

enum class WindowEvent { kHidden, kProgress, kDone };

struct MessageBoxRecord {
  std::wstring text;
  std::wstring caption;
  BoxIcon icon;
  bool operator==(const MessageBoxRecord&) const = default;
};

struct SetupRun {
  std::wstring file;       // as given to the shell
  bool noUi;               // SEE_MASK_FLAG_NO_UI requested
  std::wstring directory;  // the current directory the program started in
};

inline constexpr SecurityRef kFakeWorkDirSecurity = 0x5EC0;

class FakeLauncherMachine final : public Platform {
 public:
  // Drive C: with the temporary directory kDefaultTempPath, which is also the current directory.
  FakeLauncherMachine();

  static constexpr const wchar_t* kDefaultTempPath = L"C:\\Users\\admin\\AppData\\Local\\Temp\\";

  // --- Faults ---
  // A failed operation returns its failure value, leaves `error` for LastError and has no
  // effect. Operations without a failure value: LastError returns `error`; the window, box and
  // wait operations do nothing; UtcNow is unaffected. A failed close still releases the handle
  // (as CloseHandle on a valid handle does), so a fault there leaks nothing.
  // Counting starts when the fault is armed: n = 1 is the next matching call.
  // Fails the n-th seam call of any kind.
  void FailCall(std::uint64_t n, std::uint32_t error, bool fromThenOn = false);
  // Fails the n-th call of one operation; with pathEnd, only calls whose path (for handle
  // operations, the open file's path) ends with it, compared case-insensitively, are counted.
  void FailOp(Op op, std::uint64_t n, std::uint32_t error, bool fromThenOn = false,
              std::wstring pathEnd = {});
  void ClearFaults() { rules_.clear(); }
  // The calls that were failed, in order.
  const std::vector<Call>& FaultedCalls() const { return faulted_; }
  std::uint64_t CallCount() const { return calls_; }
  std::uint64_t CallCount(Op op) const;
  // Called at the start of every seam call, before fault injection.
  std::function<void(const Call&)> onCall;

  // --- Resources ---
  void SetResource(int id, std::string bytes) { resources_[id] = std::move(bytes); }
  void RemoveResource(int id) { resources_.erase(id); }

  // --- Files and directories (test side) ---
  void AddDirectory(const std::wstring& path);  // with its missing parents
  void AddFile(const std::wstring& path, std::string data,
               std::uint32_t attributes = kAttributeArchive);
  void AddDirectoryLink(const std::wstring& path, const std::wstring& target);
  void AddFileLink(const std::wstring& path, const std::wstring& target);
  void HoldOpen(const std::wstring& path, bool held = true);  // by another process, no sharing
  void SetFileData(const std::wstring& path, std::string data);
  void Remove(const std::wstring& path);  // a node and everything below it
  bool Exists(const std::wstring& path) const;
  bool IsDirectory(const std::wstring& path) const;
  std::optional<std::string> FileData(const std::wstring& path) const;
  SecurityRef SecurityOf(const std::wstring& path) const;  // given when the launcher made it
  // Every node's full path (directories end in '\'), in name order.
  std::vector<std::wstring> AllPaths() const;
  std::wstring CurrentDirectory() const;
  // nullopt: GetTempPathW gives nothing (0).
  void SetTempPath(std::optional<std::wstring> path) { tempPath_ = std::move(path); }

  // --- Setup program (the shell) ---
  std::uint32_t setupExitCode = 0;
  bool setupGivesNoProcess = false;  // the shell succeeds but returns no process handle
  std::vector<SetupRun> setupRuns;

  // --- Window and boxes ---
  bool hasMainWindow = false;
  std::vector<WindowEvent> windowEvents;
  std::vector<MessageBoxRecord> boxes;

  // --- Clock ---
  UtcTime clock{2012, 9, 25, 18, 2, 50};

  // --- Writes ---
  // When set, a write stores at most this many bytes and still succeeds (a short write).
  std::optional<std::uint32_t> writeLimit;

  // --- Handles ---
  int OpenHandleCount() const { return static_cast<int>(handles_.size()); }

  // --- Platform ---
  ResourceRef FindFileResource(int id) override;
  LoadedResource LoadResource(ResourceRef resource) override;
  std::uint32_t ResourceSize(ResourceRef resource) override;
  const unsigned char* LockResource(LoadedResource loaded) override;
  FileRef OpenFile(const std::string& name, FileMode mode) override;
  bool WriteFile(FileRef file, const void* data, std::uint32_t size,
                 std::uint32_t* written) override;
  bool ReadFile(FileRef file, void* buffer, std::uint32_t size, std::uint32_t* read) override;
  bool CloseFile(FileRef file) override;
  std::uint32_t QueryAttributes(const std::wstring& path) override;
  FindRef FindFirst(const std::wstring& pattern, FindEntry* entry) override;
  bool FindNext(FindRef listing, FindEntry* entry) override;
  bool FindClose(FindRef listing) override;
  bool RemoveFile(const std::wstring& path) override;
  bool RemoveEmptyDirectory(const std::wstring& path) override;
  bool MakeDirectory(const std::string& path, SecurityRef security) override;
  bool ChangeDirectory(const std::wstring& path) override;
  bool ChangeDirectoryNarrow(const std::string& path) override;
  std::uint32_t TempPath(std::uint32_t capacity, std::wstring* path) override;
  std::uint32_t LastError() override;
  bool ShellExecuteFile(const std::wstring& file, bool noUi, ProcessRef* process) override;
  void WaitForProcess(ProcessRef process) override;
  bool GetExitCode(ProcessRef process, std::uint32_t* exitCode) override;
  bool CloseProcess(ProcessRef process) override;
  void HideMainWindow() override;
  void PostProgress() override;
  void PostDone() override;
  void ShowMessageBox(const std::wstring& text, const std::wstring& caption,
                      BoxIcon icon) override;
  UtcTime UtcNow() override;
  SecurityRef BuildWorkDirSecurity() override;

 private:
  struct Node {
    std::wstring path;  // full display path
    std::uint32_t attributes = 0;
    std::string data;
    std::optional<std::wstring> linkTarget;  // key of the target, for a link
    int openHandles = 0;
    bool heldByOther = false;
    SecurityRef security = 0;
    bool IsDirectory() const { return (attributes & kAttributeDirectory) != 0; }
  };
  struct Handle {
    enum class Kind { kFile, kListing, kProcess };
    explicit Handle(Kind k) : kind(k) {}
    Kind kind;
    std::wstring key;  // file
    bool writable = false;
    std::size_t position = 0;
    std::vector<FindEntry> entries;  // listing
    std::size_t next = 0;
    std::uint32_t exitCode = 0;  // process
    bool finished = false;
  };
  struct Rule {
    std::optional<Op> op;
    std::wstring pathEnd;  // folded
    std::uint64_t n;
    std::uint32_t error;
    bool fromThenOn;
    std::uint64_t seen = 0;
  };
  // A resolved path: the key of the node it names and the key of its parent.
  struct Resolved {
    std::wstring key;
    std::wstring parentKey;  // empty for a drive root
    std::wstring display;
    std::wstring lastName;
    std::uint32_t error = 0;  // 0, or 3 / 123 when the path cannot name anything
  };

  bool Faulted(Op op, std::wstring path = {}, std::string data = {});
  Resolved Resolve(const std::wstring& path, bool followLast) const;
  Node* Find(const std::wstring& key);
  const Node* Find(const std::wstring& key) const;
  bool HasChildren(const std::wstring& key) const;
  std::uint32_t MissingError(const Resolved& r) const;  // 2 or 3
  Node& Create(const Resolved& r, std::uint32_t attributes);
  std::uintptr_t NewHandle(Handle handle);
  Handle* FindHandle(std::uintptr_t ref, Handle::Kind kind);
  bool ReleaseHandle(std::uintptr_t ref, Handle::Kind kind, bool faulted);
  std::wstring HandlePath(std::uintptr_t ref) const;

  std::map<int, std::string> resources_;
  std::map<std::wstring, Node> nodes_;
  std::map<std::uintptr_t, Handle> handles_;
  std::uintptr_t nextHandle_ = 0x100;
  std::wstring cwdKey_;
  std::optional<std::wstring> tempPath_;
  std::uint32_t lastError_ = 0;
  std::vector<Rule> rules_;
  std::vector<Call> faulted_;
  std::uint64_t calls_ = 0;
  std::map<Op, std::uint64_t> opCalls_;
};

// Byte-for-byte widening of a narrow name, as the machine reads ANSI names.
std::wstring Widen(const std::string& narrow);

}  // namespace launcher::fake
