// Detection-data file tests and the fixing file.
#include "detection_data.h"

#include "output.h"
#include "suite_names.h"
#include "system_access.h"

namespace repair {

bool IdeExists(RunContext& run, const std::wstring& installFolder, const std::wstring& fileName) {
  return FileExists(run, installFolder + L"\\" + fileName);
}

bool CheckIfUpdatedIdeExists(RunContext& run, const std::wstring& path) {
  if (!FileExists(run, path)) return false;
  DbgMsg(run, L"tulov-ek.ide is present.");
  return true;
}

bool WriteGoodIde(RunContext& run, const std::wstring& path) {
  const Status saved =
      SaveArray(run, path, std::string(reinterpret_cast<const char*>(kGoodIde), kGoodIde_size));
  if (!saved) {
    LogMsg(run, L"Failed to write the IDE that fixes the issue to " + path);
    DisplayError(run, saved.error);
    return false;
  }
  return true;
}

Status SaveArray(RunContext& run, const std::wstring& path, const std::string& bytes) {
  return run.platform.files.WriteBytes(path, bytes);
}

}  // namespace repair
