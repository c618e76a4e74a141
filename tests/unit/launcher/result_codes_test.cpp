// Every result code of the worker sequence, each reached on the machine with its whole run log.
// (Codes reached only by a cancel request, 1027, 1028 and 1030 among them, are swept in
// cancel_test.cpp with their whole logs as well.)
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "launcher_rig.h"

namespace launcher::testing {
namespace {

using fake::Op;

const std::vector<std::string> kNames = {"Mendrel.vbs", "go.bat", "Readme.txt"};

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

const std::vector<std::string> kBothPasses =
    Join({{"Begining extraction.", "Extracting files:"}, kNames, {"Verifying files:"}, kNames});

std::vector<std::string> Ending(const std::string& finish) {
  return {"Cleaning up.", "Finishing with code " + finish + "."};
}

// A setup program exit code E: its value line, then the mapped result.
std::vector<std::string> SetupFailed(const std::string& exitHex, const std::string& finish) {
  return Join({kBothPasses,
               {"Running something.", "Setup program failed with code " + exitHex + "."},
               Ending(finish)});
}

std::vector<std::string> EarlyFailure(const std::string& line, const std::string& finish) {
  return Join({{"Begining extraction.", line}, Ending(finish)});
}

std::vector<std::string> ExtractFailure(std::vector<std::string> names, const std::string& line,
                                        const std::string& finish) {
  return Join({{"Begining extraction.", "Extracting files:"}, names, {line}, Ending(finish)});
}

std::vector<std::string> VerifyFailure(std::vector<std::string> names, const std::string& line,
                                       const std::string& finish) {
  return Join({{"Begining extraction.", "Extracting files:"}, kNames, {"Verifying files:"}, names,
               {line}, Ending(finish)});
}

// Runs `change` when the run log receives "Verifying files:", i.e. between the two passes.
void BetweenPasses(Rig& rig, std::function<void(fake::FakeLauncherMachine&)> change) {
  rig.machine.onCall = [&rig, change](const fake::Call& call) {
    if (call.op == Op::kWriteFile && call.data == "Verifying files:") change(rig.machine);
  };
}

const std::wstring kMendrel = std::wstring(kWorkDir) + L"\\Mendrel.vbs";

struct Row {
  const char* name;
  std::function<void(Rig&)> arrange;  // after the payload is installed and the launch is done
  std::uint32_t code;
  std::vector<std::string> lines;
  friend void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }
};

const Row kRows[] = {
    {"Success", [](Rig&) {}, 0,
     Join({kBothPasses, {"Running something."}, Ending("0x00000000")})},
    {"SetupExit100", [](Rig& r) { r.machine.setupExitCode = 100; }, 100,
     SetupFailed("0x00000064", "0x00000064")},
    {"SetupExit142", [](Rig& r) { r.machine.setupExitCode = 142; }, 142,
     SetupFailed("0x0000008e", "0x0000008e")},
    {"SetupExit1", [](Rig& r) { r.machine.setupExitCode = 1; }, 1038,
     SetupFailed("0x00000001", "0x0000040e")},
    {"SetupExit99", [](Rig& r) { r.machine.setupExitCode = 99; }, 1038,
     SetupFailed("0x00000063", "0x0000040e")},
    {"SetupExit143", [](Rig& r) { r.machine.setupExitCode = 143; }, 1038,
     SetupFailed("0x0000008f", "0x0000040e")},
    {"NoTempPath", [](Rig& r) { r.machine.FailOp(Op::kTempPath, 1, 2); }, 1002,
     EarlyFailure("Could not get temporary path.", "0x000003ea")},
    {"NoPayloadResource", [](Rig& r) { r.machine.RemoveResource(kPayloadResource); }, 1008,
     EarlyFailure("No resources!", "0x000003f0")},
    {"PayloadNotLoaded", [](Rig& r) { r.machine.FailOp(Op::kLoadResource, 1, 8); }, 1009,
     EarlyFailure("No resources!", "0x000003f1")},
    {"PayloadNotLocked", [](Rig& r) { r.machine.FailOp(Op::kLockResource, 1, 8); }, 1010,
     EarlyFailure("No resources!", "0x000003f2")},
    {"NoChecksumResource", [](Rig& r) { r.machine.RemoveResource(kChecksumResource); }, 1011,
     EarlyFailure("No resources!", "0x000003f3")},
    {"ChecksumOfThreeBytes",
     [](Rig& r) { r.machine.SetResource(kChecksumResource, std::string(3, '\0')); }, 1012,
     EarlyFailure("No resources!", "0x000003f4")},
    {"ChecksumOfFiveBytes",
     [](Rig& r) { r.machine.SetResource(kChecksumResource, std::string(5, '\0')); }, 1012,
     EarlyFailure("No resources!", "0x000003f4")},
    {"ChecksumNotLoaded", [](Rig& r) { r.machine.FailOp(Op::kLoadResource, 2, 8); }, 1012,
     EarlyFailure("No resources!", "0x000003f4")},
    {"ChecksumNotLocked", [](Rig& r) { r.machine.FailOp(Op::kLockResource, 2, 8); }, 1013,
     EarlyFailure("No resources!", "0x000003f5")},
    {"ChecksumBigEndian",
     [](Rig& r) {
       std::string crc = ChecksumBytes(Compress(CarriedMembers().Bytes()));
       r.machine.SetResource(kChecksumResource, std::string(crc.rbegin(), crc.rend()));
     },
     1014, EarlyFailure("Checksum failed on resource.", "0x000003f6")},
    {"OldWorkDirHoldsReadOnlyFile",
     [](Rig& r) { r.machine.AddFile(std::wstring(kWorkDir) + L"\\old.txt", "x", 0x21); }, 1015,
     EarlyFailure("Cannot clear output directory.", "0x000003f7")},
    {"OldWorkDirFileHeldOpen",
     [](Rig& r) {
       r.machine.AddFile(std::wstring(kWorkDir) + L"\\sub\\log.txt", "x");
       r.machine.HoldOpen(std::wstring(kWorkDir) + L"\\sub\\log.txt");
     },
     1015, EarlyFailure("Cannot clear output directory.", "0x000003f7")},
    {"WorkDirIsPlainFile", [](Rig& r) { r.machine.AddFile(kWorkDir, "not a directory"); }, 1015,
     EarlyFailure("Cannot clear output directory.", "0x000003f7")},
    {"WorkDirNotCreated", [](Rig& r) { r.machine.FailOp(Op::kMakeDirectory, 1, 5); }, 1016,
     EarlyFailure("Cannot create output directory.", "0x000003f8")},
    {"WorkDirNotEntered", [](Rig& r) { r.machine.FailOp(Op::kChangeDirectoryNarrow, 1, 5); },
     1017, EarlyFailure("Cannot change to output directory.", "0x000003f9")},
    {"FirstStreamNotStarted", [](Rig& r) { r.allocator.failAt = 1; }, 1018,
     ExtractFailure({}, "Extraction failure.", "0x000003fa")},
    {"EmptyPayload", [](Rig& r) { r.Install(""); }, 1019,
     ExtractFailure({}, "Extraction failure.", "0x000003fb")},
    {"RawDeflatePayload",
     [](Rig& r) { r.Install(Compress(CarriedMembers().Bytes(), Wrapper::kRaw)); }, 1019,
     ExtractFailure({}, "Extraction failure.", "0x000003fb")},
    {"LongNameDataRunsIntoEnd",
     [](Rig& r) {
       TarBuilder tar;
       tar.LongNameRecordOnly(std::string(600, 'n'), 1);
       r.InstallTar(tar);
     },
     1020, ExtractFailure({}, "Failed to read long filename.", "0x000003fc")},
    {"NoHeaderAfterLongName",
     [](Rig& r) {
       TarBuilder tar;
       tar.LongNameRecordOnly(std::string(150, 'n'), 1).ZeroBlocks(1);
       r.InstallTar(tar);
     },
     1021, ExtractFailure({}, "Missing file after long filename.", "0x000003fd")},
    {"OutputFileNotCreated",
     [](Rig& r) { r.machine.FailOp(Op::kOpenFile, 1, 5, false, L"Mendrel.vbs"); }, 1022,
     ExtractFailure({"Mendrel.vbs"}, "Failed to open file.", "0x000003fe")},
    {"OutputNameIsADirectory",
     [](Rig& r) {
       TarBuilder tar;
       tar.Member("x/y.txt", "y").Member("x", "file over a directory").ZeroBlocks(2);
       r.InstallTar(tar);
     },
     1022, ExtractFailure({"x/y.txt", "x"}, "Failed to open file.", "0x000003fe")},
    {"HostileName",
     [](Rig& r) {
       TarBuilder tar;
       tar.Member("../evil.txt", "evil").ZeroBlocks(2);
       r.InstallTar(tar);
     },
     1022, ExtractFailure({"../evil.txt"}, "Failed to open file.", "0x000003fe")},
    {"LastDataBlockIsFinalBlock",
     [](Rig& r) {
       TarBuilder tar;
       tar.Member("last.bin", Noise(600));
       r.InstallTar(tar);
     },
     1023, ExtractFailure({"last.bin"}, "Extraction failure.", "0x000003ff")},
    {"WriteFails",
     [](Rig& r) { r.machine.FailOp(Op::kWriteFile, 1, 112, false, L"Mendrel.vbs"); }, 1024,
     ExtractFailure({"Mendrel.vbs"}, "Can't write to file.", "0x00000400")},
    {"WriteShort", [](Rig& r) { r.machine.writeLimit = 100; }, 1024,
     ExtractFailure({"Mendrel.vbs"}, "Can't write to file.", "0x00000400")},
    {"SecondStreamNotStarted", [](Rig& r) { r.allocator.failAt = 3; }, 1025,
     VerifyFailure({}, "Extraction failure.", "0x00000401")},
    {"SecondStreamFirstReadFails", [](Rig& r) { r.allocator.failAt = 4; }, 1026,
     VerifyFailure({}, "Extraction failure.", "0x00000402")},
    {"FileRemovedBetweenPasses",
     [](Rig& r) { BetweenPasses(r, [](fake::FakeLauncherMachine& m) { m.Remove(kMendrel); }); },
     1029,
     VerifyFailure({"Mendrel.vbs"}, "Failed to open file for verification.", "0x00000405")},
    {"ReadBackFails",
     [](Rig& r) { r.machine.FailOp(Op::kReadFile, 1, 23, false, L"Mendrel.vbs"); }, 1031,
     VerifyFailure({"Mendrel.vbs"}, "Extraction failure.", "0x00000407")},
    {"FileShrankBetweenPasses",
     [](Rig& r) {
       BetweenPasses(r, [](fake::FakeLauncherMachine& m) {
         m.SetFileData(kMendrel, m.FileData(kMendrel)->substr(0, 1000));
       });
     },
     1031, VerifyFailure({"Mendrel.vbs"}, "Extraction failure.", "0x00000407")},
    {"FileChangedBetweenPasses",
     [](Rig& r) {
       BetweenPasses(r, [](fake::FakeLauncherMachine& m) {
         std::string data = *m.FileData(kMendrel);
         data[1200] ^= 1;
         m.SetFileData(kMendrel, data);
       });
     },
     1032, VerifyFailure({"Mendrel.vbs"}, "Verification failure.", "0x00000408")},
    {"ExtraByteReadFails",
     [](Rig& r) { r.machine.FailOp(Op::kReadFile, 2, 23, false, L"go.bat"); }, 1033,
     VerifyFailure({"Mendrel.vbs", "go.bat"}, "File too long.", "0x00000409")},
    {"FileGrewBetweenPasses",
     [](Rig& r) {
       BetweenPasses(r, [](fake::FakeLauncherMachine& m) {
         m.SetFileData(kMendrel, *m.FileData(kMendrel) + "!");
       });
     },
     1034, VerifyFailure({"Mendrel.vbs"}, "File too long.", "0x0000040a")},
    {"SetupProgramMissing",
     [](Rig& r) {
       TarBuilder tar;
       tar.Member("Readme.txt", "no go.bat").ZeroBlocks(2);
       r.InstallTar(tar);
     },
     1038,
     {"Begining extraction.", "Extracting files:", "Readme.txt", "Verifying files:", "Readme.txt",
      "Running something.", "Failed to run setup program.", "Cleaning up.",
      "Finishing with code 0x0000040e."}},
    {"ExitCodeUnreadable", [](Rig& r) { r.machine.FailOp(Op::kGetExitCode, 1, 5); }, 1038,
     Join({kBothPasses,
           {"Running something.",
            "Failed to retrieve the exit code for the Setup program! Error code (for "
            "GetExitCodeProcess): 0x00000005."},
           Ending("0x0000040e")})},
    {"ShellGivesNoProcess", [](Rig& r) { r.machine.setupGivesNoProcess = true; }, 1038,
     Join({kBothPasses,
           {"Running something.",
            "Failed to retrieve the exit code for the Setup program! Error code (for "
            "GetExitCodeProcess): 0x00000006."},
           Ending("0x0000040e")})},
    {"CleanUpCannotReadTempPath", [](Rig& r) { r.machine.FailOp(Op::kTempPath, 2, 2); }, 1039,
     Join({kBothPasses,
           {"Running something.", "Cleaning up.", "Cannot clear output directory after setup.",
            "Finishing with code 0x0000040f."}})},
    {"CleanUpCannotEnterTempDir", [](Rig& r) { r.machine.FailOp(Op::kChangeDirectory, 1, 5); },
     1039,
     Join({kBothPasses,
           {"Running something.", "Cleaning up.", "Cannot clear output directory after setup.",
            "Finishing with code 0x0000040f."}})},
    {"CleanUpFailureKeepsEarlierCode",
     [](Rig& r) {
       r.machine.RemoveResource(kChecksumResource);
       r.machine.FailOp(Op::kChangeDirectory, 1, 5);
     },
     1011,
     {"Begining extraction.", "No resources!", "Cleaning up.",
      "Cannot clear output directory after setup.", "Finishing with code 0x000003f3."}},
};

class ResultCodeTest : public ::testing::TestWithParam<Row> {};

TEST_P(ResultCodeTest, ReachesItsCodeWithItsRunLog) {
  const Row& row = GetParam();
  Rig rig;
  rig.InstallTar(CarriedMembers());
  rig.Launch();
  row.arrange(rig);

  EXPECT_EQ(RunSequence(rig.state), row.code);
  EXPECT_EQ(rig.state.resultCode, row.code);
  EXPECT_EQ(rig.Log(), LogText(row.lines));
  EXPECT_EQ(rig.machine.OpenHandleCount(), 0);
  EXPECT_EQ(rig.allocator.live, 0) << "an inflate state was not released";
  if (rig.Log().find("Cannot clear output directory after setup.") == std::string::npos) {
    EXPECT_EQ(rig.machine.CurrentDirectory() + L"\\", fake::FakeLauncherMachine::kDefaultTempPath);
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, ResultCodeTest, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

// The failure at the payload check stops the run before the work directory is touched.
TEST(ResultCodeTest, DamagedPayloadLeavesTheOldWorkDirectoryAlone) {
  for (std::size_t offset : {std::size_t{0}, std::size_t{9}, std::size_t{200}}) {
    SCOPED_TRACE(offset);
    Rig rig;
    std::string archive = Compress(CarriedMembers().Bytes(), Wrapper::kGzip, "payload.tar");
    const std::string checksum = ChecksumBytes(archive);
    archive[offset == 200 ? archive.size() - 1 : offset] ^= 0x40;  // header, name, trailer
    rig.machine.SetResource(kPayloadResource, archive);
    rig.machine.SetResource(kChecksumResource, checksum);
    rig.machine.AddFile(std::wstring(kWorkDir) + L"\\side file.txt", "kept");
    const auto before = rig.machine.AllPaths();

    EXPECT_EQ(rig.Run(), 1014u);
    auto after = rig.machine.AllPaths();
    std::erase(after, std::wstring(kRunLogPath));
    EXPECT_EQ(after, before);
    EXPECT_EQ(rig.machine.CallCount(Op::kMakeDirectory), 0u);
  }
}

// The final report: box, hidden window and done post, by mode.
TEST(ResultCodeTest, FinalReportByMode) {
  struct Case {
    bool silent;
    std::uint32_t exitCode;
    std::vector<fake::MessageBoxRecord> boxes;
  };
  const std::vector<Case> cases = {
      {false, 0, {{L"Halvern script completed.", L"Zorvan", BoxIcon::kNone}}},
      {false, 142,
       {{L"Could not resolve the issue.\n\nPlease contact Technical Support. Error code: 142",
         L"Zorvan", BoxIcon::kError}}},
      {true, 0, {}},
      {true, 143, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "silent " << c.silent << " exit " << c.exitCode);
    Rig rig(c.silent);
    rig.InstallTar(CarriedMembers());
    rig.machine.setupExitCode = c.exitCode;
    rig.Run();
    EXPECT_EQ(rig.machine.boxes, c.boxes);
    if (c.silent) {
      EXPECT_TRUE(rig.machine.windowEvents.empty());
      ASSERT_EQ(rig.machine.setupRuns.size(), 1u);
      EXPECT_TRUE(rig.machine.setupRuns[0].noUi);
    } else {
      ASSERT_FALSE(rig.machine.windowEvents.empty());
      EXPECT_EQ(rig.machine.windowEvents.back(), fake::WindowEvent::kDone);
      const auto hidden = std::find(rig.machine.windowEvents.begin(),
                                    rig.machine.windowEvents.end(), fake::WindowEvent::kHidden);
      ASSERT_NE(hidden, rig.machine.windowEvents.end());
      EXPECT_EQ(hidden + 2, rig.machine.windowEvents.end()) << "hidden just before done";
      ASSERT_EQ(rig.machine.setupRuns.size(), 1u);
      EXPECT_FALSE(rig.machine.setupRuns[0].noUi);
    }
  }
}

}  // namespace
}  // namespace launcher::testing
