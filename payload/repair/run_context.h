// The state of one run of the repair program: the options, the settled update locations, the
// side files and the warning flag, with the platform that the run works on.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/repair_platform.h"

namespace repair {

struct RunContext {
  explicit RunContext(Platform& p) : platform(p) {}

  Platform& platform;

  // Options (command line).
  bool g_help = false;
  bool g_verbose = false;
  bool g_halvern = false;
  bool g_restoreMovedFiles = false;
  bool g_updateNow = false;
  bool g_clearQuarantine = false;
  bool g_checkAffectedProducts = false;
  bool g_usezorvanCid = false;
  std::optional<std::wstring> g_cid;  // the update location in use; absent or a text
  std::wstring g_zorvanCid;           // the fallback update location; "" means none
  std::optional<std::wstring> g_username;
  std::optional<std::wstring> g_password;  // never printed
  std::wstring g_logPath;

  // Settled during the run.
  std::wstring g_determinedUpdateSource;  // the configured update location, or ""
  std::wstring g_runTimeStamp;
  std::vector<std::wstring> g_logFilesPathArray;  // side files, as passed to CreateLogFile

  // A repair step failed while the run went on; decides the result.
  bool warnings = false;

  // The anti-virus service may be stopped by this run: set when the stop is requested, cleared
  // once the run has started it again. Every early end while it is set starts the service.
  bool serviceMayBeStopped = false;
};

}  // namespace repair
