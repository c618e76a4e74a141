// Progress arithmetic and what the worker reports during both passes.
#include <gtest/gtest.h>

#include "launcher_rig.h"
#include "shell/progress.h"

namespace launcher::testing {
namespace {

TEST(ProgressTest, Arithmetic) {
  struct Case {
    std::uint32_t length, divisor;
  };
  for (const Case& c : {Case{0, 1}, Case{499, 1}, Case{500, 2}, Case{28925, 58},
                        Case{0xFFFFFFFFu, 8589935}}) {
    EXPECT_EQ(ProgressDivisor(c.length), c.divisor) << c.length;
    // The whole archive consumed stays below each pass's half.
    EXPECT_LT(ProgressPosition(c.length, c.divisor, Pass::kExtraction), 500);
    EXPECT_LT(ProgressPosition(c.length, c.divisor, Pass::kVerification), 1000);
  }
  EXPECT_EQ(ProgressPosition(28925, 58, Pass::kExtraction), 498);
  EXPECT_EQ(ProgressPosition(28925, 58, Pass::kVerification), 998);
  EXPECT_EQ(ProgressPosition(0, 58, Pass::kVerification), 500);
}

// A gzip member of exactly 28925 bytes: the stored file name takes up the difference.
std::string ArchiveOf28925Bytes(const TarBuilder& tar) {
  const std::size_t bare = Compress(tar.Bytes()).size();
  const std::string name(28925 - bare - 1, 'p');
  const std::string archive = Compress(tar.Bytes(), Wrapper::kGzip, name);
  EXPECT_EQ(archive.size(), 28925u);
  return archive;
}

TEST(ProgressTest, ReportedAfterEveryHeaderReadOfBothPasses) {
  TarBuilder tar;
  tar.Member("Mendrel.vbs", Noise(20000, 4))
      .LongMember(std::string(300, 'r') + ".txt", "long")
      .Member("go.bat", "exit 0\r\n")
      .PadToRecord();
  const std::string archive = ArchiveOf28925Bytes(tar);
  for (bool silent : {false, true}) {
    SCOPED_TRACE(silent ? "silent" : "windowed");
    Rig rig(silent);
    rig.Install(archive);
    std::vector<std::int32_t> posted;
    rig.machine.onCall = [&](const fake::Call& call) {
      if (call.op == fake::Op::kPostProgress) posted.push_back(ReadProgress(rig.state));
    };
    ASSERT_EQ(rig.Run(), 0u);
    EXPECT_EQ(ReadProgress(rig.state), 998);
    if (silent) {
      EXPECT_TRUE(posted.empty());
      continue;
    }
    const std::size_t perPass = tar.HeaderReads();
    ASSERT_EQ(posted.size(), 2 * perPass);
    EXPECT_TRUE(std::is_sorted(posted.begin(), posted.end()));
    EXPECT_LT(posted[perPass - 1], 500);
    EXPECT_GE(posted[perPass], 500);
    EXPECT_EQ(posted[perPass - 1], 498);
    EXPECT_EQ(posted.back(), 998);
    // Only header-level reads report: the big member's data moves the bar in one jump.
    EXPECT_GT(posted[1] - posted[0], 200);
  }
}

}  // namespace
}  // namespace launcher::testing
