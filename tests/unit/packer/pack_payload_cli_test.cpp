// The pack-payload command: its arguments, exit status and messages.
#include <string>

#include <gtest/gtest.h>

#include "packer_test_support.h"
#include "payload_packer.h"

namespace packer_test {
namespace {

struct CliCase {
  const char* label;
  const char* members;    // payload.members contents
  int argCount;           // how many of PAYLOAD_DIR OUT_TAR_GZ OUT_CRC are given
  int exitStatus;
  const char* message;    // part of what it prints
};

void PrintTo(const CliCase& c, std::ostream* os) { *os << c.label; }

class PackPayloadCommandTest : public ScratchTest, public ::testing::WithParamInterface<CliCase> {};

TEST_P(PackPayloadCommandTest, ExitStatusMessageAndOutputs) {
  fs::path in = scratch_ / "in";
  WriteBytes(in / "go.bat", "Mendrel.exe\r\n");
  WriteBytes(in / "Readme.txt", SampleBytes(2000, 9));
  WriteBytes(in / "payload.members", GetParam().members);
  const fs::path args[] = {in, scratch_ / "payload.tar.gz", scratch_ / "payload.crc"};
  std::string command = Quote(ZF_PACK_PAYLOAD_EXE);
  for (int i = 0; i < GetParam().argCount; ++i) command += " " + Quote(args[i]);

  auto [status, output] = RunCommand(command);
  EXPECT_EQ(status, GetParam().exitStatus) << output;
  EXPECT_NE(output.find(GetParam().message), std::string::npos) << output;
  if (GetParam().exitStatus != 0) {
    EXPECT_FALSE(fs::exists(args[1]));
    EXPECT_FALSE(fs::exists(args[2]));
    return;
  }
  // The command writes exactly what the library writes.
  fs::path lib = scratch_ / "lib";
  fs::create_directory(lib);
  ASSERT_EQ(packer::PackPayload(in, lib / "payload.tar.gz", lib / "payload.crc").error, "");
  EXPECT_TRUE(SameBytes(args[1], lib / "payload.tar.gz"));
  EXPECT_TRUE(SameBytes(args[2], lib / "payload.crc"));
}

INSTANTIATE_TEST_SUITE_P(
    Packer, PackPayloadCommandTest,
    ::testing::Values(
        CliCase{"Packs", "go.bat\nReadme.txt\n", 3, 0, "2 members"},
        CliCase{"NoArguments", "go.bat\n", 0, 2, "usage: pack-payload"},
        CliCase{"TwoArguments", "go.bat\n", 2, 2, "usage: pack-payload"},
        CliCase{"MissingMember", "go.bat\nMendrel.exe\n", 3, 1, "not found: Mendrel.exe"},
        CliCase{"HostileMember", "go.bat\n../in/go.bat\n", 3, 1, "../in/go.bat"}),
    [](const ::testing::TestParamInfo<CliCase>& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace packer_test
