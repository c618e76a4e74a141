// Test support for the payload packer: a scratch folder per test, file helpers, a gunzip and an
// independent reader of the GNU tar it writes, and a way to run host commands.
#include "packer_test_support.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include <zlib.h>

namespace packer_test {

void ScratchTest::SetUp() {
  std::string pattern = (fs::temp_directory_path() / "packer-test-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  scratch_ = pattern;
}

void ScratchTest::TearDown() {
  std::error_code ignored;
  fs::remove_all(scratch_, ignored);
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot read " << path;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

::testing::AssertionResult SameBytes(const fs::path& a, const fs::path& b) {
  std::string x = ReadBytes(a), y = ReadBytes(b);
  if (x == y) return ::testing::AssertionSuccess();
  std::size_t at = 0;
  while (at < x.size() && at < y.size() && x[at] == y[at]) ++at;
  return ::testing::AssertionFailure() << a << " (" << x.size() << " bytes) and " << b << " ("
                                       << y.size() << " bytes) differ from byte " << at;
}

std::string SampleBytes(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  std::uint32_t x = 2463534242u ^ (seed * 2654435761u);
  for (char& c : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x >> 24);
  }
  return bytes;
}

std::string NameOfLength(std::size_t length) {
  std::string name;
  char folder = 'a';
  while (length - name.size() > 100) {
    name += std::string(99, folder++) + "/";
  }
  name += std::string(length - name.size(), 'f');
  return name;
}

std::string Gunzip(const std::string& gz) {
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, 16 + 15), Z_OK);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gz.data()));
  z.avail_in = static_cast<uInt>(gz.size());
  std::string out;
  char buffer[16384];
  int status = Z_OK;
  while (status == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    status = inflate(&z, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - z.avail_out);
  }
  EXPECT_EQ(status, Z_STREAM_END) << "not a complete gzip member";
  EXPECT_EQ(z.avail_in, 0u) << "bytes after the gzip member";
  inflateEnd(&z);
  return out;
}

namespace {

constexpr std::size_t kBlock = 512;

std::string Field(const std::string& block, std::size_t offset, std::size_t length) {
  return block.substr(offset, length);
}

std::uint64_t Octal(const std::string& digits) {
  std::uint64_t value = 0;
  for (char c : digits) value = value * 8 + static_cast<unsigned>(c - '0');
  return value;
}

bool AllZero(const std::string& bytes) {
  return bytes.find_first_not_of('\0') == std::string::npos;
}

// Checks one header block's fixed fields and returns (typeflag, size).
std::pair<char, std::uint64_t> CheckHeader(const std::string& block) {
  using namespace std::string_literals;
  EXPECT_EQ(Field(block, 257, 8), "ustar  \0"s) << "GNU magic";
  EXPECT_EQ(Field(block, 100, 8), "0000644\0"s) << "mode";
  EXPECT_EQ(Field(block, 108, 8), "0000000\0"s) << "uid";
  EXPECT_EQ(Field(block, 116, 8), "0000000\0"s) << "gid";
  EXPECT_EQ(Field(block, 136, 12), "11317235400\0"s) << "mtime 2010-01-01 00:00:00 UTC";
  std::string size = Field(block, 124, 12);
  EXPECT_EQ(size[11], '\0') << "size field ends in NUL";
  EXPECT_EQ(size.find_first_not_of("01234567"), 11u) << "size is 11 octal digits";
  std::string sum = Field(block, 148, 8);
  EXPECT_EQ(sum.substr(6), "\0 "s) << "checksum field ends in NUL and space";
  EXPECT_EQ(sum.find_first_not_of("01234567"), 6u) << "checksum is 6 octal digits";
  std::uint64_t expected = 0;
  for (std::size_t i = 0; i < kBlock; ++i) {
    expected += (i >= 148 && i < 156) ? ' ' : static_cast<unsigned char>(block[i]);
  }
  EXPECT_EQ(Octal(sum.substr(0, 6)), expected) << "header checksum";
  return {block[156], Octal(size.substr(0, 11))};
}

}  // namespace

TarReading ReadTar(const std::string& tar) {
  TarReading reading;
  EXPECT_EQ(tar.size() % 10240, 0u) << "whole 10240-byte records";
  std::size_t pos = 0;
  std::string pendingName;
  bool pendingLong = false;
  while (pos + kBlock <= tar.size()) {
    std::string block = tar.substr(pos, kBlock);
    pos += kBlock;
    if (AllZero(block)) {
      EXPECT_FALSE(pendingLong) << "long-name record without a member";
      reading.trailingZeroBlocks = (tar.size() - pos) / kBlock + 1;
      EXPECT_TRUE(AllZero(tar.substr(pos))) << "only zero blocks after the first zero block";
      break;
    }
    auto [type, size] = CheckHeader(block);
    std::string nameField = Field(block, 0, 100);
    EXPECT_NE(nameField.find('\0'), std::string::npos) << "name field holds its NUL";
    std::string headerName = nameField.substr(0, nameField.find('\0'));
    std::size_t dataBlocks = static_cast<std::size_t>((size + kBlock - 1) / kBlock);
    EXPECT_LE(pos + dataBlocks * kBlock, tar.size()) << "member data inside the archive";
    std::string data = tar.substr(pos, static_cast<std::size_t>(size));
    EXPECT_TRUE(AllZero(tar.substr(pos + size, dataBlocks * kBlock - size))) << "zero padding";
    pos += dataBlocks * kBlock;
    if (type == 'L') {
      EXPECT_FALSE(pendingLong) << "two long-name records in a row";
      EXPECT_EQ(headerName, "././@LongLink");
      EXPECT_FALSE(data.empty());
      EXPECT_EQ(data.find('\0'), data.size() - 1) << "long name is the name and one NUL";
      pendingName = data.substr(0, data.size() - 1);
      pendingLong = true;
      continue;
    }
    TarEntry entry{pendingLong ? pendingName : headerName, type, data, pendingLong};
    if (pendingLong) {
      EXPECT_EQ(headerName, pendingName.substr(0, 99)) << "header keeps the name's first bytes";
    }
    pendingLong = false;
    reading.entries.push_back(std::move(entry));
  }
  return reading;
}

std::pair<int, std::string> RunCommand(const std::string& command) {
  std::pair<int, std::string> result{-1, {}};
  std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.second.append(buffer, n);
  int status = pclose(pipe);
  result.first = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string Quote(const fs::path& path) {
  std::string quoted = "'";
  for (char c : path.string()) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace packer_test
