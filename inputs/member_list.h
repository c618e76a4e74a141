// Which files go into the payload archive, in which order, and under which member names.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace packer {

// The list file inside a payload folder: one member name a line, in archive order.
inline constexpr char kMemberListName[] = "payload.members";

// Largest member the launcher can take: it reads member sizes as unsigned 32-bit counts.
inline constexpr std::uint64_t kMaxMemberSize = 0xFFFFFFFFull;

struct Member {
  std::string name;               // member name in the archive ('/' separates folders)
  std::filesystem::path source;   // the file whose bytes become the member's data
  std::uint64_t size = 0;         // its size when listed
};

struct MemberList {
  std::vector<Member> members;
  std::string error;  // empty on success; otherwise what was wrong, naming the member
};

// Why `name` cannot be a member name, or an empty text when it can. Refused: the empty name, a
// NUL byte (the name would end there),
// absolute names ('/' or '\' first), any ':' (drive letters, alternate streams), any '\'
// (a folder separator on the endpoint but not here), and any ".." component. The launcher
// refuses the same names, so an archive that holds one would fail on every endpoint.
[[nodiscard]] std::string CheckMemberName(std::string_view name);

// The members of `payloadDir`: the names listed in its kMemberListName file (blank lines
// skipped, CR LF line ends accepted), or, without that file, every regular file directly in
// the folder except the list file, in byte-wise name order. Every member must be a regular file
// (symbolic links are followed) of at most kMaxMemberSize bytes; the first one that is not
// ends the listing with an error. A UTF-8 byte-order mark at the start of the list file is
// skipped. `outputs` are the files the packer is about to write: a folder listing leaves them
// out (so a second run into the same folder packs the same members), a list file that names
// one is refused.
[[nodiscard]] MemberList ListMembers(const std::filesystem::path& payloadDir,
                                     const std::vector<std::filesystem::path>& outputs = {});

// Whether two paths name the same file (after resolving links, "." and "..").
[[nodiscard]] bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace packer
