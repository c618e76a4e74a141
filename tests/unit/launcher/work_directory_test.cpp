// Clearing an old work directory tree and creating the directories of a path.
#include <gtest/gtest.h>

#include <functional>

#include "extraction/work_directory.h"
#include "launcher_rig.h"

namespace launcher::testing {
namespace {

using fake::Op;

const std::wstring kTemp = L"C:\\Users\\admin\\AppData\\Local\\Temp\\";
const std::wstring kTree = kTemp + L"zorvan_temp";
const std::wstring kTarget = L"C:\\Data";  // what links point at; must survive every clear

std::vector<std::wstring> PathsUnder(const fake::FakeLauncherMachine& m, const std::wstring& root) {
  std::vector<std::wstring> paths;
  for (const std::wstring& p : m.AllPaths()) {
    if (p.compare(0, root.size(), root) == 0) paths.push_back(p.substr(root.size()));
  }
  return paths;
}

struct ClearRow {
  const char* name;
  std::function<void(fake::FakeLauncherMachine&)> arrange;
  std::uint32_t result;
  std::vector<std::wstring> remaining;  // under the temporary directory
  friend void PrintTo(const ClearRow& row, std::ostream* os) { *os << row.name; }
};

void Nested(fake::FakeLauncherMachine& m) {
  m.AddFile(kTree + L"\\a.txt", "a");
  m.AddFile(kTree + L"\\sub\\b.txt", "b");
  m.AddFile(kTree + L"\\sub\\deeper\\c.txt", "c");
  m.AddDirectory(kTree + L"\\empty");
}

const ClearRow kClearRows[] = {
    {"NothingThere", [](fake::FakeLauncherMachine&) {}, 0, {L""}},
    {"NestedTreeRemovedBottomUp", Nested, 0, {L""}},
    {"DirectoryLinkRemovedNotFollowed",
     [](fake::FakeLauncherMachine& m) {
       Nested(m);
       m.AddDirectoryLink(kTree + L"\\sub\\junction", kTarget);
     },
     0, {L""}},
    {"FileLinkRemovedNotFollowed",
     [](fake::FakeLauncherMachine& m) {
       m.AddFileLink(kTree + L"\\link.txt", kTarget + L"\\keep.txt");
     },
     0, {L""}},
    {"TreeItselfALink",
     [](fake::FakeLauncherMachine& m) { m.AddDirectoryLink(kTree, kTarget); }, 0, {L""}},
    {"ReadOnlyFile",
     [](fake::FakeLauncherMachine& m) {
       m.AddFile(kTree + L"\\a.txt", "a");
       m.AddFile(kTree + L"\\sub\\ro.txt", "r", kAttributeReadOnly | kAttributeArchive);
     },
     kErrorAccessDenied,
     {L"", L"zorvan_temp\\", L"zorvan_temp\\sub\\", L"zorvan_temp\\sub\\ro.txt"}},
    {"FileHeldOpen",
     [](fake::FakeLauncherMachine& m) {
       m.AddFile(kTree + L"\\held.txt", "h");
       m.HoldOpen(kTree + L"\\held.txt");
     },
     kErrorSharingViolation, {L"", L"zorvan_temp\\", L"zorvan_temp\\held.txt"}},
    {"PlainFileInItsPlace",
     [](fake::FakeLauncherMachine& m) { m.AddFile(kTree, "plain"); }, kErrorDirectory,
     {L"", L"zorvan_temp"}},
    {"ListingFails",
     [](fake::FakeLauncherMachine& m) {
       m.AddFile(kTree + L"\\a.txt", "a");
       m.AddFile(kTree + L"\\b.txt", "b");
       m.FailOp(Op::kFindNext, 3, 59);  // after ".", ".." and a.txt; ERROR_UNEXP_NET_ERR
     },
     59, {L"", L"zorvan_temp\\", L"zorvan_temp\\b.txt"}},
};

class ClearDirectoryTreeTest : public ::testing::TestWithParam<ClearRow> {};

TEST_P(ClearDirectoryTreeTest, RemovesOrStopsAtTheFirstFailure) {
  const ClearRow& row = GetParam();
  fake::FakeLauncherMachine machine;
  machine.AddFile(kTarget + L"\\keep.txt", "target");
  machine.AddFile(kTemp + L"Zorvan Fix Log_20120925180250.txt", "beside, not inside");
  row.arrange(machine);
  EXPECT_EQ(ClearWorkDirectory(machine), row.result);
  auto remaining = PathsUnder(machine, kTemp);
  std::erase(remaining, L"Zorvan Fix Log_20120925180250.txt");
  EXPECT_EQ(remaining, row.remaining);
  EXPECT_EQ(machine.FileData(kTarget + L"\\keep.txt"), "target") << "a link target was touched";
  EXPECT_EQ(machine.OpenHandleCount(), 0) << "a listing was left open";
}

INSTANTIATE_TEST_SUITE_P(Trees, ClearDirectoryTreeTest, ::testing::ValuesIn(kClearRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CreatePathDirectoriesTest, Prefixes) {
  struct Case {
    const char* path;
    int result;
    std::vector<std::wstring> created;  // under the temporary directory
  };
  const Case cases[] = {
      {"zorvan_temp/", 0, {L"zorvan_temp\\"}},
      {"a/b/c.txt", 0, {L"a\\", L"a\\b\\"}},
      {"plain.txt", 0, {}},
      {"/rooted.txt", -1, {}},
      {"x//y/", 0, {L"x\\", L"x\\y\\"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    Rig rig;
    rig.Launch();
    const auto before = PathsUnder(rig.machine, kTemp);
    EXPECT_EQ(CreatePathDirectories(rig.state, c.path), c.result);
    std::vector<std::wstring> created;
    for (const std::wstring& p : PathsUnder(rig.machine, kTemp)) {
      if (std::find(before.begin(), before.end(), p) == before.end()) {
        created.push_back(p);
        EXPECT_EQ(rig.machine.SecurityOf(kTemp + p), fake::kFakeWorkDirSecurity);
      }
    }
    EXPECT_EQ(created, c.created);
  }
}

TEST(CreatePathDirectoriesTest, ExistingIsFineOtherFailuresAreNot) {
  Rig rig;
  rig.Launch();
  rig.machine.AddDirectory(kTree);
  EXPECT_EQ(CreatePathDirectories(rig.state, "zorvan_temp/"), 0);
  rig.machine.FailOp(Op::kMakeDirectory, 1, kErrorAccessDenied);
  EXPECT_EQ(CreatePathDirectories(rig.state, "other/"), -1);
  EXPECT_FALSE(rig.machine.Exists(kTemp + L"other"));
}

}  // namespace
}  // namespace launcher::testing
