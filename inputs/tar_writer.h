// GNU tar writer: regular-file members, long names as 'L' records, fixed owner, mode and time,
// end-of-archive blocks and record padding.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "byte_sink.h"

namespace packer {

inline constexpr std::size_t kBlockSize = 512;
inline constexpr std::size_t kRecordSize = 10240;  // 20 blocks, GNU tar's default record
// Names shorter than this fit in the header's name field with their NUL; longer ones go into
// a long-name record before the header.
inline constexpr std::size_t kNameFieldSize = 100;
// Every header's modification time: 2010-01-01 00:00:00 UTC. Fixed, so that identical members
// give an identical archive.
inline constexpr std::uint32_t kMemberTime = 1262304000;
inline constexpr char kLongNameRecordName[] = "././@LongLink";

using Block = std::array<unsigned char, kBlockSize>;

// One GNU header block: the name field (truncated to 99 bytes and a NUL when longer),
// mode 0644, uid and gid 0, `size` as 11 octal digits and a NUL, mtime kMemberTime, the header
// checksum, `typeflag`, magic "ustar  " and a NUL, empty owner and group names.
[[nodiscard]] Block MakeHeader(std::string_view name, char typeflag, std::uint64_t size);

// Writes an archive member by member into a sink. Usage: for each member BeginMember, then
// exactly `size` bytes through WriteData, then EndMember; at the end Finish. Every call returns
// false once a write to the sink failed or a member's data did not match its size.
class TarWriter {
 public:
  explicit TarWriter(ByteSink& sink) : sink_(sink) {}

  // A long-name record first when the name is kNameFieldSize bytes or longer, then the header.
  [[nodiscard]] bool BeginMember(std::string_view name, std::uint64_t size);
  [[nodiscard]] bool WriteData(const void* data, std::size_t size);
  // Zero padding up to the next block; false if fewer bytes came than announced.
  [[nodiscard]] bool EndMember();
  // Two zero blocks, then zero blocks up to a whole number of records.
  [[nodiscard]] bool Finish();

  std::uint64_t BytesWritten() const { return written_; }

 private:
  bool Fail() {
    failed_ = true;
    return false;
  }
  bool Put(const void* data, std::size_t size);
  bool PadToMultipleOf(std::size_t unit);

  ByteSink& sink_;
  std::uint64_t written_ = 0;
  std::uint64_t remaining_ = 0;  // data bytes still owed to the open member
  bool open_ = false;
  bool failed_ = false;
};

}  // namespace packer
