// How the setup program is started and what the clean-up step leaves behind.
#include <gtest/gtest.h>

#include "extraction/setup_program.h"
#include "launcher_rig.h"

namespace launcher::testing {
namespace {

TEST(SetupProgramTest, StartedByFullPathFromTheWorkDirectoryAndNotRemovedAfter) {
  Rig rig(false);
  rig.InstallTar(CarriedMembers());
  std::vector<fake::WindowEvent> eventsAtWait;
  rig.machine.onCall = [&](const fake::Call& call) {
    if (call.op == fake::Op::kWaitForProcess) eventsAtWait = rig.machine.windowEvents;
  };
  ASSERT_EQ(rig.Run(), 0u);
  ASSERT_EQ(rig.machine.setupRuns.size(), 1u);
  const fake::SetupRun& run = rig.machine.setupRuns[0];
  EXPECT_EQ(run.file, L"C:\\Users\\admin\\AppData\\Local\\Temp\\zorvan_temp\\go.bat");
  EXPECT_EQ(run.directory, kWorkDir);
  EXPECT_FALSE(run.noUi);
  ASSERT_FALSE(eventsAtWait.empty());
  EXPECT_EQ(eventsAtWait.back(), fake::WindowEvent::kHidden) << "hidden before the wait";
  // The clean-up step only leaves the work directory: its files stay for the administrator.
  EXPECT_EQ(rig.WorkFile("go.bat"),
            "Mendrel.exe /halvern:true > \"../Zorvan Fix Script Log.txt\"\r\n");
  EXPECT_EQ(rig.machine.CurrentDirectory() + L"\\", fake::FakeLauncherMachine::kDefaultTempPath);
}

TEST(SetupProgramTest, ExitCodeMapping) {
  struct Case {
    std::uint32_t exitCode, result;
  };
  for (const Case& c : {Case{0, 0}, Case{1, 1038}, Case{99, 1038}, Case{100, 100},
                        Case{142, 142}, Case{143, 1038}, Case{0xFFFFFFFFu, 1038},
                        Case{kStillActive, 1038}}) {
    SCOPED_TRACE(c.exitCode);
    Rig rig;
    rig.Launch();
    rig.machine.AddFile(std::wstring(kWorkDir) + L"\\go.bat", "");
    rig.machine.setupExitCode = c.exitCode;
    EXPECT_EQ(RunSetupProgram(rig.state, fake::FakeLauncherMachine::kDefaultTempPath), c.result);
    EXPECT_EQ(rig.state.resultCode, c.result);
    EXPECT_EQ(rig.machine.OpenHandleCount(), 1) << "the process handle was not closed";
  }
}

}  // namespace
}  // namespace launcher::testing
