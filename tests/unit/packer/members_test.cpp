// Which members the packer takes, in which order, what it refuses, and that identical members
// give identical output.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "member_list.h"
#include "packer_test_support.h"
#include "payload_packer.h"

namespace packer_test {
namespace {

std::vector<std::string> PackedNames(const fs::path& archive) {
  std::vector<std::string> names;
  for (const TarEntry& e : ReadTar(Gunzip(ReadBytes(archive))).entries) names.push_back(e.name);
  return names;
}

using MemberOrderTest = ScratchTest;

TEST_F(MemberOrderTest, ListFileGivesOrderAndSelection) {
  fs::path in = scratch_ / "in";
  for (const char* name : {"Readme.txt", "go.bat", "Mendrel.exe", "not_listed.txt", "sub/x.txt"}) {
    WriteBytes(in / name, name);
  }
  // As saved by a Windows editor: byte-order mark, CR LF, blank lines, no final line end.
  WriteBytes(in / "payload.members", "\xEF\xBB\xBFMendrel.exe\r\n\r\ngo.bat\nsub/x.txt\n\nReadme.txt");
  ASSERT_EQ(packer::PackPayload(in, scratch_ / "p.tar.gz", scratch_ / "p.crc").error, "");
  EXPECT_EQ(PackedNames(scratch_ / "p.tar.gz"),
            (std::vector<std::string>{"Mendrel.exe", "go.bat", "sub/x.txt", "Readme.txt"}));
}

TEST_F(MemberOrderTest, WithoutListFileEveryRegularFileInByteOrder) {
  fs::path in = scratch_ / "in";
  for (const char* name : {"b", "\xC3\xA4.txt", "a.b", "B", "_", "a", "sub/inner.txt"}) {
    WriteBytes(in / name, name);
  }
  fs::create_directory(in / "empty_folder");
  const std::vector<std::string> expected{"B", "_", "a", "a.b", "b", "\xC3\xA4.txt"};
  // The outputs land in the folder itself: a second run must not pack the first run's files.
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    ASSERT_EQ(packer::PackPayload(in, in / "payload.tar.gz", in / "payload.crc").error, "");
    EXPECT_EQ(PackedNames(in / "payload.tar.gz"), expected);
  }
}

TEST_F(MemberOrderTest, ListFileNamingAnOutputIsRefused) {
  fs::path in = scratch_ / "in";
  WriteBytes(in / "go.bat", "x");
  WriteBytes(in / "payload.members", "go.bat\npayload.crc\n");
  WriteBytes(in / "payload.crc", "from an earlier run");
  packer::PackOutcome outcome = packer::PackPayload(in, in / "payload.tar.gz", in / "payload.crc");
  EXPECT_NE(outcome.error.find("outputs: payload.crc"), std::string::npos) << outcome.error;
}

struct RefusalCase {
  const char* label;
  std::string listLine;  // the payload.members line naming the offending member
  const char* message;   // part of the error text
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.label; }

class RefusalTest : public ScratchTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusalTest, FailsAndLeavesNoOutput) {
  fs::path in = scratch_ / "in";
  WriteBytes(in / "go.bat", "x");
  WriteBytes(in / "sub" / "go.bat", "x");
  WriteBytes(scratch_ / "outside.txt", "outside");
  WriteBytes(in / "payload.members", "go.bat\n" + GetParam().listLine + "\n");
  // Outputs of an earlier run must not survive a failed one.
  WriteBytes(scratch_ / "p.tar.gz", "stale");
  WriteBytes(scratch_ / "p.crc", "stale");

  packer::PackOutcome outcome = packer::PackPayload(in, scratch_ / "p.tar.gz", scratch_ / "p.crc");
  EXPECT_NE(outcome.error.find(GetParam().message), std::string::npos) << outcome.error;
  EXPECT_NE(outcome.error.find(GetParam().listLine), std::string::npos) << outcome.error;
  EXPECT_FALSE(fs::exists(scratch_ / "p.tar.gz"));
  EXPECT_FALSE(fs::exists(scratch_ / "p.crc"));
}

