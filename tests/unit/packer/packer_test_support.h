// Test support for the payload packer: a scratch folder per test, file helpers, a gunzip and an
// independent reader of the GNU tar it writes, and a way to run host commands.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace packer_test {

namespace fs = std::filesystem;

// Each test gets a fresh folder under the system's temporary directory, removed afterwards.
class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  fs::path scratch_;
};

void WriteBytes(const fs::path& path, const std::string& bytes);  // creates parent folders
std::string ReadBytes(const fs::path& path);
// Whether two files hold the same bytes; on a difference, says where (not the whole contents).
::testing::AssertionResult SameBytes(const fs::path& a, const fs::path& b);
// `size` reproducible, poorly compressible bytes that differ with `seed`.
std::string SampleBytes(std::size_t size, unsigned seed);
// A relative member name of exactly `length` bytes; folders of at most 100 bytes each.
std::string NameOfLength(std::size_t length);

// The uncompressed contents of a gzip file; fails the test unless the file is exactly one
// complete gzip member.
std::string Gunzip(const std::string& gz);

struct TarEntry {
  std::string name;       // full member name (from the long-name record when there is one)
  char typeflag = 0;
  std::string data;
  bool longNameRecord = false;
};

struct TarReading {
  std::vector<TarEntry> entries;
  std::size_t trailingZeroBlocks = 0;
};

// Walks `tar` block by block and records a test failure for every field that is not as the
// packer promises: GNU magic, mode 0644, uid/gid 0, the fixed time, 11-digit sizes, header
// checksums, long names as "././@LongLink" 'L' records, zero padding, zero blocks at the end.
TarReading ReadTar(const std::string& tar);

// Runs a shell command; returns its exit status and what it printed on stdout and stderr.
std::pair<int, std::string> RunCommand(const std::string& command);
std::string Quote(const fs::path& path);  // for a POSIX shell

}  // namespace packer_test
