// Test-side tar and gzip writer: builds well-formed and deliberately malformed payload archives
// block by block, and records what role each block plays for a reader walking the archive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace launcher::testing {

inline constexpr std::size_t kTarBlock = 512;

// How a walking reader meets each block.
enum class BlockRole {
  kHeader,               // a header-level read (member header, or an empty block between/after)
  kLongNameData,         // data of a long-name record
  kHeaderAfterLongName,  // the member header that follows a long-name record
  kData,                 // member data
};

struct AnnouncedMember {
  std::string name;    // as a reader logs it
  std::size_t block;   // index of the block after whose read the name is logged
};

class TarBuilder {
 public:
  // A member whose name fits the 100-byte name field.
  TarBuilder& Member(std::string_view name, std::string_view data, char typeflag = '0');
  // A GNU long-name record ('L', data = name + NUL) followed by the member itself.
  TarBuilder& LongMember(std::string_view name, std::string_view data, char typeflag = '0');
  // A bare long-name record announcing `name`, whose data is cut to `dataBlocks` blocks (the
  // archive then ends where the caller stops adding).
  TarBuilder& LongNameRecordOnly(std::string_view name, std::size_t dataBlocks);
  // A member header whose data is cut to `dataBlocks` blocks.
  TarBuilder& TruncatedMember(std::string_view name, std::size_t size, std::size_t dataBlocks);
  TarBuilder& ZeroBlocks(std::size_t count);
  // Pads with zero blocks to a whole number of 10240-byte records.
  TarBuilder& PadToRecord();

  const std::string& Bytes() const { return bytes_; }
  const std::vector<BlockRole>& Roles() const { return roles_; }
  const std::vector<AnnouncedMember>& Announced() const { return announced_; }
  // Names logged by a pass before its read number `read` (1-based) is made.
  std::vector<std::string> NamesBeforeRead(std::size_t read) const;
  std::size_t HeaderReads() const;

 private:
  void Header(std::string_view name, std::size_t size, char typeflag, BlockRole role);
  void Data(std::string_view data, std::size_t maxBlocks = ~std::size_t{0});

  std::string bytes_;
  std::vector<BlockRole> roles_;
  std::vector<AnnouncedMember> announced_;
};

enum class Wrapper { kGzip, kZlib, kRaw };

// deflate at level 9 in the given wrapper; a gzip member may carry a stored file name.
std::string Compress(std::string_view data, Wrapper wrapper = Wrapper::kGzip,
                     std::string_view storedName = {});
// zlib's crc32 from 0, as 4 little-endian bytes.
std::string ChecksumBytes(std::string_view data);
// A deterministic, poorly compressible filler of n bytes.
std::string Noise(std::size_t n, std::uint32_t seed = 1);

}  // namespace launcher::testing
