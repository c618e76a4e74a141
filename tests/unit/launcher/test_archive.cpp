// Test-side tar and gzip writer.
#include "test_archive.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace launcher::testing {

void TarBuilder::Header(std::string_view name, std::size_t size, char typeflag, BlockRole role) {
  std::string block(kTarBlock, '\0');
  std::memcpy(block.data(), name.data(), std::min<std::size_t>(name.size(), 100));
  std::memcpy(block.data() + 100, "0000644", 7);
  std::memcpy(block.data() + 108, "0000000", 7);
  std::memcpy(block.data() + 116, "0000000", 7);
  std::snprintf(block.data() + 124, 12, "%011zo", size);
  std::memcpy(block.data() + 136, "14020151012", 11);
  block[156] = typeflag;
  std::memcpy(block.data() + 257, "ustar  ", 8);
  std::memset(block.data() + 148, ' ', 8);
  unsigned sum = 0;
  for (unsigned char c : block) sum += c;
  std::snprintf(block.data() + 148, 8, "%06o", sum);
  bytes_ += block;
  roles_.push_back(role);
}

void TarBuilder::Data(std::string_view data, std::size_t maxBlocks) {
  for (std::size_t offset = 0, n = 0; offset < data.size() && n < maxBlocks;
       offset += kTarBlock, ++n) {
    std::string block(kTarBlock, '\0');
    const std::size_t count = std::min(kTarBlock, data.size() - offset);
    std::memcpy(block.data(), data.data() + offset, count);
    bytes_ += block;
    roles_.push_back(BlockRole::kData);
  }
}

TarBuilder& TarBuilder::Member(std::string_view name, std::string_view data, char typeflag) {
  Header(name, data.size(), typeflag, BlockRole::kHeader);
  if (!name.empty() && name.front() != '\0') {
    announced_.push_back({std::string(name.substr(0, name.find('\0'))), roles_.size() - 1});
  }
  Data(data);
  return *this;
}

TarBuilder& TarBuilder::LongMember(std::string_view name, std::string_view data, char typeflag) {
  const std::string text = std::string(name) + '\0';
  Header("././@LongLink", text.size(), 'L', BlockRole::kHeader);
  Data(text);
  for (std::size_t i = roles_.size() - (text.size() + kTarBlock - 1) / kTarBlock;
       i < roles_.size(); ++i) {
    roles_[i] = BlockRole::kLongNameData;
  }
  Header(name.substr(0, 100), data.size(), typeflag, BlockRole::kHeaderAfterLongName);
  announced_.push_back({std::string(name), roles_.size() - 1});
  Data(data);
  return *this;
}

TarBuilder& TarBuilder::LongNameRecordOnly(std::string_view name, std::size_t dataBlocks) {
  const std::string text = std::string(name) + '\0';
  Header("././@LongLink", text.size(), 'L', BlockRole::kHeader);
  const std::size_t before = roles_.size();
  Data(text, dataBlocks);
  for (std::size_t i = before; i < roles_.size(); ++i) roles_[i] = BlockRole::kLongNameData;
  return *this;
}

TarBuilder& TarBuilder::TruncatedMember(std::string_view name, std::size_t size,
                                        std::size_t dataBlocks) {
  Header(name, size, '0', BlockRole::kHeader);
  announced_.push_back({std::string(name), roles_.size() - 1});
  Data(std::string(size, 'd'), dataBlocks);
  return *this;
}

TarBuilder& TarBuilder::ZeroBlocks(std::size_t count) {
  bytes_.append(count * kTarBlock, '\0');
  roles_.insert(roles_.end(), count, BlockRole::kHeader);
  return *this;
}

TarBuilder& TarBuilder::PadToRecord() {
  constexpr std::size_t kRecord = 10240;
  const std::size_t rest = bytes_.size() % kRecord;
  if (rest != 0) ZeroBlocks((kRecord - rest) / kTarBlock);
  return *this;
}

std::vector<std::string> TarBuilder::NamesBeforeRead(std::size_t read) const {
  std::vector<std::string> names;
  for (const AnnouncedMember& member : announced_) {
    if (member.block + 1 < read) names.push_back(member.name);
  }
  return names;
}

std::size_t TarBuilder::HeaderReads() const {
  return static_cast<std::size_t>(std::count(roles_.begin(), roles_.end(), BlockRole::kHeader));
}

std::string Compress(std::string_view data, Wrapper wrapper, std::string_view storedName) {
  z_stream zs{};
  const int bits = wrapper == Wrapper::kGzip ? 31 : wrapper == Wrapper::kZlib ? 15 : -15;
  if (deflateInit2(&zs, 9, Z_DEFLATED, bits, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2");
  }
  std::string name(storedName);
  gz_header header{};
  if (wrapper == Wrapper::kGzip) {
    header.os = 255;
    header.name = name.empty() ? Z_NULL : reinterpret_cast<Bytef*>(name.data());
    deflateSetHeader(&zs, &header);
  }
  std::string out(deflateBound(&zs, static_cast<uLong>(data.size())) + name.size() + 64, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  if (deflate(&zs, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

std::string ChecksumBytes(std::string_view data) {
  const auto crc = static_cast<std::uint32_t>(
      crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
  std::string bytes(4, '\0');
  for (std::size_t i = 0; i < 4; ++i) bytes[i] = static_cast<char>(crc >> (8 * i));
  return bytes;
}

std::string Noise(std::size_t n, std::uint32_t seed) {
  std::string text(n, '\0');
  std::uint32_t x = seed * 2654435761u + 1u;
  for (char& c : text) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  return text;
}

}  // namespace launcher::testing
