// Fault sweep over the worker sequence: every seam call it makes is failed in turn, once and
// from then on, until a run makes no call that could be failed.
#include <gtest/gtest.h>

#include <set>

#include "log_lines.h"
#include "launcher_rig.h"

namespace launcher::testing {
namespace {

using fake::Op;

// A windowed run over an old work directory and a payload with a subdirectory, so that every
// kind of seam call of the sequence is made.
void Arrange(Rig& rig) {
  TarBuilder tar;
  tar.Member("Mendrel.vbs", Noise(1300, 3))
      .Member("docs/a.txt", "a")
      .Member("go.bat", "exit 0\r\n")
      .ZeroBlocks(2);
  rig.InstallTar(tar);
  rig.machine.AddFile(std::wstring(kWorkDir) + L"\\old\\deep.txt", "old");
  rig.machine.AddFile(std::wstring(kWorkDir) + L"\\top.txt", "old");
}

std::string CleanLog() {
  Rig rig(false);
  Arrange(rig);
  EXPECT_EQ(rig.Run(), 0u);
  return rig.Log();
}

TEST(FaultSweepTest, EachCallFailedOnceGivesOneCodeOneLineAndNoLeak) {
  const std::string clean = CleanLog();
  std::set<std::uint32_t> codes;
  std::set<Op> faultedOps;
  std::uint64_t n = 1;
  for (;; ++n) {
    Rig rig(false);
    Arrange(rig);
    rig.Launch();
    rig.machine.FailCall(n, kErrorAccessDenied);
    const std::uint32_t code = RunSequence(rig.state);
    if (rig.machine.FaultedCalls().empty()) {
      EXPECT_EQ(code, 0u);
      EXPECT_EQ(rig.Log(), clean);
      break;
    }
    const fake::Call& call = rig.machine.FaultedCalls().front();
    SCOPED_TRACE(::testing::Message() << "call " << n << ": " << fake::OpName(call.op) << " "
                                      << Narrow(call.path));
    codes.insert(code);
    faultedOps.insert(call.op);
    EXPECT_EQ(rig.machine.OpenHandleCount(), 0);
    EXPECT_EQ(rig.allocator.live, 0);
    EXPECT_TRUE(IsWorkerResultCode(code)) << code;

    if (call.op == Op::kWriteFile && call.path == kRunLogPath) {
      // A lost piece of a run-log line is ignored: the run goes on and only that piece is gone.
      EXPECT_EQ(code, 0u);
      EXPECT_EQ(rig.Log().size(), clean.size() - call.data.size());
      continue;
    }
    const std::vector<std::string> lines = LineTexts(rig.Log());
    std::vector<std::string> failures;
    for (const std::string& line : lines) {
      if (IsFailureLine(line)) failures.push_back(line);
    }
    if (code == 0) {
      EXPECT_TRUE(failures.empty()) << failures.front();
    } else {
      ASSERT_EQ(failures.size(), 1u) << rig.Log();
      EXPECT_TRUE(IsLineOfCode(code, failures[0])) << code << " " << failures[0];
    }
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Finishing with code " + Hex(code) + ".");
  }
  // Every failure site that a single failed call can reach was reached.
  for (std::uint32_t expected : {1002u, 1008u, 1009u, 1010u, 1011u, 1012u, 1013u, 1014u, 1015u,
                                 1016u, 1017u, 1022u, 1024u, 1029u, 1031u, 1033u, 1038u, 1039u}) {
    EXPECT_EQ(codes.count(expected), 1u) << expected;
  }
  for (Op op : {Op::kFindFileResource, Op::kLoadResource, Op::kResourceSize, Op::kLockResource,
                Op::kOpenFile, Op::kWriteFile, Op::kReadFile, Op::kCloseFile,
                Op::kQueryAttributes, Op::kFindFirst, Op::kFindNext, Op::kFindClose,
                Op::kRemoveFile, Op::kRemoveEmptyDirectory, Op::kMakeDirectory,
                Op::kChangeDirectory, Op::kChangeDirectoryNarrow, Op::kTempPath, Op::kLastError,
                Op::kShellExecuteFile, Op::kWaitForProcess, Op::kGetExitCode,
                Op::kCloseProcess, Op::kHideMainWindow, Op::kPostProgress, Op::kPostDone,
                Op::kShowMessageBox, Op::kUtcNow}) {
    EXPECT_EQ(faultedOps.count(op), 1u) << fake::OpName(op);
  }
}

TEST(FaultSweepTest, EveryCallFailingFromCallNOnLeaksNothing) {
  for (std::uint64_t n = 1;; ++n) {
    Rig rig(false);
    Arrange(rig);
    rig.Launch();
    rig.machine.FailCall(n, kErrorAccessDenied, /*fromThenOn=*/true);
    const std::uint32_t code = RunSequence(rig.state);
    if (rig.machine.FaultedCalls().empty()) break;
    SCOPED_TRACE(::testing::Message() << "from call " << n);
    EXPECT_TRUE(IsWorkerResultCode(code)) << code;
    EXPECT_EQ(rig.machine.OpenHandleCount(), 0);
    EXPECT_EQ(rig.allocator.live, 0);
    EXPECT_EQ(rig.state.runLogFile, kInvalidHandle);
  }
}

}  // namespace
}  // namespace launcher::testing
