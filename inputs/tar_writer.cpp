// GNU tar writer: regular-file members, long names as 'L' records, fixed owner, mode and time,
// end-of-archive blocks and record padding.
#include "tar_writer.h"

#include <algorithm>
#include <cstring>

namespace packer {
namespace {

// `value` as `digits` zero-padded octal digits followed by a NUL at block[offset].
void PutOctal(Block& block, std::size_t offset, std::size_t digits, std::uint64_t value) {
  for (std::size_t i = digits; i-- > 0;) {
    block[offset + i] = static_cast<unsigned char>('0' + (value & 7));
    value >>= 3;
  }
  block[offset + digits] = 0;
}

constexpr unsigned char kZeroBlock[kBlockSize] = {};

}  // namespace

Block MakeHeader(std::string_view name, char typeflag, std::uint64_t size) {
  Block block{};
  std::memcpy(block.data(), name.data(), std::min(name.size(), kNameFieldSize - 1));
  PutOctal(block, 100, 7, 0644);        // mode
  PutOctal(block, 108, 7, 0);           // uid
  PutOctal(block, 116, 7, 0);           // gid
  PutOctal(block, 124, 11, size);       // size
  PutOctal(block, 136, 11, kMemberTime);  // mtime
  block[156] = static_cast<unsigned char>(typeflag);
  std::memcpy(block.data() + 257, "ustar  ", 8);  // GNU magic and version, NUL included
  // The checksum is summed with its own field as eight spaces, then stored as six octal
  // digits, a NUL and a space, as GNU tar does.
  std::memset(block.data() + 148, ' ', 8);
  unsigned sum = 0;
  for (unsigned char b : block) sum += b;
  PutOctal(block, 148, 6, sum);
  block[155] = ' ';
  return block;
}

bool TarWriter::Put(const void* data, std::size_t size) {
  if (failed_) return false;
  if (!sink_.Write(data, size)) {
    failed_ = true;
    return false;
  }
  written_ += size;
  return true;
}

bool TarWriter::PadToMultipleOf(std::size_t unit) {
  std::size_t rest = static_cast<std::size_t>(written_ % unit);
  while (rest != 0) {
    std::size_t n = std::min(unit - rest, kBlockSize - rest % kBlockSize);
    if (!Put(kZeroBlock, n)) return false;
    rest = static_cast<std::size_t>(written_ % unit);
  }
  return true;
}

bool TarWriter::BeginMember(std::string_view name, std::uint64_t size) {
  if (failed_ || open_) return Fail();
  if (name.size() >= kNameFieldSize) {
    std::uint64_t dataSize = name.size() + 1;  // the name and its NUL
    Block longName = MakeHeader(kLongNameRecordName, 'L', dataSize);
    if (!Put(longName.data(), longName.size()) || !Put(name.data(), name.size()) ||
        !Put(kZeroBlock, 1) || !PadToMultipleOf(kBlockSize)) {
      return false;
    }
  }
  Block header = MakeHeader(name, '0', size);
  if (!Put(header.data(), header.size())) return false;
  open_ = true;
  remaining_ = size;
  return true;
}

bool TarWriter::WriteData(const void* data, std::size_t size) {
  if (!open_ || size > remaining_) return Fail();
  remaining_ -= size;
  return Put(data, size);
}

bool TarWriter::EndMember() {
  if (!open_ || remaining_ != 0) return Fail();
  open_ = false;
  return PadToMultipleOf(kBlockSize);
}

bool TarWriter::Finish() {
  if (open_) return Fail();
  return Put(kZeroBlock, kBlockSize) && Put(kZeroBlock, kBlockSize) &&
         PadToMultipleOf(kRecordSize);
}

}  // namespace packer
