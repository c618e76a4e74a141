// Which files go into the payload archive, in which order, and under which member names.
#include "member_list.h"

#include <algorithm>
#include <fstream>
#include <system_error>

namespace packer {
namespace fs = std::filesystem;

bool SameFile(const fs::path& a, const fs::path& b) {
  std::error_code ec1, ec2;
  fs::path ca = fs::weakly_canonical(a, ec1), cb = fs::weakly_canonical(b, ec2);
  return !ec1 && !ec2 && ca == cb;
}

std::string CheckMemberName(std::string_view name) {
  if (name.empty()) return "empty member name";
  if (name.find('\0') != std::string_view::npos) return "member name holds a NUL byte";
  if (name.front() == '/' || name.front() == '\\') return "absolute member name";
  if (name.find(':') != std::string_view::npos) return "member name holds ':'";
  if (name.find('\\') != std::string_view::npos) return "member name holds '\\'";
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find('/', start);
    if (end == std::string_view::npos) end = name.size();
    if (name.substr(start, end - start) == "..") return "member name climbs out with \"..\"";
    start = end + 1;
  }
  return {};
}

namespace {

// Adds `name` taken from `dir` to `list`, or sets list->error.
bool AddMember(const fs::path& dir, const std::string& name, const std::vector<fs::path>& outputs,
               MemberList* list) {
  if (std::string why = CheckMemberName(name); !why.empty()) {
    list->error = why + ": " + name;
    return false;
  }
  fs::path source = dir / fs::path(name);
  if (std::any_of(outputs.begin(), outputs.end(),
                  [&](const fs::path& out) { return SameFile(out, source); })) {
    list->error = "member is one of the packer's outputs: " + name;
    return false;
  }
  std::error_code ec;
  fs::file_status st = fs::status(source, ec);
  if (ec || !fs::exists(st)) {
    list->error = "member not found: " + name;
    return false;
  }
  if (!fs::is_regular_file(st)) {
    list->error = "member is not a regular file: " + name;
    return false;
  }
  std::uintmax_t size = fs::file_size(source, ec);
  if (ec) {
    list->error = "cannot read the size of member: " + name;
    return false;
  }
  if (size > kMaxMemberSize) {
    list->error = "member larger than 4 GiB - 1 bytes: " + name;
    return false;
  }
  list->members.push_back(Member{name, source, size});
  return true;
}

MemberList ListFromFile(const fs::path& dir, const fs::path& listFile,
                        const std::vector<fs::path>& outputs) {
  MemberList list;
  std::ifstream in(listFile, std::ios::binary);
  if (!in) {
    list.error = "cannot read " + listFile.string();
    return list;
  }
  std::string line;
  for (bool first = true; std::getline(in, line); first = false) {
    if (first && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (!AddMember(dir, line, outputs, &list)) return list;
  }
  if (in.bad()) list.error = "cannot read " + listFile.string();
  return list;
}

MemberList ListFolder(const fs::path& dir, const std::vector<fs::path>& outputs) {
  MemberList list;
  std::error_code ec;
  std::vector<std::string> names;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name == kMemberListName) continue;
    if (std::any_of(outputs.begin(), outputs.end(),
                    [&](const fs::path& out) { return SameFile(out, it->path()); })) {
      continue;
    }
    std::error_code statError;
    if (it->is_regular_file(statError)) names.push_back(std::move(name));
  }
  if (ec) {
    list.error = "cannot list the payload folder " + dir.string() + ": " + ec.message();
    return list;
  }
  std::sort(names.begin(), names.end());  // std::string compares bytes as unsigned char
  for (const std::string& name : names) {
    if (!AddMember(dir, name, outputs, &list)) break;
  }
  return list;
}

}  // namespace

MemberList ListMembers(const fs::path& payloadDir, const std::vector<fs::path>& outputs) {
  std::error_code ec;
  if (!fs::is_directory(payloadDir, ec)) {
    MemberList list;
    list.error = "not a folder: " + payloadDir.string();
    return list;
  }
  fs::path listFile = payloadDir / kMemberListName;
  if (fs::exists(listFile, ec)) return ListFromFile(payloadDir, listFile, outputs);
  return ListFolder(payloadDir, outputs);
}

}  // namespace packer
