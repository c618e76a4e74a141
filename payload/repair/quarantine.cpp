// Deleting the quarantine list.
#include "quarantine.h"

#include "output.h"
#include "system_access.h"

namespace repair {

std::wstring GetQuarantineXmlPath(RunContext& run) {
  const std::wstring commonData = ShellSpecialFolder(run, CSIDL_COMMON_APPDATA_ID);
  if (commonData.empty()) return L"";
  const std::wstring folder = commonData + L"\\Zorvan\\Zorvan Anti-Virus\\Config";
  return FolderExists(run, folder) ? folder : L"";
}

bool DeleteQuarantineFile(RunContext& run) {
  const std::wstring folder = GetQuarantineXmlPath(run);
  if (folder.empty()) {
    LogMsg(run, L"Failed to find Quarantine.xml path");
    return false;
  }
  const std::wstring path = folder + L"\\Quarantine.xml";
  if (!FileExists(run, path)) {
    LogMsg(run, L"Quarantine file " + path + L" does not exist");
    return true;
  }
  if (!DeleteNamedFile(run, path)) {
    LogMsg(run, L"Failed to delete quarantine file " + path);
    return false;
  }
  LogMsg(run, L"Deleted quarantine file " + path);
  return true;
}

bool DeleteNamedFile(RunContext& run, const std::wstring& path) {
  DbgMsg(run, L"Trying to delete " + path);
  const Status deleted = run.platform.files.DeleteFile(path, /*force=*/true);
  if (!deleted) DisplayError(run, deleted.error);
  if (FileExists(run, path)) return false;
  DbgMsg(run, L"Delete successful");
  return true;
}

}  // namespace repair
