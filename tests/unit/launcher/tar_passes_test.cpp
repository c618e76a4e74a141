// The tar subset both passes understand, the size field, and member names that would leave the
// work directory.
#include <gtest/gtest.h>

#include <map>

#include "extraction/block_stream.h"
#include "extraction/tar_passes.h"
#include "extraction/work_directory.h"
#include "launcher_rig.h"

namespace launcher::testing {
namespace {

using Tree = std::map<std::wstring, std::string>;  // relative path -> contents, "<dir>"

// The work directory's contents, relative paths; every directory made by the launcher must
// carry the work directory's security.
Tree WorkTree(const Rig& rig) {
  Tree tree;
  const std::wstring root = std::wstring(kWorkDir) + L"\\";
  for (const std::wstring& path : rig.machine.AllPaths()) {
    if (path.size() <= root.size() || path.compare(0, root.size(), root) != 0) continue;
    std::wstring relative = path.substr(root.size());
    if (relative.back() == L'\\') {
      relative.pop_back();
      EXPECT_EQ(rig.machine.SecurityOf(path), fake::kFakeWorkDirSecurity) << Narrow(path);
      tree[relative] = "<dir>";
    } else {
      tree[relative] = *rig.machine.FileData(path);
    }
  }
  return tree;
}

struct PassResult {
  std::uint32_t extract = 0, verify = 0;
  std::string log;
};

// Both passes over the archive, in a freshly prepared work directory.
PassResult RunPasses(Rig& rig, const std::string& archive) {
  rig.Install(archive);
  rig.Launch();
  PassResult result;
  EXPECT_EQ(PrepareWorkDirectory(rig.state), 0u);
  PayloadView view{reinterpret_cast<const unsigned char*>(archive.data()),
                   static_cast<std::uint32_t>(archive.size())};
  BlockStream stream;
  result.extract = ExtractPass(rig.state, stream, view);
  if (result.extract == 0) result.verify = VerifyPass(rig.state, stream, view);
  result.log = rig.Log();
  return result;
}

std::vector<std::string> Both(const std::vector<std::string>& names) {
  std::vector<std::string> lines = {"Extracting files:"};
  lines.insert(lines.end(), names.begin(), names.end());
  lines.push_back("Verifying files:");
  lines.insert(lines.end(), names.begin(), names.end());
  return lines;
}

const std::string k150 = std::string(146, 'n') + ".txt";
const std::string k600 = "tree/" + std::string(595, 'd');
const std::string k512 = Noise(512, 11), k1024 = Noise(1024, 12), k600Data = Noise(600, 13);

struct SubsetRow {
  const char* name;
  std::function<TarBuilder()> build;
  std::uint32_t extract, verify;
  std::vector<std::string> lines;
  Tree tree;
  friend void PrintTo(const SubsetRow& row, std::ostream* os) { *os << row.name; }
};

const SubsetRow kSubset[] = {
    {"LongName150",
     [] { return std::move(TarBuilder().LongMember(k150, "x").ZeroBlocks(2)); }, 0, 0,
     Both({k150}), {{std::wstring(k150.begin(), k150.end()), "x"}}},
    {"LongName600OfADirectory",
     [] { return std::move(TarBuilder().LongMember(k600, "", '5').ZeroBlocks(2)); }, 0, 0,
     Both({k600}), {}},
    {"DirectoryMembersCreateNothingFilesCreateTheirDirectories",
     [] {
       return std::move(TarBuilder()
                            .Member("empty/", "", '5')
                            .Member("docs/", "", '5')
                            .Member("docs/sub/a.txt", "a")
                            .ZeroBlocks(2));
     },
     0, 0, Both({"empty/", "docs/", "docs/sub/a.txt"}),
     {{L"docs", "<dir>"}, {L"docs\\sub", "<dir>"}, {L"docs\\sub\\a.txt", "a"}}},
    {"Sizes0And512And1024",
     [] {
       return std::move(TarBuilder()
                            .Member("zero", "")
                            .Member("one", k512)
                            .Member("two", k1024)
                            .Member("odd", k600Data)
                            .ZeroBlocks(2));
     },
     0, 0, Both({"zero", "one", "two", "odd"}),
     {{L"zero", ""}, {L"one", k512}, {L"two", k1024}, {L"odd", k600Data}}},
    {"TypeflagNulAndExtendedHeadersSkippedWithTheirData",
     [] {
       // Their data are whole blocks that would read as headers if they were not skipped.
       const std::string fake = TarBuilder().Member("planted", "p").Bytes();
       return std::move(TarBuilder()
                            .Member("old-style", fake, '\0')
                            .Member("PaxHeaders/x", fake, 'x')
                            .Member("GlobalHead", fake, 'g')
                            .Member("real", "r")
                            .ZeroBlocks(2));
     },
     0, 0, Both({"old-style", "PaxHeaders/x", "GlobalHead", "real"}), {{L"real", "r"}}},
    {"LastDataBlockIsTheFinalBlock",
     [] { return std::move(TarBuilder().Member("a", "a").Member("tail", k600Data)); }, 1023, 0,
     {"Extracting files:", "a", "tail", "Extraction failure."},
     {{L"a", "a"}, {L"tail", k600Data.substr(0, 512)}}},
    {"LongNameRecordCutShort",
     [] { return std::move(TarBuilder().LongNameRecordOnly(k600, 1)); }, 1020, 0,
     {"Extracting files:", "Failed to read long filename."}, {}},
    {"LongNameRecordWithoutMember",
     [] { return std::move(TarBuilder().LongNameRecordOnly(k150, 1).ZeroBlocks(1)); }, 1021, 0,
     {"Extracting files:", "Missing file after long filename."}, {}},
    {"MemberDataCutShort",
     [] { return std::move(TarBuilder().TruncatedMember("cut", 2000, 2)); }, 1023, 0,
     {"Extracting files:", "cut", "Extraction failure."}, {{L"cut", std::string(512, 'd')}}},
    {"DuplicateNamesEqual",
     [] { return std::move(TarBuilder().Member("d", "same").Member("d", "same").ZeroBlocks(2)); },
     0, 0, Both({"d", "d"}), {{L"d", "same"}}},
    {"DuplicateNamesLaterLonger",
     [] { return std::move(TarBuilder().Member("d", "ab").Member("d", "abc").ZeroBlocks(2)); },
     0, 1034, {"Extracting files:", "d", "d", "Verifying files:", "d", "File too long."},
     {{L"d", "abc"}}},
    {"DuplicateNamesLaterShorter",
     [] { return std::move(TarBuilder().Member("d", "abc").Member("d", "ab").ZeroBlocks(2)); },
     0, 1031, {"Extracting files:", "d", "d", "Verifying files:", "d", "Extraction failure."},
     {{L"d", "ab"}}},
    {"DuplicateNamesSameLength",
     [] { return std::move(TarBuilder().Member("d", "abc").Member("d", "xyz").ZeroBlocks(2)); },
     0, 1032, {"Extracting files:", "d", "d", "Verifying files:", "d", "Verification failure."},
     {{L"d", "xyz"}}},
    {"NamesWithHighBytesStandAsTheyAre",
     [] { return std::move(TarBuilder().Member("caf\xe9.txt", "c").ZeroBlocks(2)); }, 0, 0,
     Both({"caf\xe9.txt"}), {{L"caf\u00e9.txt", "c"}}},
};

class TarSubsetTest : public ::testing::TestWithParam<SubsetRow> {};

TEST_P(TarSubsetTest, PassesAndWorkDirectory) {
  const SubsetRow& row = GetParam();
  Rig rig;
  const PassResult result = RunPasses(rig, Compress(row.build().Bytes()));
  EXPECT_EQ(result.extract, row.extract);
  EXPECT_EQ(result.verify, row.verify);
  EXPECT_EQ(result.log, LogText(row.lines));
  EXPECT_EQ(WorkTree(rig), row.tree);
  EXPECT_EQ(rig.machine.OpenHandleCount(), 1) << "only the run log stays open";
  EXPECT_EQ(rig.allocator.live, 0);
}

INSTANTIATE_TEST_SUITE_P(Members, TarSubsetTest, ::testing::ValuesIn(kSubset),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ParseOctalSizeTest, Fields) {
  struct Case {
    std::string field;  // the 12 bytes at offset 124
    std::uint32_t size;
  };
  const Case cases[] = {
      {std::string("00000000144\0", 12), 100},
      {std::string("\0" "0000000144\0", 12), 0},
      {std::string("00000001000\0", 12), 512},
      {std::string("144\0" "77777777\0", 12), 100},  // stops at the first NUL
      {"000000000017", 1},                          // the twelfth byte is never read
      {std::string("77777777777\0", 12), 0xFFFFFFFFu},  // 8^11 - 1 wraps
      {std::string("00000000000\0", 12), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    unsigned char header[512] = {};
    std::copy(c.field.begin(), c.field.end(), header + 124);
    header[136] = '7';  // the field after the size is not part of it
    EXPECT_EQ(ParseOctalSize(header), c.size);
  }
}

TEST(HostileNameTest, Classification) {
  const char* hostile[] = {"/etc/passwd", "\\windows\\x.dll", "C:/x.txt", "c:x.txt",
                           "a.txt:stream", "../x", "..\\x", "a/../../x", "a\\..\\x", "a/..",
                           "..", ".. /x", "a/.../x", "a/. ./x"};
  const char* harmless[] = {"a.txt", "a/b/c.txt", "..a/b", "a..b", "a/.b", "./a", "a/./b",
                            "a.. b/c", ""};
  for (const char* name : hostile) EXPECT_TRUE(IsHostileMemberName(name)) << name;
  for (const char* name : harmless) EXPECT_FALSE(IsHostileMemberName(name)) << name;
}

// A hostile regular-file member stops the extraction before anything is created for it, and
// nothing anywhere changes outside the (empty) work directory.
TEST(HostileNameTest, RefusedBeforeAnyDirectoryIsCreated) {
  for (const char* name : {"../outside.txt", "sub/../../outside/x.txt", "..\\outside.txt",
                           "/outside.txt", "\\outside.txt", "C:/outside.txt", "a.txt:stream",
                           "x/.. /y"}) {
    SCOPED_TRACE(name);
    Rig rig;
    const auto outsideWorkDir = [](std::vector<std::wstring> paths) {
      std::erase_if(paths, [](const std::wstring& p) {
        return p.find(L"\\zorvan_temp") != std::wstring::npos ||
               p.find(L"Zorvan Fix Log_") != std::wstring::npos;
      });
      return paths;
    };
    const auto before = outsideWorkDir(rig.machine.AllPaths());
    const std::string archive =
        Compress(TarBuilder().Member("fine.txt", "f").Member(name, "evil").ZeroBlocks(2).Bytes());
    const PassResult result = RunPasses(rig, archive);
    EXPECT_EQ(result.extract, 1022u);
    EXPECT_EQ(result.log, LogText({"Extracting files:", "fine.txt", name, "Failed to open file."}));
    EXPECT_EQ(WorkTree(rig), (Tree{{L"fine.txt", "f"}}));
    EXPECT_EQ(outsideWorkDir(rig.machine.AllPaths()), before);
    EXPECT_EQ(rig.machine.CallCount(fake::Op::kMakeDirectory), 1u) << "only the work directory";
  }
}

TEST(HostileNameTest, VerificationRefusesThemToo) {
  Rig rig;
  const std::string archive =
      Compress(TarBuilder().Member("../outside.txt", "evil").ZeroBlocks(2).Bytes());
  rig.Install(archive);
  rig.Launch();
  ASSERT_EQ(PrepareWorkDirectory(rig.state), 0u);
  rig.machine.AddFile(L"C:\\Users\\admin\\AppData\\Local\\Temp\\outside.txt", "evil");
  const PayloadView view{reinterpret_cast<const unsigned char*>(archive.data()),
                         static_cast<std::uint32_t>(archive.size())};
  BlockStream stream;
  EXPECT_EQ(VerifyPass(rig.state, stream, view), 1029u);
  EXPECT_EQ(rig.Log(), LogText({"Verifying files:", "../outside.txt",
                                "Failed to open file for verification."}));
  EXPECT_EQ(rig.machine.CallCount(fake::Op::kOpenFile), 1u) << "only the run log was opened";
}

}  // namespace
}  // namespace launcher::testing
