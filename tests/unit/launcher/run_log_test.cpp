// The run log's name, line forms and writes.
#include <gtest/gtest.h>

#include "launcher_rig.h"
#include "shell/run_log.h"

namespace launcher::testing {
namespace {

using fake::Op;

TEST(RunLogTest, NameAndPrefixFromTheUtcClock) {
  struct Case {
    UtcTime time;
    std::string name, prefix;
  };
  const Case cases[] = {
      {{2012, 9, 25, 18, 2, 50}, "Zorvan Fix Log_20120925180250.txt", "2012-09-25T18:02:50Z: "},
      {{2001, 2, 3, 4, 5, 6}, "Zorvan Fix Log_20010203040506.txt", "2001-02-03T04:05:06Z: "},
      {{1999, 12, 31, 23, 59, 59}, "Zorvan Fix Log_19991231235959.txt", "1999-12-31T23:59:59Z: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.machine.clock = c.time;
    const FileRef log = OpenRunLog(rig.state);
    ASSERT_NE(log, kInvalidHandle);
    EXPECT_EQ(rig.state.runLogFile, log);
    LogLine(rig.state, "Begining extraction.");
    EXPECT_EQ(rig.machine.FileData(fake::FakeLauncherMachine::kDefaultTempPath +
                                   fake::Widen(c.name)),
              c.prefix + "Begining extraction.\r\n");
  }
}

TEST(RunLogTest, ValueLines) {
  struct Case {
    std::uint32_t value;
    const char* text;
  };
  const Case cases[] = {{1014, "0x000003f6"}, {100, "0x00000064"}, {0, "0x00000000"},
                        {1038, "0x0000040e"}, {0xABCDEF01u, "0xabcdef01"},
                        {0xFFFFFFFFu, "0xffffffff"}};
  Rig rig;
  rig.Launch();
  std::vector<std::string> lines;
  for (const Case& c : cases) {
    LogValueLine(rig.state, "Finishing with code ", c.value);
    lines.push_back(std::string("Finishing with code ") + c.text + ".");
  }
  EXPECT_EQ(rig.Log(), LogText(lines));
}

TEST(RunLogTest, PrefixTakenAfreshForEveryLine) {
  Rig rig;
  rig.Launch();
  LogLine(rig.state, "one");
  rig.machine.clock.second = 51;
  LogLine(rig.state, "two");
  EXPECT_EQ(rig.Log(), "2012-09-25T18:02:50Z: one\r\n2012-09-25T18:02:51Z: two\r\n");
}

// Lines are written piece by piece; a failed write loses that piece only.
TEST(RunLogTest, FailedWriteLosesOnlyItsPiece) {
  struct Case {
    std::uint64_t failedWrite;
    bool value;
    std::string log;
  };
  const Case cases[] = {
      {1, false, "text\r\n"},
      {2, false, "2012-09-25T18:02:50Z: \r\n"},
      {3, false, "2012-09-25T18:02:50Z: text"},
      {3, true, "2012-09-25T18:02:50Z: text.\r\n"},
      {4, true, "2012-09-25T18:02:50Z: text0x00000064\r\n"},
      {5, true, "2012-09-25T18:02:50Z: text0x00000064."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.log);
    Rig rig;
    rig.Launch();
    rig.machine.FailOp(Op::kWriteFile, c.failedWrite, 112);
    if (c.value) {
      LogValueLine(rig.state, "text", 100);
    } else {
      LogLine(rig.state, "text");
    }
    EXPECT_EQ(rig.Log(), c.log);
    EXPECT_EQ(rig.machine.CallCount(Op::kWriteFile), c.value ? 5u : 3u);
  }
}

TEST(RunLogTest, SameSecondReplacesTheEarlierLog) {
  Rig rig;
  rig.machine.AddFile(kRunLogPath, "an earlier run's lines\r\n");
  EXPECT_NE(OpenRunLog(rig.state), kInvalidHandle);
  EXPECT_EQ(rig.Log(), "");
}

TEST(RunLogTest, CannotBeCreated) {
  Rig rig;
  rig.machine.FailOp(Op::kOpenFile, 1, kErrorAccessDenied);
  EXPECT_EQ(OpenRunLog(rig.state), kInvalidHandle);
  LogLine(rig.state, "nowhere");  // no log, nothing written, nothing fails
  EXPECT_EQ(rig.machine.CallCount(Op::kWriteFile), 0u);
}

// The launch steps around the run log: the temporary directory and the security attributes.
TEST(LaunchStepsTest, TemporaryDirectoryAndSecurity) {
  {
    Rig rig;
    std::wstring path = L"unchanged";
    rig.machine.FailOp(Op::kTempPath, 1, 2);
    EXPECT_EQ(EnterTempDirectory(rig.machine, &path), 1002u);
    EXPECT_EQ(path, L"unchanged");
  }
  {
    Rig rig;
    std::wstring path;
    rig.machine.FailOp(Op::kChangeDirectory, 1, 5);
    EXPECT_EQ(EnterTempDirectory(rig.machine, &path), 1003u);
    EXPECT_EQ(path, fake::FakeLauncherMachine::kDefaultTempPath) << "filled before the change";
  }
  {
    Rig rig;
    rig.machine.AddDirectory(L"C:\\elsewhere");
    ASSERT_TRUE(rig.machine.ChangeDirectory(L"C:\\elsewhere"));
    std::wstring path;
    EXPECT_EQ(EnterTempDirectory(rig.machine, &path), 0u);
    EXPECT_EQ(rig.machine.CurrentDirectory() + L"\\", fake::FakeLauncherMachine::kDefaultTempPath);
  }
  {
    Rig rig;
    ASSERT_NE(OpenRunLog(rig.state), kInvalidHandle);
    rig.machine.FailOp(Op::kBuildWorkDirSecurity, 1, 1300);
    EXPECT_EQ(BuildWorkDirSecurity(rig.state), -1);
    EXPECT_EQ(rig.state.workDirSecurity, 0u);
    EXPECT_EQ(rig.Log(), "") << "a security failure leaves the log empty";
    EXPECT_EQ(BuildWorkDirSecurity(rig.state), 0);
    EXPECT_EQ(rig.state.workDirSecurity, fake::kFakeWorkDirSecurity);
  }
}

}  // namespace
}  // namespace launcher::testing
