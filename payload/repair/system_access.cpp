// Registry values of the suite, environment, file tests and special folders.
#include "system_access.h"

#include "output.h"

namespace repair {
namespace {

bool ReadProductValue(RunContext& run, const std::wstring& key, const std::wstring& valueName,
                      std::wstring& value, const std::wstring& verbosePrefix,
                      const std::wstring& verboseSuffix) {
  const bool ok = RegReadStringValue(run, L"SOFTWARE", key, valueName, value, 32);
  DbgMsg(run, verbosePrefix + value + verboseSuffix);
  return ok;
}

wchar_t LowerChar(wchar_t ch) {
  const auto c = static_cast<unsigned long>(ch);
  if (c >= L'A' && c <= L'Z') return static_cast<wchar_t>(c + 32);
  if (c < 0xC0) return ch;
  if (c <= 0xDE) return c == 0xD7 ? ch : static_cast<wchar_t>(c + 32);
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x178) return static_cast<wchar_t>(0xFF);
    if (c == 0x130) return L'i';
    const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    const bool evenUpper = (c <= 0x137 && c != 0x130) || (c >= 0x14A && c <= 0x177);
    if ((oddUpper && c % 2 == 1) || (evenUpper && c % 2 == 0)) return static_cast<wchar_t>(c + 1);
    return ch;
  }
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return static_cast<wchar_t>(c + 32);
  if (c >= 0x410 && c <= 0x42F) return static_cast<wchar_t>(c + 32);
  if (c >= 0x400 && c <= 0x40F) return static_cast<wchar_t>(c + 80);
  return ch;
}

}  // namespace

bool RegReadStringValue(RunContext& run, const std::wstring& preWowKeyName,
                        const std::wstring& postWowKeyName, const std::wstring& valueName,
                        std::wstring& value, int architecture) {
  const Result<std::wstring> read =
      run.platform.registry.ReadString(preWowKeyName + L"\\" + postWowKeyName, valueName,
                                       architecture == 64 ? RegistryView::k64 : RegistryView::k32);
  if (!read) {
    value.clear();
    DisplayError(run, read.error);
    return false;
  }
  value = read.value;
  return true;
}

bool ReadZauVersion(RunContext& run, std::wstring& value) {
  return ReadProductValue(run, L"Zorvan\\AutoUpdate", L"ProductVersion", value, L"ZAU version is ",
                          L"");
}

bool ReadZavInstallPath(RunContext& run, std::wstring& value) {
  return ReadProductValue(run, L"Zorvan\\ZAVService\\Application", L"Path", value,
                          L"ZAV is installed in '", L"'");
}

bool ReadZavLogDir(RunContext& run, std::wstring& value) {
  return ReadProductValue(run, L"Zorvan\\ZAVService\\Application", L"LogDir", value,
                          L"ZAV logs are in '", L"'");
}

bool ReadZauDataPath(RunContext& run, std::wstring& value) {
  return ReadProductValue(run, L"Zorvan\\AutoUpdate", L"Data Path", value, L"ZAU data path is '",
                          L"'");
}

bool ReadZauInstallationPath(RunContext& run, std::wstring& value) {
  return ReadProductValue(run, L"Zorvan\\AutoUpdate", L"Installation Path", value,
                          L"ZAU installation path is '", L"'");
}

bool Is64BitOs(RunContext& run) {
  return StrEqualCaseInsensitive(ExpandEnv(run, L"%PROCESSOR_ARCHITECTURE%"), L"AMD64");
}

std::wstring ExpandEnv(RunContext& run, const std::wstring& text) {
  return run.platform.system.ExpandEnvironment(text);
}

bool FolderExists(RunContext& run, const std::wstring& path) {
  return run.platform.files.FolderExists(path);
}

bool FileExists(RunContext& run, const std::wstring& path) {
  return run.platform.files.FileExists(path);
}

std::wstring ShellSpecialFolder(RunContext& run, int identifier) {
  const Result<std::wstring> folder = run.platform.system.SpecialFolder(identifier);
  if (!folder) {
    DisplayError(run, folder.error);
    return L"";
  }
  return folder.value;
}

std::wstring LowerCase(const std::wstring& text) {
  std::wstring out = text;
  for (wchar_t& ch : out) ch = LowerChar(ch);
  return out;
}

bool StrEqualCaseInsensitive(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() && LowerCase(a) == LowerCase(b);
}

}  // namespace repair
