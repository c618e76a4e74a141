// The fake endpoint's files and folders: Windows paths without letter case, either separator,
// relative paths from the current folder, and the Win32 error codes of the real calls.
#include <algorithm>

#include "fake_endpoint.h"

namespace repair::fake {
namespace {

const wchar_t kNotFound[] = L"The system cannot find the file specified.";
const wchar_t kPathNotFound[] = L"The system cannot find the path specified.";
const wchar_t kAccessDenied[] = L"Access is denied.";

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// The path made absolute and normalised: backslashes, no empty, "." or ".." levels, no trailing
// backslash; a drive root is "C:", a share root "\\server\share".
std::wstring Normalise(std::wstring path, const std::wstring& current) {
  std::replace(path.begin(), path.end(), L'/', L'\\');
  std::wstring prefix;
  if (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\') {
    prefix = L"\\\\";
    path = path.substr(2);
  } else if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == L':') {
    // "C:" and "C:\x" alike; a drive-relative "C:x" is taken from the root.
  } else if (!path.empty() && path[0] == L'\\') {
    path = Normalise(current, L"C:\\").substr(0, 2) + path;
  } else {
    path = Normalise(current, L"C:\\") + L"\\" + path;
  }
  std::vector<std::wstring> levels;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(L'\\', start);
    if (end == std::wstring::npos) end = path.size();
    std::wstring level = path.substr(start, end - start);
    if (level.size() > 2 && levels.empty() && prefix.empty() && level[1] == L':') {
      levels.push_back(level.substr(0, 2));  // "C:x"
      level = level.substr(2);
    }
    if (level == L"..") {
      if (levels.size() > (prefix.empty() ? 1u : 2u)) levels.pop_back();
    } else if (!level.empty() && level != L".") {
      levels.push_back(level);
    }
    start = end + 1;
  }
  std::wstring out = prefix;
  for (std::size_t i = 0; i < levels.size(); ++i) out += (i ? L"\\" : L"") + levels[i];
  return out;
}

// The parent's key, or "" for a root.
std::wstring ParentOf(const std::wstring& key) {
  const std::size_t cut = key.rfind(L'\\');
  if (cut == std::wstring::npos || cut < 2) return L"";
  return key.substr(0, cut);
}

std::wstring LastOf(const std::wstring& path) {
  const std::size_t cut = path.rfind(L'\\');
  return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

}  // namespace

std::wstring FakeFiles::Key(const std::wstring& path) const {
  return FoldCase(Normalise(path, current_));
}

const FakeFiles::Node* FakeFiles::Find(const std::wstring& key) const {
  const auto found = nodes_.find(key);
  return found == nodes_.end() ? nullptr : &found->second;
}

void FakeFiles::MakeParents(const std::wstring& key, const std::wstring& displayPath) {
  for (std::size_t cut = key.find(L'\\', 2); cut != std::wstring::npos;
       cut = key.find(L'\\', cut + 1)) {
    Node& node = nodes_[key.substr(0, cut)];
    node.isFolder = true;
    if (node.name.empty()) node.name = LastOf(displayPath.substr(0, cut));
  }
}

void FakeFiles::AddFolder(const std::wstring& path) {
  const std::wstring display = Normalise(path, current_);
  const std::wstring key = FoldCase(display);
  MakeParents(key, display);
  nodes_[key] = Node{LastOf(display), true, false, ""};
}

void FakeFiles::AddFile(const std::wstring& path, const std::string& bytes, bool readOnly) {
  const std::wstring display = Normalise(path, current_);
  const std::wstring key = FoldCase(display);
  MakeParents(key, display);
  nodes_[key] = Node{LastOf(display), false, readOnly, bytes};
}

void FakeFiles::Remove(const std::wstring& path) {
  const std::wstring key = Key(path);
  const std::wstring below = key + L"\\";
  std::erase_if(nodes_, [&](const auto& entry) {
    return entry.first == key || entry.first.compare(0, below.size(), below) == 0;
  });
}

std::optional<std::string> FakeFiles::Bytes(const std::wstring& path) const {
  const Node* node = Find(Key(path));
  if (!node || node->isFolder) return std::nullopt;
  return node->bytes;
}

bool FakeFiles::IsReadOnly(const std::wstring& path) const {
  const Node* node = Find(Key(path));
  return node && node->readOnly;
}

int FakeFiles::Writes(const std::wstring& path) const {
  const auto found = writes_.find(Key(path));
  return found == writes_.end() ? 0 : found->second;
}

Status FakeFiles::CanCreateFile(const std::wstring& key) const {
  const Node* parent = Find(ParentOf(key));
  if (!parent || !parent->isFolder) return Status::Fail(3, kPathNotFound);
  const Node* node = Find(key);
  if (node && (node->isFolder || node->readOnly)) return Status::Fail(5, kAccessDenied);
  return Status::Ok();
}

bool FakeFiles::FileExists(const std::wstring& path) {
  if (faults_.Enter("Files.FileExists")) return false;
  const Node* node = Find(Key(path));
  return node && !node->isFolder;
}

bool FakeFiles::FolderExists(const std::wstring& path) {
  if (faults_.Enter("Files.FolderExists")) return false;
  if (path.empty()) return false;
  const Node* node = Find(Key(path));
  return node && node->isFolder;
}

