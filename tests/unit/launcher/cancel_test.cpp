// Cancel requests: before every block read of both passes of a small archive, and after the
// last one.
#include <gtest/gtest.h>

#include "launcher_rig.h"
#include "log_lines.h"

namespace launcher::testing {
namespace {

// Every role a block can play: long names of one and two blocks, member data, a skipped
// member with data, an empty member and the closing zero blocks.
TarBuilder SmallArchive() {
  TarBuilder tar;
  tar.LongMember(std::string(150, 'l') + ".txt", "long named")
      .LongMember("dir/" + std::string(596, 'd'), "", '5')
      .Member("go.bat", Noise(700, 5))
      .Member("PaxHeaders/x", "20 path=whatever\n", 'x')
      .Member("empty.txt", "")
      .ZeroBlocks(2);
  return tar;
}

struct Refusal {
  std::string line;
  std::uint32_t code;
};

Refusal RefusalOf(BlockRole role, bool verification) {
  switch (role) {
    case BlockRole::kHeader:
      return {"Extraction failure.", verification ? 1026u : 1019u};
    case BlockRole::kLongNameData:
      return {"Failed to read long filename.", verification ? 1027u : 1020u};
    case BlockRole::kHeaderAfterLongName:
      return {"Missing file after long filename.", verification ? 1028u : 1021u};
    case BlockRole::kData:
      break;
  }
  return {"Extraction failure.", verification ? 1030u : 1023u};
}

std::vector<std::string> Cat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(CancelTest, BeforeEveryBlockOfBothPasses) {
  const TarBuilder tar = SmallArchive();
  const std::size_t blocks = tar.Roles().size();
  const std::vector<std::string> allNames = tar.NamesBeforeRead(blocks + 1);
  for (std::size_t k = 1; k <= 2 * blocks; ++k) {
    const bool verification = k > blocks;
    const std::size_t read = verification ? k - blocks : k;
    const Refusal refusal = RefusalOf(tar.Roles()[read - 1], verification);
    SCOPED_TRACE(::testing::Message() << "read " << k << " expects " << refusal.code);

    Rig rig(false);
    rig.InstallTar(tar);
    std::size_t reads = 0;
    rig.state.hooks.beforeBlockRead = [&] {
      if (++reads == k) RequestCancel(rig.state);
    };
    EXPECT_EQ(rig.Run(), refusal.code);

    std::vector<std::string> lines = {"Begining extraction.", "Extracting files:"};
    if (verification) lines = Cat(Cat(lines, allNames), {"Verifying files:"});
    lines = Cat(lines, tar.NamesBeforeRead(read));
    lines = Cat(lines, {"Operation cancelled by user.", refusal.line, "Cleaning up.",
                        "Finishing with code " + Hex(refusal.code) + "."});
    EXPECT_EQ(rig.Log(), LogText(lines));
    EXPECT_EQ(reads, k) << "no block is read after the refused one";
    ASSERT_EQ(rig.machine.boxes.size(), 1u);
    EXPECT_EQ(rig.machine.boxes[0].text,
              L"Could not resolve the issue.\n\nPlease contact Technical Support. Error code: " +
                  std::to_wstring(refusal.code));
    EXPECT_TRUE(rig.machine.setupRuns.empty());
    EXPECT_EQ(rig.machine.OpenHandleCount(), 0);
    EXPECT_EQ(rig.allocator.live, 0);
  }
}

TEST(CancelTest, RequestsBeforeTheRunActAtTheFirstReadAndRepeatsChangeNothing) {
  for (int requests : {1, 3}) {
    SCOPED_TRACE(requests);
    Rig rig(false);
    rig.InstallTar(SmallArchive());
    for (int i = 0; i < requests; ++i) RequestCancel(rig.state);
    EXPECT_EQ(rig.Run(), 1019u);
    EXPECT_EQ(rig.Log(), LogText({"Begining extraction.", "Extracting files:",
                                  "Operation cancelled by user.", "Extraction failure.",
                                  "Cleaning up.", "Finishing with code 0x000003fb."}));
  }
}

TEST(CancelTest, RequestAfterTheLastReadChangesNothing) {
  Rig rig(false);
  rig.InstallTar(SmallArchive());
  rig.machine.onCall = [&rig](const fake::Call& call) {
    if (call.op == fake::Op::kShellExecuteFile) RequestCancel(rig.state);
  };
  EXPECT_EQ(rig.Run(), 0u);
  EXPECT_TRUE(CancelRequested(rig.state));
  EXPECT_EQ(rig.machine.setupRuns.size(), 1u);
  EXPECT_EQ(LineTexts(rig.Log()).back(), "Finishing with code 0x00000000.");
}

}  // namespace
}  // namespace launcher::testing
