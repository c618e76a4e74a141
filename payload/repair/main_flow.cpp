// The repair program's main sequence: options, detection-data report, the repair actions
// between stopping and starting the anti-virus service, the update trigger, log collection
// and the result.
#include <exception>

#include "command_line.h"
#include "detection_data.h"
#include "output.h"
#include "quarantine.h"
#include "repair_main.h"
#include "service_control.h"
#include "suite_names.h"
#include "system_access.h"
#include "text_encoding.h"
#include "update_source.h"
#include "update_trigger.h"

namespace repair {
namespace {

// The generic failure number reported for an error that escaped the platform.
constexpr std::int32_t kEscapedErrorNumber = static_cast<std::int32_t>(0x80004005u);

int EndWithUsageHint(RunContext& run) {
  LogMsg(run, L"Specify /Help to display command line options");
  return RETVAL_PROBLEMS_DETECTED;
}

// Ends the run early. The anti-virus service must not be left stopped by this program: while
// it may be stopped, it is started again first, after a stop still in progress has finished.
// A stop that used up its own polls gets one more round of them, so a slow service that stops
// late is still started again. The result is 1 either way.
int EndEarly(RunContext& run) {
  if (run.serviceMayBeStopped) {
    run.serviceMayBeStopped = false;
    WaitWhileStopPending(run, ZAVServiceName);
    LogMsg(run, L"Starting ZAV service");
    if (!StartServiceByName(run, ZAVServiceName)) LogMsg(run, L"Failed to start ZAV service");
  }
  return RETVAL_PROBLEMS_DETECTED;
}

void ReportDetectionData(RunContext& run, const std::wstring& installFolder) {
  if (IdeExists(run, installFolder, PROBLEM_IDE_NAME)) LogMsg(run, L"Problem IDE is present.");
  const bool goodIde = IdeExists(run, installFolder, GOOD_IDE_NAME);
  LogMsg(run,
         goodIde ? L"IDE that fixes issue is present." : L"IDE that fixes issue is NOT present.");
  if (IdeExists(run, installFolder, NEWER_IDE_NAME)) {
    LogMsg(run, L"Update received newer IDEs.");
    if (goodIde) LogMsg(run, L"There should be no issue.");
  } else {
    LogMsg(run, L"Update did not receive newer IDEs.");
  }
}

int RunMainSequence(RunContext& run, const std::vector<std::wstring>& arguments) {
  LogMsg(run, std::wstring(L"Version ") + SCRIPT_VERSION);
  GetRunTimeStamp(run);
  // Before the options are read, so verbose output is still off here.
  run.g_determinedUpdateSource = DetermineCIDUpdateLocation(run);

  if (!ParseArgumentList(run, arguments)) return EndWithUsageHint(run);
  if (run.g_help) {
    DisplayHelp(run);
    return RETVAL_NO_PROBLEMS_FOUND;
  }
  if (!ValidateArguments(run)) return EndWithUsageHint(run);

  std::wstring zauVersion;
  if (!ReadZauVersion(run, zauVersion)) {
    LogMsg(run, L"Failed to read ZAU version from the registry");
  }
  std::wstring installFolder;
  if (!ReadZavInstallPath(run, installFolder)) {
    LogMsg(run, L"Failed to read ZAV install path from the registry");
    return RETVAL_PROBLEMS_DETECTED;
  }
  ReportDetectionData(run, installFolder);

  const bool controlsService = run.g_halvern || run.g_clearQuarantine;
  if (controlsService) {
    LogMsg(run, L"Stopping ZAV service");
    run.serviceMayBeStopped = true;
    const ServiceChange stop = ChangeServiceState(run, ZAVServiceName, /*stop=*/true);
    if (stop != ServiceChange::kReached && stop != ServiceChange::kNothingToDo) {
      LogMsg(run, L"Failed to stop ZAV service");
      return EndEarly(run);
    }
  }

  // From here to the service start every change to the product's files happens while the
  // service is down.
  run.warnings = false;
  if (run.g_clearQuarantine) {
    LogMsg(run, L"Deleting Quarantine.xml file");
    if (!DeleteQuarantineFile(run)) run.warnings = true;
  }

  const std::wstring goodIdePath = installFolder + L"\\" + GOOD_IDE_NAME;
  if (!CheckIfUpdatedIdeExists(run, goodIdePath) && run.g_halvern) {
    LogMsg(run, L"Write IDE that fixes the issue");
    if (!WriteGoodIde(run, goodIdePath)) run.warnings = true;
  }

  if (run.g_halvern && !IsCIDAccessible(run, run.g_cid)) {
    LogMsg(run, L"Configured CID '" + run.g_cid.value_or(L"") + L"' is not accessible");
    if (!run.g_zorvanCid.empty()) {
      LogMsg(run, L"Using default Zorvan CID '" + run.g_zorvanCid + L"'");
      run.g_cid = run.g_zorvanCid;
    }
  }

  // Main sequence steps 15 to 20 go here: the missing-files checks, the scanner log analysis
  // with the restore of moved files, the fetches from the update location, the restores and
  // the auto-update repair. Until then nothing lowers canUpdateNow.
  const bool canUpdateNow = true;

  if (controlsService) {
    LogMsg(run, L"Starting ZAV service");
    const bool started = StartServiceByName(run, ZAVServiceName);
    run.serviceMayBeStopped = false;
    if (!started) {
      LogMsg(run, L"Failed to start ZAV service");
      return RETVAL_PROBLEMS_DETECTED;
    }
  }

  if (run.g_updateNow) {
    if (canUpdateNow) {
      LogMsg(run, L"Triggering update of product");
      if (!UpdateNow(run)) run.warnings = true;
    } else {
      LogMsg(run, L"Update was not triggered due to an earlier failure");
    }
  }

  // Main sequence step 23 goes here: the tray monitor start after a repair without warnings.

  if (!run.g_logPath.empty() && !CopyLogFilesToOutputFolder(run)) {
    LogMsg(run, L"Failed to copy log files to specified output folder");
  }

  return run.warnings ? RETVAL_PROBLEMS_DETECTED : RETVAL_NO_PROBLEMS_FOUND;
}

}  // namespace

int Main(Platform& platform, const std::vector<std::wstring>& arguments) {
  RunContext run(platform);
  try {
    return RunMainSequence(run, arguments);
  } catch (const std::exception& error) {
    try {
      DisplayError(run, SysError{kEscapedErrorNumber, WidenAnsi(error.what())});
    } catch (...) {
    }
  } catch (...) {
  }
  // An error escaped a platform call: never a success, and never a stopped service.
  try {
    return EndEarly(run);
  } catch (...) {
    return RETVAL_PROBLEMS_DETECTED;
  }
}

}  // namespace repair