Result<std::vector<FolderEntry>> FakeFiles::ListFolder(const std::wstring& path) {
  using R = Result<std::vector<FolderEntry>>;
  if (auto fault = faults_.Enter("Files.ListFolder")) return R::Fail(*fault);
  const std::wstring key = Key(path);
  const Node* folder = Find(key);
  if (!folder) return R::Fail(3, kPathNotFound);
  if (!folder->isFolder) return R::Fail(267, L"The directory name is invalid.");
  std::vector<FolderEntry> entries;
  const std::wstring below = key + L"\\";
  for (const auto& [childKey, node] : nodes_) {
    if (childKey.size() > below.size() && childKey.compare(0, below.size(), below) == 0 &&
        childKey.find(L'\\', below.size()) == std::wstring::npos) {
      entries.push_back(FolderEntry{node.name, node.isFolder});
    }
  }
  return R::Of(entries);
}

Status FakeFiles::CreateFolder(const std::wstring& path) {
  if (auto fault = faults_.Enter("Files.CreateFolder")) return Status{false, *fault};
  const std::wstring display = Normalise(path, current_);
  const std::wstring key = FoldCase(display);
  if (Find(key)) return Status::Fail(183, L"Cannot create a file when that file already exists.");
  const std::wstring parentKey = ParentOf(key);
  if (!parentKey.empty()) {
    const Node* parent = Find(parentKey);
    if (!parent || !parent->isFolder) return Status::Fail(3, kPathNotFound);
  }
  nodes_[key] = Node{LastOf(display), true, false, ""};
  return Status::Ok();
}

Status FakeFiles::CopyFile(const std::wstring& source, const std::wstring& target, bool overwrite) {
  if (auto fault = faults_.Enter("Files.CopyFile")) return Status{false, *fault};
  const Node* from = Find(Key(source));
  if (!from || from->isFolder) return Status::Fail(2, kNotFound);
  const std::wstring display = Normalise(target, current_);
  const std::wstring key = FoldCase(display);
  if (Find(key) && !overwrite) return Status::Fail(80, L"The file exists.");
  if (Status can = CanCreateFile(key); !can) return can;
  const Node copy{LastOf(display), false, from->readOnly, from->bytes};
  nodes_[key] = copy;
  ++writes_[key];
  return Status::Ok();
}

Status FakeFiles::DeleteFile(const std::wstring& path, bool force) {
  if (auto fault = faults_.Enter("Files.DeleteFile")) return Status{false, *fault};
  const std::wstring key = Key(path);
  const Node* node = Find(key);
  if (!node) return Status::Fail(2, kNotFound);
  if (node->isFolder || (node->readOnly && !force)) return Status::Fail(5, kAccessDenied);
  for (const auto& entry : open_) {
    if (entry.second == key) {
      return Status::Fail(32,
                          L"The process cannot access the file because it is being used by "
                          L"another process.");
    }
  }
  nodes_.erase(key);
  return Status::Ok();
}

Result<std::string> FakeFiles::ReadBytes(const std::wstring& path) {
  if (auto fault = faults_.Enter("Files.ReadBytes")) return Result<std::string>::Fail(*fault);
  const Node* node = Find(Key(path));
  if (!node) return Result<std::string>::Fail(2, kNotFound);
  if (node->isFolder) return Result<std::string>::Fail(5, kAccessDenied);
  return Result<std::string>::Of(node->bytes);
}

Status FakeFiles::WriteBytes(const std::wstring& path, const std::string& bytes) {
  if (auto fault = faults_.Enter("Files.WriteBytes")) return Status{false, *fault};
  const std::wstring display = Normalise(path, current_);
  const std::wstring key = FoldCase(display);
  if (Status can = CanCreateFile(key); !can) return can;
  nodes_[key] = Node{LastOf(display), false, false, bytes};
  ++writes_[key];
  return Status::Ok();
}

Result<std::uintptr_t> FakeFiles::CreateForWriting(const std::wstring& path, bool overwrite) {
  using R = Result<std::uintptr_t>;
  if (auto fault = faults_.Enter("Files.CreateForWriting")) return R::Fail(*fault);
  const std::wstring display = Normalise(path, current_);
  const std::wstring key = FoldCase(display);
  if (Find(key) && !overwrite) return R::Fail(80, L"The file exists.");
  if (Status can = CanCreateFile(key); !can) return R::Fail(can.error);
  nodes_[key] = Node{LastOf(display), false, false, ""};
  ++writes_[key];
  const std::uintptr_t handle = nextHandle_++;
  open_[handle] = key;
  return R::Of(handle);
}

Status FakeFiles::Append(std::uintptr_t file, const std::string& bytes) {
  if (auto fault = faults_.Enter("Files.Append")) return Status{false, *fault};
  const auto found = open_.find(file);
  if (found == open_.end()) return Status::Fail(6, L"The handle is invalid.");
  nodes_[found->second].bytes += bytes;
  return Status::Ok();
}

void FakeFiles::Close(std::uintptr_t file) {
  if (faults_.Enter("Files.Close")) return;
  open_.erase(file);
}

}  // namespace repair::fake
