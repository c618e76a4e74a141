// Where missing product files come from: the update location configured in the auto-update
// product, the fallback location on the maker's download server, installed-product queries,
// and whether a location (folder or web address) can be reached.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "run_context.h"

namespace repair {

// The host of the maker's download server in the fallback update location (a build option).
const std::wstring& FallbackCidHost();

// The configured update location, or "" (the configuration folder or files are missing).
std::wstring DetermineCIDUpdateLocation(RunContext& run);

// "Data Path" + "\config", or "" after "ZAU config path was empty" (and, when the value could
// not be read, "Failed to read the ZAU config path from the registry" before it).
std::wstring GetAutoUpdateConfigPath(RunContext& run);

// The update location from "telbo.cfg" and, when it allows it, "telbolocal.cfg" in the folder;
// "" when there is none.
std::wstring ParseZAUConfigFilesForUpdateLocation(RunContext& run, const std::wstring& folder);

// The whole file as single-byte text, widened; "" (after the error's lines) when unreadable.
std::wstring FileContent(RunContext& run, const std::wstring& path);

// The text cut at every CR LF (a lone LF does not end a line).
std::vector<std::wstring> SplitLines(const std::wstring& text);

// The non-empty lines after the first line containing "[" + section + "]", up to the next line
// containing "[", each followed by CR LF; "" when the header is absent.
std::wstring ExtractConfigSection(const std::vector<std::wstring>& lines,
                                  const std::wstring& section);

// The value of the first line that contains the key and "=": everything after the first "=",
// leading spaces removed; "" when no line supplies it.
std::wstring SearchForConfigValue(const std::vector<std::wstring>& lines, const std::wstring& key);

// True when the first four characters, lower-cased, are "http".
bool IsWebCid(const std::wstring& text);

// Installer queries by exact product name. IsProductInstalled gives the first matching product
// code; GetProductVersionInstalled prints "Failed to obtain product code" for a product that
// is not installed and gives ""; IsProductVersionInstalled is true when the version begins with
// the prefix.
bool IsProductInstalled(RunContext& run, const std::wstring& name, std::wstring& productCode);
std::wstring GetProductVersionInstalled(RunContext& run, const std::wstring& name);
bool IsProductVersionInstalled(RunContext& run, const std::wstring& name,
                               const std::wstring& versionPrefix);

// The fallback update location "http://" + host + "/tools/FPF_CID/" + installed anti-virus
// version + "/ZAVZCFXP" when it is reachable, else "".
std::wstring DetermineZorvanCid(RunContext& run);

// False for an absent or empty location; a web location is probed, a folder tested.
bool IsCIDAccessible(RunContext& run, const std::optional<std::wstring>& cid);

// True when the folder exists; else prints why and gives false.
bool CheckCIDAccess(RunContext& run, const std::wstring& path);

// GET location + "/zavxp/tulov-ek.ide" without credentials: true below status 400; else prints
// the "Could not access " line and gives false.
bool CheckWebCIDAccess(RunContext& run, const std::wstring& location);

}  // namespace repair
