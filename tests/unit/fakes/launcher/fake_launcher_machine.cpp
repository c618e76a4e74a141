// The in-memory launcher machine: Windows file semantics as the launcher needs them, scripted
// shell and window, and one fault-injection model for every operation.
#include "fake_launcher_machine.h"

#include <algorithm>
#include <cstring>

namespace launcher::fake {
namespace {

constexpr std::uint32_t kErrorResourceNotFound = 1814;
constexpr std::uintptr_t kResourceBase = 0x10000;
constexpr std::uintptr_t kLoadedBase = 0x20000;

std::wstring Fold(const std::wstring& text) {
  std::wstring folded = text;
  for (wchar_t& c : folded) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return folded;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDriveName(const std::wstring& text) {
  return text.size() == 2 && text[1] == L':' &&
         ((text[0] >= L'A' && text[0] <= L'Z') || (text[0] >= L'a' && text[0] <= L'z'));
}

bool IsValidComponent(const std::wstring& name) {
  for (wchar_t c : name) {
    if (c < 32 || std::wcschr(L"<>:\"|?*", c) != nullptr) return false;
  }
  return true;
}

std::vector<std::wstring> Split(const std::wstring& path) {
  std::vector<std::wstring> parts;
  std::wstring current;
  for (wchar_t c : path) {
    if (IsSeparator(c)) {
      parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  parts.push_back(current);
  return parts;
}

std::wstring Join(const std::vector<std::wstring>& parts) {
  std::wstring joined;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i != 0) joined += L'\\';
    joined += parts[i];
  }
  return joined;
}

}  // namespace

const char* OpName(Op op) {
  static constexpr const char* kNames[] = {
      "FindFileResource", "LoadResource",     "ResourceSize",         "LockResource",
      "OpenFile",         "WriteFile",        "ReadFile",             "CloseFile",
      "QueryAttributes",  "FindFirst",        "FindNext",             "FindClose",
      "RemoveFile",       "RemoveEmptyDirectory", "MakeDirectory",    "ChangeDirectory",
      "ChangeDirectoryNarrow", "TempPath",    "LastError",            "ShellExecuteFile",
      "WaitForProcess",   "GetExitCode",      "CloseProcess",         "HideMainWindow",
      "PostProgress",     "PostDone",         "ShowMessageBox",       "UtcNow",
      "BuildWorkDirSecurity"};
  return kNames[static_cast<int>(op)];
}

std::wstring Widen(const std::string& narrow) {
  std::wstring wide;
  for (char c : narrow) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return wide;
}

FakeLauncherMachine::FakeLauncherMachine() {
  Node root;
  root.path = L"C:";
  root.attributes = kAttributeDirectory;
  nodes_[L"c:"] = root;
  tempPath_ = kDefaultTempPath;
  AddDirectory(kDefaultTempPath);
  cwdKey_ = Resolve(kDefaultTempPath, true).key;
}

// --- Faults ---

void FakeLauncherMachine::FailCall(std::uint64_t n, std::uint32_t error, bool fromThenOn) {
  rules_.push_back(Rule{std::nullopt, {}, n, error, fromThenOn});
}

void FakeLauncherMachine::FailOp(Op op, std::uint64_t n, std::uint32_t error, bool fromThenOn,
                                 std::wstring pathEnd) {
  rules_.push_back(Rule{op, Fold(pathEnd), n, error, fromThenOn});
}

std::uint64_t FakeLauncherMachine::CallCount(Op op) const {
  const auto it = opCalls_.find(op);
  return it == opCalls_.end() ? 0 : it->second;
}

bool FakeLauncherMachine::Faulted(Op op, std::wstring path, std::string data) {
  Call call{op, std::move(path), std::move(data)};
  if (onCall) onCall(call);
  ++calls_;
  ++opCalls_[op];
  const std::wstring folded = Fold(call.path);
  bool fail = false;
  for (Rule& rule : rules_) {
    if (rule.op.has_value() && *rule.op != op) continue;
    if (folded.size() < rule.pathEnd.size() ||
        folded.compare(folded.size() - rule.pathEnd.size(), rule.pathEnd.size(), rule.pathEnd) !=
            0) {
      continue;
    }
    ++rule.seen;
    if (!fail && (rule.seen == rule.n || (rule.fromThenOn && rule.seen > rule.n))) {
      lastError_ = rule.error;
      fail = true;
    }
  }
  if (fail) faulted_.push_back(std::move(call));
  return fail;
}

// --- Paths and nodes ---

FakeLauncherMachine::Resolved FakeLauncherMachine::Resolve(const std::wstring& path,
                                                           bool followLast) const {
  Resolved r;
  if (path.empty()) {
    r.error = kErrorPathNotFound;
    return r;
  }
  std::vector<std::wstring> input = Split(path);
  std::vector<std::wstring> parts;  // display components, parts[0] the drive
  std::size_t first = 0;
  if (IsDriveName(input[0])) {
    parts.push_back(input[0]);
    first = 1;
  } else if (input[0].empty() && input.size() > 1) {
    parts.push_back(Split(nodes_.at(cwdKey_).path)[0]);  // root of the current drive
    first = 1;
  } else {
    parts = Split(nodes_.at(cwdKey_).path);
  }
  // Lexical resolution of "." and "..", then links on inner components.
  std::vector<std::wstring> names;
  for (std::size_t i = first; i < input.size(); ++i) {
    const std::wstring& name = input[i];
    if (name.empty() || name == L".") continue;
    if (name == L"..") {
      if (!names.empty()) {
        names.pop_back();
      } else if (parts.size() > 1) {
        parts.pop_back();
      }
      continue;
    }
    if (!IsValidComponent(name)) {
      r.error = kErrorInvalidName;
      return r;
    }
    names.push_back(name);
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    parts.push_back(names[i]);
    const bool last = i + 1 == names.size();
    if (last && !followLast) break;
    if (const Node* node = Find(Fold(Join(parts))); node != nullptr && node->linkTarget) {
      parts = Split(nodes_.at(*node->linkTarget).path);
    }
  }
  r.display = Join(parts);
  r.key = Fold(r.display);
  if (parts.size() > 1) {
    r.lastName = parts.back();
    std::vector<std::wstring> parent(parts.begin(), parts.end() - 1);
    r.parentKey = Fold(Join(parent));
  }
  return r;
}

FakeLauncherMachine::Node* FakeLauncherMachine::Find(const std::wstring& key) {
  const auto it = nodes_.find(key);
  return it == nodes_.end() ? nullptr : &it->second;
}

const FakeLauncherMachine::Node* FakeLauncherMachine::Find(const std::wstring& key) const {
  const auto it = nodes_.find(key);
  return it == nodes_.end() ? nullptr : &it->second;
}

bool FakeLauncherMachine::HasChildren(const std::wstring& key) const {
  const std::wstring prefix = key + L"\\";
  const auto it = nodes_.lower_bound(prefix);
  return it != nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

std::uint32_t FakeLauncherMachine::MissingError(const Resolved& r) const {
  if (r.error != 0) return r.error;
  const Node* parent = Find(r.parentKey);
  return parent != nullptr && parent->IsDirectory() ? kErrorFileNotFound : kErrorPathNotFound;
}

FakeLauncherMachine::Node& FakeLauncherMachine::Create(const Resolved& r,
                                                       std::uint32_t attributes) {
  Node& node = nodes_[r.key];
  node = Node{};
  node.path = r.display;
  node.attributes = attributes;
  return node;
}

std::uintptr_t FakeLauncherMachine::NewHandle(Handle handle) {
  const std::uintptr_t ref = nextHandle_;
  nextHandle_ += 4;
  handles_.emplace(ref, std::move(handle));
  return ref;
}

FakeLauncherMachine::Handle* FakeLauncherMachine::FindHandle(std::uintptr_t ref,
                                                             Handle::Kind kind) {
  const auto it = handles_.find(ref);
  return it == handles_.end() || it->second.kind != kind ? nullptr : &it->second;
}

bool FakeLauncherMachine::ReleaseHandle(std::uintptr_t ref, Handle::Kind kind, bool faulted) {
  Handle* handle = FindHandle(ref, kind);
  if (handle == nullptr) {
    if (!faulted) lastError_ = kErrorInvalidHandle;
    return false;
  }
  if (kind == Handle::Kind::kFile) {
    if (Node* node = Find(handle->key)) --node->openHandles;
  }
  handles_.erase(ref);
  return !faulted;
}

std::wstring FakeLauncherMachine::HandlePath(std::uintptr_t ref) const {
  const auto it = handles_.find(ref);
  if (it == handles_.end() || it->second.kind != Handle::Kind::kFile) return {};
  const Node* node = Find(it->second.key);
  return node != nullptr ? node->path : std::wstring();
}

// --- Test side ---

void FakeLauncherMachine::AddDirectory(const std::wstring& path) {
  const Resolved r = Resolve(path, true);
  std::vector<std::wstring> parts = Split(r.display);
  for (std::size_t i = 2; i <= parts.size(); ++i) {
    const std::vector<std::wstring> prefix(parts.begin(), parts.begin() + static_cast<long>(i));
    const std::wstring key = Fold(Join(prefix));
    if (Find(key) == nullptr) {
      Node& node = nodes_[key];
      node.path = Join(prefix);
      node.attributes = kAttributeDirectory;
    }
  }
}

void FakeLauncherMachine::AddFile(const std::wstring& path, std::string data,
                                  std::uint32_t attributes) {
  const std::wstring display = Resolve(path, true).display;
  AddDirectory(display.substr(0, display.rfind(L'\\')));
  Create(Resolve(path, true), attributes & ~kAttributeDirectory).data = std::move(data);
}

void FakeLauncherMachine::AddDirectoryLink(const std::wstring& path, const std::wstring& target) {
  AddDirectory(target);
  const Resolved r = Resolve(path, false);
  AddDirectory(r.display.substr(0, r.display.rfind(L'\\')));
  Node& node = Create(r, kAttributeDirectory | kAttributeReparsePoint);
  node.linkTarget = Resolve(target, true).key;
}

void FakeLauncherMachine::AddFileLink(const std::wstring& path, const std::wstring& target) {
  const Resolved r = Resolve(path, false);
  AddDirectory(r.display.substr(0, r.display.rfind(L'\\')));
  Node& node = Create(r, kAttributeArchive | kAttributeReparsePoint);
  node.linkTarget = Resolve(target, true).key;
}

void FakeLauncherMachine::HoldOpen(const std::wstring& path, bool held) {
  if (Node* node = Find(Resolve(path, false).key)) node->heldByOther = held;
}

void FakeLauncherMachine::SetFileData(const std::wstring& path, std::string data) {
  if (Node* node = Find(Resolve(path, true).key)) node->data = std::move(data);
}

void FakeLauncherMachine::Remove(const std::wstring& path) {
  const std::wstring key = Resolve(path, false).key;
  const std::wstring prefix = key + L"\\";
  for (auto it = nodes_.begin(); it != nodes_.end();) {
    if (it->first == key || it->first.compare(0, prefix.size(), prefix) == 0) {
      it = nodes_.erase(it);
    } else {
      ++it;
    }
  }
}

bool FakeLauncherMachine::Exists(const std::wstring& path) const {
  const Resolved r = Resolve(path, false);
  return r.error == 0 && Find(r.key) != nullptr;
}

bool FakeLauncherMachine::IsDirectory(const std::wstring& path) const {
  const Node* node = Find(Resolve(path, false).key);
  return node != nullptr && node->IsDirectory();
}

std::optional<std::string> FakeLauncherMachine::FileData(const std::wstring& path) const {
  const Node* node = Find(Resolve(path, true).key);
  if (node == nullptr || node->IsDirectory()) return std::nullopt;
  return node->data;
}

SecurityRef FakeLauncherMachine::SecurityOf(const std::wstring& path) const {
  const Node* node = Find(Resolve(path, false).key);
  return node != nullptr ? node->security : 0;
}

std::vector<std::wstring> FakeLauncherMachine::AllPaths() const {
  std::vector<std::wstring> paths;
  for (const auto& [key, node] : nodes_) {
    paths.push_back(node.IsDirectory() && !node.linkTarget ? node.path + L"\\" : node.path);
  }
  return paths;
}

std::wstring FakeLauncherMachine::CurrentDirectory() const { return nodes_.at(cwdKey_).path; }

// --- Resources ---

ResourceRef FakeLauncherMachine::FindFileResource(int id) {
  if (Faulted(Op::kFindFileResource)) return 0;
  if (resources_.count(id) == 0) {
    lastError_ = kErrorResourceNotFound;
    return 0;
  }
  return kResourceBase + static_cast<std::uintptr_t>(id);
}

LoadedResource FakeLauncherMachine::LoadResource(ResourceRef resource) {
  if (Faulted(Op::kLoadResource)) return 0;
  const int id = static_cast<int>(resource - kResourceBase);
  if (resource < kResourceBase || resources_.count(id) == 0) {
    lastError_ = kErrorInvalidHandle;
    return 0;
  }
  return kLoadedBase + static_cast<std::uintptr_t>(id);
}

std::uint32_t FakeLauncherMachine::ResourceSize(ResourceRef resource) {
  if (Faulted(Op::kResourceSize)) return 0;
  const auto it = resources_.find(static_cast<int>(resource - kResourceBase));
  if (resource < kResourceBase || it == resources_.end()) {
    lastError_ = kErrorInvalidHandle;
    return 0;
  }
  return static_cast<std::uint32_t>(it->second.size());
}

const unsigned char* FakeLauncherMachine::LockResource(LoadedResource loaded) {
  if (Faulted(Op::kLockResource)) return nullptr;
  const auto it = resources_.find(static_cast<int>(loaded - kLoadedBase));
  if (loaded < kLoadedBase || it == resources_.end()) return nullptr;
  return reinterpret_cast<const unsigned char*>(it->second.data());
}

// --- Files ---

FileRef FakeLauncherMachine::OpenFile(const std::string& name, FileMode mode) {
  const Resolved r = Resolve(Widen(name), true);
  if (Faulted(Op::kOpenFile, r.display)) return kInvalidHandle;
  const bool write = mode == FileMode::kWriteCreateAlways;
  Node* node = r.error == 0 ? Find(r.key) : nullptr;
  if (node == nullptr) {
    const Node* parent = r.error == 0 ? Find(r.parentKey) : nullptr;
    if (!write || parent == nullptr || !parent->IsDirectory() || r.lastName.empty()) {
      lastError_ = MissingError(r);
      return kInvalidHandle;
    }
    node = &Create(r, kAttributeArchive);
  } else if (node->IsDirectory() || (write && (node->attributes & kAttributeReadOnly) != 0)) {
    lastError_ = kErrorAccessDenied;
    return kInvalidHandle;
  } else if (node->openHandles > 0 || node->heldByOther) {
    lastError_ = kErrorSharingViolation;
    return kInvalidHandle;
  } else if (write) {
    node->data.clear();
  }
  ++node->openHandles;
  Handle handle(Handle::Kind::kFile);
  handle.key = r.key;
  handle.writable = write;
  return NewHandle(std::move(handle));
}

bool FakeLauncherMachine::WriteFile(FileRef file, const void* data, std::uint32_t size,
                                    std::uint32_t* written) {
  *written = 0;
  const std::string bytes(static_cast<const char*>(data), size);
  if (Faulted(Op::kWriteFile, HandlePath(file), bytes)) return false;
  Handle* handle = FindHandle(file, Handle::Kind::kFile);
  if (handle == nullptr) {
    lastError_ = kErrorInvalidHandle;
    return false;
  }
  if (!handle->writable) {
    lastError_ = kErrorAccessDenied;
    return false;
  }
  const std::uint32_t count = writeLimit ? std::min(size, *writeLimit) : size;
  nodes_.at(handle->key).data.replace(handle->position, count, bytes, 0, count);
  handle->position += count;
  *written = count;
  return true;
}

bool FakeLauncherMachine::ReadFile(FileRef file, void* buffer, std::uint32_t size,
                                   std::uint32_t* read) {
  *read = 0;
  if (Faulted(Op::kReadFile, HandlePath(file))) return false;
  Handle* handle = FindHandle(file, Handle::Kind::kFile);
  if (handle == nullptr) {
    lastError_ = kErrorInvalidHandle;
    return false;
  }
  if (handle->writable) {
    lastError_ = kErrorAccessDenied;
    return false;
  }
  const std::string& data = nodes_.at(handle->key).data;
  const std::size_t available = data.size() > handle->position ? data.size() - handle->position : 0;
  const std::size_t count = std::min<std::size_t>(size, available);
  std::memcpy(buffer, data.data() + handle->position, count);
  handle->position += count;
  *read = static_cast<std::uint32_t>(count);
  return true;
}

bool FakeLauncherMachine::CloseFile(FileRef file) {
  const bool faulted = Faulted(Op::kCloseFile, HandlePath(file));
  return ReleaseHandle(file, Handle::Kind::kFile, faulted);
}

// --- Directories ---

std::uint32_t FakeLauncherMachine::QueryAttributes(const std::wstring& path) {
  const Resolved r = Resolve(path, false);
  if (Faulted(Op::kQueryAttributes, r.display)) return kInvalidFileAttributes;
  const Node* node = r.error == 0 ? Find(r.key) : nullptr;
  if (node == nullptr) {
    lastError_ = MissingError(r);
    return kInvalidFileAttributes;
  }
  return node->attributes;
}

FindRef FakeLauncherMachine::FindFirst(const std::wstring& pattern, FindEntry* entry) {
  std::wstring directory = pattern;
  const bool wildcard = directory.size() >= 2 && directory.back() == L'*' &&
                        IsSeparator(directory[directory.size() - 2]);
  if (wildcard) directory.resize(directory.size() - 2);
  const Resolved r = Resolve(directory, true);
  if (Faulted(Op::kFindFirst, r.display)) return kInvalidHandle;
  const Node* node = r.error == 0 ? Find(r.key) : nullptr;
  if (!wildcard) {
    lastError_ = kErrorInvalidName;
    return kInvalidHandle;
  }
  if (node == nullptr) {
    lastError_ = kErrorPathNotFound;
    return kInvalidHandle;
  }
  if (!node->IsDirectory()) {
    lastError_ = kErrorDirectory;
    return kInvalidHandle;
  }
  Handle handle(Handle::Kind::kListing);
  if (!r.parentKey.empty()) {
    handle.entries.push_back(FindEntry{L".", kAttributeDirectory});
    handle.entries.push_back(FindEntry{L"..", kAttributeDirectory});
  }
  const std::wstring prefix = r.key + L"\\";
  for (auto it = nodes_.lower_bound(prefix);
       it != nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
    if (it->first.find(L'\\', prefix.size()) != std::wstring::npos) continue;
    handle.entries.push_back(
        FindEntry{it->second.path.substr(it->second.path.rfind(L'\\') + 1),
                  it->second.attributes});
  }
  if (handle.entries.empty()) {
    lastError_ = kErrorFileNotFound;
    return kInvalidHandle;
  }
  *entry = handle.entries[0];
  handle.next = 1;
  return NewHandle(std::move(handle));
}

bool FakeLauncherMachine::FindNext(FindRef listing, FindEntry* entry) {
  if (Faulted(Op::kFindNext)) return false;
  Handle* handle = FindHandle(listing, Handle::Kind::kListing);
  if (handle == nullptr) {
    lastError_ = kErrorInvalidHandle;
    return false;
  }
  if (handle->next >= handle->entries.size()) {
    lastError_ = kErrorNoMoreFiles;
    return false;
  }
  *entry = handle->entries[handle->next++];
  return true;
}

bool FakeLauncherMachine::FindClose(FindRef listing) {
  const bool faulted = Faulted(Op::kFindClose);
  return ReleaseHandle(listing, Handle::Kind::kListing, faulted);
}

bool FakeLauncherMachine::RemoveFile(const std::wstring& path) {
  const Resolved r = Resolve(path, false);
  if (Faulted(Op::kRemoveFile, r.display)) return false;
  Node* node = r.error == 0 ? Find(r.key) : nullptr;
  if (node == nullptr) {
    lastError_ = MissingError(r);
    return false;
  }
  if (node->IsDirectory() || (node->attributes & kAttributeReadOnly) != 0) {
    lastError_ = kErrorAccessDenied;
    return false;
  }
  if (node->openHandles > 0 || node->heldByOther) {
    lastError_ = kErrorSharingViolation;
    return false;
  }
  nodes_.erase(r.key);
  return true;
}

bool FakeLauncherMachine::RemoveEmptyDirectory(const std::wstring& path) {
  const Resolved r = Resolve(path, false);
  if (Faulted(Op::kRemoveEmptyDirectory, r.display)) return false;
  Node* node = r.error == 0 ? Find(r.key) : nullptr;
  if (node == nullptr) {
    lastError_ = MissingError(r);
    return false;
  }
  if (!node->IsDirectory()) {
    lastError_ = kErrorDirectory;
    return false;
  }
  if (node->linkTarget) {  // the link goes, its target stays
    nodes_.erase(r.key);
    return true;
  }
  if ((node->attributes & kAttributeReadOnly) != 0) {
    lastError_ = kErrorAccessDenied;
    return false;
  }
  if (HasChildren(r.key)) {
    lastError_ = kErrorDirNotEmpty;
    return false;
  }
  if (r.key == cwdKey_ || node->heldByOther) {
    lastError_ = kErrorSharingViolation;
    return false;
  }
  nodes_.erase(r.key);
  return true;
}

bool FakeLauncherMachine::MakeDirectory(const std::string& path, SecurityRef security) {
  const Resolved r = Resolve(Widen(path), true);
  if (Faulted(Op::kMakeDirectory, r.display)) return false;
  if (r.error != 0) {
    lastError_ = r.error;
    return false;
  }
  if (Find(r.key) != nullptr) {
    lastError_ = kErrorAlreadyExists;
    return false;
  }
  const Node* parent = Find(r.parentKey);
  if (parent == nullptr || !parent->IsDirectory()) {
    lastError_ = kErrorPathNotFound;
    return false;
  }
  Create(r, kAttributeDirectory).security = security;
  return true;
}

bool FakeLauncherMachine::ChangeDirectory(const std::wstring& path) {
  const Resolved r = Resolve(path, true);
  if (Faulted(Op::kChangeDirectory, r.display)) return false;
  const Node* node = r.error == 0 ? Find(r.key) : nullptr;
  if (node == nullptr) {
    lastError_ = MissingError(r);
    return false;
  }
  if (!node->IsDirectory()) {
    lastError_ = kErrorDirectory;
    return false;
  }
  cwdKey_ = r.key;
  return true;
}

bool FakeLauncherMachine::ChangeDirectoryNarrow(const std::string& path) {
  const Resolved r = Resolve(Widen(path), true);
  if (Faulted(Op::kChangeDirectoryNarrow, r.display)) return false;
  const Node* node = r.error == 0 ? Find(r.key) : nullptr;
  if (node == nullptr) {
    lastError_ = MissingError(r);
    return false;
  }
  if (!node->IsDirectory()) {
    lastError_ = kErrorDirectory;
    return false;
  }
  cwdKey_ = r.key;
  return true;
}

std::uint32_t FakeLauncherMachine::TempPath(std::uint32_t capacity, std::wstring* path) {
  if (Faulted(Op::kTempPath)) return 0;
  if (!tempPath_) {
    lastError_ = kErrorFileNotFound;
    return 0;
  }
  const auto length = static_cast<std::uint32_t>(tempPath_->size());
  if (length + 1 > capacity) return length + 1;
  *path = *tempPath_;
  return length;
}

// --- Errors ---

std::uint32_t FakeLauncherMachine::LastError() {
  const std::uint32_t current = lastError_;
  if (Faulted(Op::kLastError)) return lastError_;  // the injected error
  return current;
}

// --- Setup program ---

bool FakeLauncherMachine::ShellExecuteFile(const std::wstring& file, bool noUi,
                                           ProcessRef* process) {
  const Resolved r = Resolve(file, true);
  if (Faulted(Op::kShellExecuteFile, r.display)) return false;
  const Node* node = r.error == 0 ? Find(r.key) : nullptr;
  if (node == nullptr || node->IsDirectory()) {
    lastError_ = node == nullptr ? MissingError(r) : kErrorAccessDenied;
    return false;
  }
  setupRuns.push_back(SetupRun{file, noUi, CurrentDirectory()});
  if (setupGivesNoProcess) {
    *process = 0;
    return true;
  }
  Handle handle(Handle::Kind::kProcess);
  handle.exitCode = setupExitCode;
  *process = NewHandle(std::move(handle));
  return true;
}

void FakeLauncherMachine::WaitForProcess(ProcessRef process) {
  if (Faulted(Op::kWaitForProcess)) return;
  Handle* handle = FindHandle(process, Handle::Kind::kProcess);
  if (handle == nullptr) {
    lastError_ = kErrorInvalidHandle;
    return;
  }
  handle->finished = true;
}

bool FakeLauncherMachine::GetExitCode(ProcessRef process, std::uint32_t* exitCode) {
  if (Faulted(Op::kGetExitCode)) return false;
  const Handle* handle = FindHandle(process, Handle::Kind::kProcess);
  if (handle == nullptr) {
    lastError_ = kErrorInvalidHandle;
    return false;
  }
  *exitCode = handle->finished ? handle->exitCode : kStillActive;
  return true;
}

bool FakeLauncherMachine::CloseProcess(ProcessRef process) {
  const bool faulted = Faulted(Op::kCloseProcess);
  return ReleaseHandle(process, Handle::Kind::kProcess, faulted);
}

// --- Window and boxes ---

void FakeLauncherMachine::HideMainWindow() {
  if (Faulted(Op::kHideMainWindow) || !hasMainWindow) return;
  windowEvents.push_back(WindowEvent::kHidden);
}

void FakeLauncherMachine::PostProgress() {
  if (Faulted(Op::kPostProgress) || !hasMainWindow) return;
  windowEvents.push_back(WindowEvent::kProgress);
}

void FakeLauncherMachine::PostDone() {
  if (Faulted(Op::kPostDone) || !hasMainWindow) return;
  windowEvents.push_back(WindowEvent::kDone);
}

void FakeLauncherMachine::ShowMessageBox(const std::wstring& text, const std::wstring& caption,
                                         BoxIcon icon) {
  if (Faulted(Op::kShowMessageBox)) return;
  boxes.push_back(MessageBoxRecord{text, caption, icon});
}

// --- Clock and security ---

UtcTime FakeLauncherMachine::UtcNow() {
  (void)Faulted(Op::kUtcNow);
  return clock;
}

SecurityRef FakeLauncherMachine::BuildWorkDirSecurity() {
  if (Faulted(Op::kBuildWorkDirSecurity)) return 0;
  return kFakeWorkDirSecurity;
}

}  // namespace launcher::fake
