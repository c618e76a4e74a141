// The rules of the fake endpoint that the other tests rely on: Windows path matching and the
// fault plan.
#include <gtest/gtest.h>

#include "fake_endpoint.h"

namespace repair::fake {
namespace {

TEST(FakeFiles, PathsMatchWithoutCaseWithEitherSeparatorAndFromTheCurrentFolder) {
  FakeEndpoint e;
  e.files.AddFile(L"C:\\Work\\Sub\\Quarantine.xml", "q");
  e.files.SetCurrentFolder(L"c:/work");
  for (const wchar_t* path : {L"C:\\Work\\Sub\\Quarantine.xml", L"c:/WORK/sub/quarantine.XML",
                              L"C:\\Work\\\\Sub\\.\\Quarantine.xml", L".\\Sub\\Quarantine.xml",
                              L"Sub/../Sub/Quarantine.xml", L"\\work\\sub\\quarantine.xml"}) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(path)));
    EXPECT_TRUE(e.files.FileExists(path));
  }
  EXPECT_TRUE(e.files.FolderExists(L"C:\\WORK\\SUB\\"));
  EXPECT_FALSE(e.files.FileExists(L"C:\\Work\\Sub"));
  const auto listed = e.files.ListFolder(L"c:\\work");
  ASSERT_TRUE(listed.ok);
  ASSERT_EQ(listed.value.size(), 1u);
  EXPECT_EQ(listed.value[0].name, L"Sub");
  EXPECT_TRUE(listed.value[0].isFolder);
}

TEST(FakeFiles, FailsLikeWindows) {
  FakeEndpoint e;
  e.files.AddFile(L"C:\\a\\ro.txt", "x", /*readOnly=*/true);
  EXPECT_EQ(e.files.CreateFolder(L"C:\\missing\\x").error.number, 3);
  EXPECT_EQ(e.files.CreateFolder(L"C:\\a").error.number, 183);
  EXPECT_EQ(e.files.DeleteFile(L"C:\\a\\ro.txt", false).error.number, 5);
  EXPECT_TRUE(e.files.DeleteFile(L"C:\\a\\ro.txt", true).ok);
  EXPECT_EQ(e.files.DeleteFile(L"C:\\a\\ro.txt", true).error.number, 2);
  e.files.AddFile(L"C:\\a\\b.txt", "b");
  EXPECT_EQ(e.files.CopyFile(L"C:\\a\\b.txt", L"C:\\a\\B.TXT", false).error.number, 80);
  EXPECT_EQ(e.files.WriteBytes(L"C:\\nowhere\\b.txt", "b").error.number, 3);
}

TEST(FaultPlan, FailsTheNthCallOnceOrFromThenOn) {
  FakeEndpoint e;
  e.files.AddFolder(L"C:\\x");
  e.faults.FailCall("Files.FolderExists", 2, {5, L""});
  e.faults.FailCall("Files.ReadBytes", 2, {32, L"In use."}, /*fromThenOn=*/true);
  e.files.AddFile(L"C:\\x\\f", "f");
  std::vector<bool> folder;
  std::vector<int> read;
  for (int i = 0; i < 4; ++i) {
    folder.push_back(e.files.FolderExists(L"C:\\x"));
    const auto bytes = e.files.ReadBytes(L"C:\\x\\f");
    read.push_back(bytes.ok ? 0 : bytes.error.number);
  }
  EXPECT_EQ(folder, (std::vector<bool>{true, false, true, true}));
  EXPECT_EQ(read, (std::vector<int>{0, 32, 32, 32}));
  EXPECT_EQ(e.faults.Calls("Files.ReadBytes"), 4);
  EXPECT_THROW(e.faults.FailCall("Files.NoSuchCall", 1, {}), std::invalid_argument);
  e.faults.ThrowAtCall("System.WriteLine", 1);
  EXPECT_THROW(e.system.WriteLine(L"x"), FaultThrown);
  EXPECT_TRUE(e.faults.HasThrown());
}

TEST(FakeServices, ChangeStateOverVirtualTime) {
  FakeEndpoint e;
  e.services.AddService(L"S", ServiceState::kRunning);
  e.services.ScriptStop(L"S", {0, 5000});
  EXPECT_EQ(e.services.RequestStop(L"s"), 0u);
  EXPECT_EQ(e.services.RequestStop(L"S"), 1061u);
  e.system.Sleep(4999);
  EXPECT_EQ(e.services.State(L"S"), ServiceState::kStopPending);
  e.system.Sleep(1);
  EXPECT_EQ(e.services.State(L"S"), ServiceState::kStopped);
  EXPECT_EQ(e.services.RequestStop(L"S"), 1062u);
  EXPECT_EQ(e.services.RequestStart(L"T"), 1060u);
}

}  // namespace
}  // namespace repair::fake
