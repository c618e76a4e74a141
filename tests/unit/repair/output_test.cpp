// Console lines, the error report's number forms, the run time stamp, side-file bytes and the
// collection of side files into a log folder.
#include "output.h"
#include "suite_endpoint.h"

namespace repair::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

TEST_F(RepairTest, VerboseLinesAppearOnlyWhileVerboseIsOn) {
  DbgMsg(run, L"hidden");
  LogMsg(run, L"");
  run.g_verbose = true;
  DbgMsg(run, L"shown");
  EXPECT_THAT(Lines(), ElementsAre(L"", L"shown"));
}

TEST_F(RepairTest, DisplayErrorPrintsNumbersInDecimalOrAsTheir32BitHexForm) {
  const struct {
    std::int32_t number;
    std::wstring description;
    std::wstring numberLine;
  } cases[] = {
      {53, L"The network path was not found.", L"Number = 53"},
      {0, L"", L"Number = 0"},
      {2147483647, L"x", L"Number = 2147483647"},
      {static_cast<std::int32_t>(0x80042F05u), L"An update is in progress.",
       L"Number = 0x80042F05"},
      {-1, L"x", L"Number = 0xFFFFFFFF"},
      {static_cast<std::int32_t>(0x80000000u), L"x", L"Number = 0x80000000"},
      {static_cast<std::int32_t>(0x8000000Au), L"x", L"Number = 0x8000000A"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.number);
    DisplayError(run, SysError{c.number, c.description});
    EXPECT_THAT(NewLines(), ElementsAre(L"Script encountered an error, details:", c.numberLine,
                                        L"Description = " + c.description));
  }
}

TEST(ErrorNumberHex, HasNoLeadingZeros) {
  EXPECT_EQ(ErrorNumberHex(0), L"0");
  EXPECT_EQ(ErrorNumberHex(12029), L"2EFD");
  EXPECT_EQ(ErrorNumberHex(static_cast<std::int32_t>(0x800C0005u)), L"800C0005");
}

TEST_F(RepairTest, RunTimeStampHasNoLeadingZerosAndTheComputerName) {
  const struct {
    LocalTime time;
    std::wstring computer;
    std::wstring stamp;
  } cases[] = {
      {{2012, 9, 9, 21, 5, 3}, L"PC01", L"2012-9-9_21-5-3_#PC01#"},
      {{2013, 12, 31, 0, 0, 0}, L"PC01", L"2013-12-31_0-0-0_#PC01#"},
      {{2020, 1, 10, 10, 10, 59}, L"Werkstätte-7", L"2020-1-10_10-10-59_#Werkstätte-7#"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.stamp));
    endpoint.system.SetStartTime(c.time);
    endpoint.system.SetEnv(L"COMPUTERNAME", c.computer);
    GetRunTimeStamp(run);
    EXPECT_EQ(run.g_runTimeStamp, c.stamp);
  }
  EXPECT_EQ(SideFilePath(run, SIDE_FILE_FALSE_POS_ALL),
            L".\\2020-1-10_10-10-59_#Werkstätte-7#_001-FalsePosAll.txt");
}

TEST_F(RepairTest, RunTimeStampKeepsAnUndefinedComputerNameAsWritten) {
  fake::FakeEndpoint bare;
  RunContext bareRun(bare.platform());
  GetRunTimeStamp(bareRun);
  EXPECT_EQ(bareRun.g_runTimeStamp, L"2012-9-9_21-5-3_#%COMPUTERNAME%#");
}

