// Discovery of the configured and fallback update locations and their reachability.
#include "update_source.h"

#include "output.h"
#include "suite_names.h"
#include "system_access.h"
#include "text_encoding.h"

#ifndef ZF_FALLBACK_CID_HOST
#define ZF_FALLBACK_CID_HOST "download.zorvan.com"
#endif

namespace repair {
namespace {

constexpr wchar_t kPrimarySection[] = L"PPI.WebConfig_Primary";

bool Contains(const std::wstring& text, const std::wstring& part) {
  return text.find(part) != std::wstring::npos;
}

// The "ConnectionAddress" and "AllowLocalConfig" lookups share this: the primary section of a
// configuration file, as lines.
std::vector<std::wstring> PrimarySectionOf(RunContext& run, const std::wstring& path) {
  return SplitLines(ExtractConfigSection(SplitLines(FileContent(run, path)), kPrimarySection));
}

}  // namespace

const std::wstring& FallbackCidHost() {
  static const std::wstring host = WidenAnsi(ZF_FALLBACK_CID_HOST);
  return host;
}

std::wstring DetermineCIDUpdateLocation(RunContext& run) {
  const std::wstring folder = GetAutoUpdateConfigPath(run);
  if (folder.empty()) return L"";
  return ParseZAUConfigFilesForUpdateLocation(run, folder);
}

std::wstring GetAutoUpdateConfigPath(RunContext& run) {
  std::wstring dataPath;
  if (!ReadZauDataPath(run, dataPath)) {
    LogMsg(run, L"Failed to read the ZAU config path from the registry");
    dataPath.clear();
  }
  if (!dataPath.empty()) return dataPath + L"\\config";
  LogMsg(run, L"ZAU config path was empty");
  return L"";
}

std::wstring ParseZAUConfigFilesForUpdateLocation(RunContext& run, const std::wstring& folder) {
  const std::wstring mainFile = folder + L"\\telbo.cfg";
  if (!FileExists(run, mainFile)) return L"";
  const std::vector<std::wstring> section = PrimarySectionOf(run, mainFile);
  const std::wstring address = SearchForConfigValue(section, L"ConnectionAddress");

  const std::wstring allowLocal = SearchForConfigValue(section, L"AllowLocalConfig");
  if (allowLocal.empty()) {
    LogMsg(run, L"Missing value AllowLocalConfig in telbo.cfg");
    return address;
  }
  if (allowLocal != L"1") return address;

  const std::wstring localFile = folder + L"\\telbolocal.cfg";
  if (!FileExists(run, localFile)) return address;
  const std::wstring localAddress =
      SearchForConfigValue(PrimarySectionOf(run, localFile), L"ConnectionAddress");
  return localAddress.empty() ? address : localAddress;
}

std::wstring FileContent(RunContext& run, const std::wstring& path) {
  const Result<std::string> bytes = run.platform.files.ReadBytes(path);
  if (!bytes) {
    DisplayError(run, bytes.error);
    return L"";
  }
  return WidenAnsi(bytes.value);
}

std::vector<std::wstring> SplitLines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(L"\r\n", start);
    if (end == std::wstring::npos) {
      lines.push_back(text.substr(start));
      return lines;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
}

std::wstring ExtractConfigSection(const std::vector<std::wstring>& lines,
                                  const std::wstring& section) {
  const std::wstring header = L"[" + section + L"]";
  std::wstring collected;
  bool inside = false;
  for (const std::wstring& line : lines) {
    if (inside) {
      if (Contains(line, L"[")) return collected;
      if (!line.empty()) collected += line + L"\r\n";
    }
    if (Contains(line, header)) inside = true;
  }
  return collected;
}

std::wstring SearchForConfigValue(const std::vector<std::wstring>& lines, const std::wstring& key) {
  for (const std::wstring& line : lines) {
    if (!Contains(line, key)) continue;
    const std::size_t equals = line.find(L'=');
    if (equals == std::wstring::npos) continue;
    const std::size_t start = line.find_first_not_of(L' ', equals + 1);
    return start == std::wstring::npos ? L"" : line.substr(start);
  }
  return L"";
}

bool IsWebCid(const std::wstring& text) { return LowerCase(text.substr(0, 4)) == L"http"; }

bool IsProductInstalled(RunContext& run, const std::wstring& name, std::wstring& productCode) {
  Installer& installer = run.platform.installer;
  const Result<std::vector<std::wstring>> products = installer.EnumProducts();
  if (!products) {
    DisplayError(run, products.error);
    return false;
  }
  for (const std::wstring& code : products.value) {
    const Result<std::wstring> productName = installer.ProductInfo(code, L"InstalledProductName");
    if (productName && productName.value == name) {
      productCode = code;
      return true;
    }
  }
  return false;
}

std::wstring GetProductVersionInstalled(RunContext& run, const std::wstring& name) {
  std::wstring code;
  if (!IsProductInstalled(run, name, code)) {
    LogMsg(run, L"Failed to obtain product code");
    return L"";
  }
  const Result<std::wstring> version = run.platform.installer.ProductInfo(code, L"VersionString");
  return version ? version.value : L"";
}

bool IsProductVersionInstalled(RunContext& run, const std::wstring& name,
                               const std::wstring& versionPrefix) {
  const std::wstring version = GetProductVersionInstalled(run, name);
  return !version.empty() && version.compare(0, versionPrefix.size(), versionPrefix) == 0;
}

std::wstring DetermineZorvanCid(RunContext& run) {
  const std::wstring version = GetProductVersionInstalled(run, ZAVProductName);
  if (version.empty()) {
    LogMsg(run, L"Failed to get ZAV version.");
    return L"";
  }
  const std::wstring location =
      L"http://" + FallbackCidHost() + L"/tools/FPF_CID/" + version + L"/ZAVZCFXP";
  return IsCIDAccessible(run, location) ? location : L"";
}

bool IsCIDAccessible(RunContext& run, const std::optional<std::wstring>& cid) {
  if (!cid || cid->empty()) return false;
  return IsWebCid(*cid) ? CheckWebCIDAccess(run, *cid) : CheckCIDAccess(run, *cid);
}

bool CheckCIDAccess(RunContext& run, const std::wstring& path) {
  if (FolderExists(run, path)) return true;
  LogMsg(run, L"The CID location " + path + L" does not exist or is not accessible");
  return false;
}

bool CheckWebCIDAccess(RunContext& run, const std::wstring& location) {
  const Result<HttpAnswer> answer =
      run.platform.network.Get(location + L"/zavxp/" + GOOD_IDE_NAME, L"", L"");
  if (!answer) {
    LogMsg(run, L"Could not access " + location + L", error 0x" +
                    ErrorNumberHex(answer.error.number) + L" : " + answer.error.description);
    return false;
  }
  if (answer.value.status < 400) return true;
  LogMsg(run, L"Could not access " + location + L", error " + std::to_wstring(answer.value.status) +
                  L" : " + answer.value.statusText);
  return false;
}

}  // namespace repair