INSTANTIATE_TEST_SUITE_P(
    Packer, RefusalTest,
    ::testing::Values(RefusalCase{"Missing", "missing.txt", "not found"},
                      RefusalCase{"MissingInFolder", "sub/missing.txt", "not found"},
                      RefusalCase{"Folder", "sub", "not a regular file"},
                      RefusalCase{"FolderWithSlash", "sub/", "not a regular file"},
                      RefusalCase{"Absolute", "/etc/hostname", "absolute"},
                      RefusalCase{"AbsoluteBackslash", "\\go.bat", "absolute"},
                      RefusalCase{"ClimbsOut", "../outside.txt", ".."},
                      RefusalCase{"ClimbsOutAndBack", "sub/../go.bat", ".."},
                      RefusalCase{"DotDotAlone", "..", ".."},
                      RefusalCase{"BackslashSeparator", "sub\\go.bat", "'\\'"},
                      RefusalCase{"DriveLetter", "C:go.bat", "':'"},
                      RefusalCase{"AlternateStream", "go.bat:extra", "':'"},
                      RefusalCase{"NulByte", std::string("go.bat\0.txt", 10), "NUL"}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.label); });

TEST(MemberNameTest, PlainRelativeNamesPass) {
  for (const char* name : {"go.bat", "docs/a.txt", "a..b", "..a/b", "./go.bat", "a/b../c"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(packer::CheckMemberName(name), "");
  }
}

using MemberSizeTest = ScratchTest;

TEST_F(MemberSizeTest, MemberOf4GiBIsRefused) {
  // The launcher counts a member's bytes in 32 bits; a sparse file keeps this test cheap.
  fs::path big = scratch_ / "in" / "big.bin";
  WriteBytes(big, "");
  std::error_code ec;
  fs::resize_file(big, 0x100000000ull, ec);
  if (ec) GTEST_SKIP() << "no sparse files here: " << ec.message();
  packer::PackOutcome outcome =
      packer::PackPayload(scratch_ / "in", scratch_ / "p.tar.gz", scratch_ / "p.crc");
  EXPECT_NE(outcome.error.find("big.bin"), std::string::npos) << outcome.error;
  EXPECT_FALSE(fs::exists(scratch_ / "p.tar.gz"));
}

using ReproducibilityTest = ScratchTest;

TEST_F(ReproducibilityTest, IdenticalMembersGiveIdenticalBytes) {
  // Two copies of the same members in different places, with different times and permissions.
  for (const char* copy : {"one", "two/deeper"}) {
    fs::path in = scratch_ / copy / "payload";
    WriteBytes(in / "Mendrel.exe", SampleBytes(70000, 3));
    WriteBytes(in / "go.bat", "Mendrel.exe /halvern:true\r\n");
    WriteBytes(in / NameOfLength(180), SampleBytes(600, 4));
    WriteBytes(in / "payload.members", "Mendrel.exe\ngo.bat\n" + NameOfLength(180) + "\n");
  }
  auto later = fs::last_write_time(scratch_ / "one/payload/go.bat") + std::chrono::hours(30);
  fs::last_write_time(scratch_ / "two/deeper/payload/go.bat", later);
  fs::permissions(scratch_ / "two/deeper/payload/Mendrel.exe", fs::perms::owner_all);

  const fs::path runs[][3] = {
      {scratch_ / "one/payload", scratch_ / "a/payload.tar.gz", scratch_ / "a/payload.crc"},
      {scratch_ / "one/payload", scratch_ / "b/payload.tar.gz", scratch_ / "b/payload.crc"},
      {scratch_ / "two/deeper/payload", scratch_ / "c/payload.tar.gz", scratch_ / "c/payload.crc"}};
  for (const auto& run : runs) {
    fs::create_directories(run[1].parent_path());
    ASSERT_EQ(packer::PackPayload(run[0], run[1], run[2]).error, "") << run[0];
  }
  for (const auto& run : runs) {
    SCOPED_TRACE(run[1].string());
    EXPECT_TRUE(SameBytes(run[1], runs[0][1]));
    EXPECT_TRUE(SameBytes(run[2], runs[0][2]));
  }
}

}  // namespace
}  // namespace packer_test