// ---------------------------------------------------------------------------------------------
TEST_F(RepairTest, UnicodeSideFileIsUtf16LeWithByteOrderMarkAndCrLf) {
  const std::wstring path = L".\\side.txt";
  {
    SideFile file = CreateLogFile(run, path, true, true);
    ASSERT_TRUE(file.IsOpen());
    file.WriteLine(run, L"Ab");
    file.WriteLine(run, L"");
    const std::wstring emoji = sizeof(wchar_t) == 4
                                   ? std::wstring(1, static_cast<wchar_t>(0x1F600))
                                   : std::wstring{static_cast<wchar_t>(0xD83D),
                                                  static_cast<wchar_t>(0xDE00)};
    file.WriteLine(run, L"\u00E9\u4E2D" + emoji);
  }
  static const char kExpected[] =
      "\xFF\xFE"
      "A\0b\0\r\0\n\0"
      "\r\0\n\0"
      "\xE9\0\x2D\x4E\x3D\xD8\x00\xDE\r\0\n\0";
  const std::string expected(kExpected, sizeof kExpected - 1);
  EXPECT_EQ(endpoint.files.Bytes(kWorkFolder + L"\\side.txt"), expected);
  EXPECT_EQ(endpoint.files.OpenHandles(), 0);
  EXPECT_THAT(run.g_logFilesPathArray, ElementsAre(path));
  EXPECT_THAT(Lines(), IsEmpty());
}

TEST_F(RepairTest, AnsiSideFileHasNoByteOrderMark) {
  {
    SideFile file = CreateLogFile(run, L".\\ansi.txt", true, false);
    file.WriteLine(run, L"caf\u00E9 \u4E2D");
  }
  EXPECT_EQ(endpoint.files.Bytes(L".\\ansi.txt"), std::string("caf\xE9 ?\r\n"));
}

TEST_F(RepairTest, SideFileCreationReplacesOnlyWhenAskedTo) {
  endpoint.files.AddFile(L".\\kept.txt", "old");
  { SideFile replaced = CreateLogFile(run, L".\\kept.txt", true, true); }
  EXPECT_EQ(endpoint.files.Bytes(L".\\kept.txt"), std::string("\xFF\xFE"));
  SideFile refused = CreateLogFile(run, L".\\kept.txt", false, true);
  EXPECT_FALSE(refused.IsOpen());
  EXPECT_THAT(NewLines(), ElementsAre(L"Script encountered an error, details:", L"Number = 80",
                                      L"Description = The file exists."));
}

// A side file that cannot be created is reported, listed, and its writes are skipped.
TEST_F(RepairTest, FailedSideFileIsListedAndSkipped) {
  endpoint.faults.FailCall("Files.CreateForWriting", 1, {5, L"Access is denied."});
  SideFile file = CreateLogFile(run, L".\\a.txt", true, true);
  file.WriteLine(run, L"line");
  file.Close();
  EXPECT_THAT(Lines(), ElementsAre(L"Script encountered an error, details:", L"Number = 5",
                                   L"Description = Access is denied."));
  EXPECT_THAT(run.g_logFilesPathArray, ElementsAre(L".\\a.txt"));
  EXPECT_EQ(endpoint.faults.Calls("Files.Append"), 0);
  EXPECT_FALSE(endpoint.files.FileExists(L".\\a.txt"));
}

TEST_F(RepairTest, WriteErrorIsReportedOnceAndLaterWritesAreSkipped) {
  SideFile file = CreateLogFile(run, L".\\a.txt", true, true);
  endpoint.faults.FailCall("Files.Append", 2, {112, L"There is not enough space on the disk."});
  file.WriteLine(run, L"one");
  file.WriteLine(run, L"two");
  file.WriteLine(run, L"three");
  EXPECT_THAT(Lines(), ElementsAre(L"Script encountered an error, details:", L"Number = 112",
                                   L"Description = There is not enough space on the disk."));
  EXPECT_EQ(endpoint.faults.Calls("Files.Append"), 2);  // the mark and "one"
  EXPECT_EQ(endpoint.files.OpenHandles(), 0);
}

// ---------------------------------------------------------------------------------------------
class LogCollectionTest : public RepairTest {
 protected:
  LogCollectionTest() {
    endpoint.files.AddFolder(L"\\\\logs\\share");
    run.g_logPath = L"\\\\logs\\share";
    run.g_runTimeStamp = L"2012-9-9_21-5-3_#PC01#";
  }
  void MakeSideFile(const wchar_t* suffix, const std::wstring& line) {
    SideFile file = CreateLogFile(run, SideFilePath(run, suffix), true, true);
    file.WriteLine(run, line);
  }
  const std::wstring outFolder = L"\\\\logs\\share\\PC01";
};

TEST_F(LogCollectionTest, CopiesEverySideFileIntoTheComputersFolder) {
  MakeSideFile(SIDE_FILE_FALSE_POS_ALL, L"all");
  MakeSideFile(SIDE_FILE_FALSE_POS_MOVED, L"moved");
  NewLines();
  EXPECT_TRUE(CopyLogFilesToOutputFolder(run));
  for (const wchar_t* suffix : {SIDE_FILE_FALSE_POS_ALL, SIDE_FILE_FALSE_POS_MOVED}) {
    const std::wstring name = run.g_runTimeStamp + suffix;
    SCOPED_TRACE(::testing::PrintToString(name));
    ASSERT_TRUE(endpoint.files.Bytes(outFolder + L"\\" + name).has_value());
    EXPECT_EQ(endpoint.files.Bytes(outFolder + L"\\" + name),
              endpoint.files.Bytes(kWorkFolder + L"\\" + name));
  }
  EXPECT_THAT(NewLines(), IsEmpty());
}

TEST_F(LogCollectionTest, ReusesAnExistingFolderAndReplacesFilesOfTheSameName) {
  const std::wstring name = run.g_runTimeStamp + SIDE_FILE_FALSE_POS_ALL;
  endpoint.files.AddFile(outFolder + L"\\" + name, "from an earlier run");
  MakeSideFile(SIDE_FILE_FALSE_POS_ALL, L"new");
  EXPECT_TRUE(CopyLogFilesToOutputFolder(run));
  EXPECT_EQ(endpoint.files.Bytes(outFolder + L"\\" + name),
            endpoint.files.Bytes(kWorkFolder + L"\\" + name));
}

TEST_F(LogCollectionTest, WithoutSideFilesOnlyCreatesTheFolder) {
  EXPECT_TRUE(CopyLogFilesToOutputFolder(run));
  EXPECT_TRUE(endpoint.files.FolderExists(outFolder));
  EXPECT_THAT(Lines(), IsEmpty());
}

TEST_F(LogCollectionTest, StopsAtTheFirstFileThatCannotBeCopied) {
  endpoint.faults.FailCall("Files.CreateForWriting", 1, {5, L"Access is denied."});
  MakeSideFile(SIDE_FILE_FALSE_POS_ALL, L"never written");
  MakeSideFile(SIDE_FILE_FALSE_POS_MOVED, L"moved");
  NewLines();
  EXPECT_FALSE(CopyLogFilesToOutputFolder(run));
  EXPECT_THAT(NewLines(),
              ElementsAre(L"Script encountered an error, details:", L"Number = 2",
                          L"Description = The system cannot find the file specified."));
  EXPECT_FALSE(
      endpoint.files.FileExists(outFolder + L"\\" + run.g_runTimeStamp +
                                SIDE_FILE_FALSE_POS_MOVED));
}

TEST_F(LogCollectionTest, ReportsAMissingComputerNameOrFolder) {
  endpoint.system.SetEnv(L"COMPUTERNAME", L"");
  EXPECT_FALSE(CopyLogFilesToOutputFolder(run));
  EXPECT_THAT(NewLines(), ElementsAre(L"Failed to determine computer name"));

  endpoint.system.SetEnv(L"COMPUTERNAME", kComputer);
  endpoint.faults.FailCall("Files.CreateFolder", 1, {5, L"Access is denied."});
  EXPECT_FALSE(CopyLogFilesToOutputFolder(run));
  EXPECT_THAT(NewLines(), ElementsAre(L"Script encountered an error, details:", L"Number = 5",
                                      L"Description = Access is denied.",
                                      L"Failed to create log output folder"));
}

}  // namespace
}  // namespace repair::testing
