// A fake endpoint with the suite installed as the repair program expects it, and a fixture
// that runs the repair logic on it.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_endpoint.h"
#include "run_context.h"

namespace repair::testing {

inline const std::wstring kComputer = L"PC01";
inline const std::wstring kWorkFolder = L"C:\\Users\\admin\\AppData\\Local\\Temp\\zorvan_temp";
inline const std::wstring kInstallFolder = L"C:\\Program Files (x86)\\Zorvan\\Zorvan Anti-Virus";
inline const std::wstring kQuarantineFolder =
    L"C:\\ProgramData\\Zorvan\\Zorvan Anti-Virus\\Config";
inline const std::wstring kQuarantineFile = kQuarantineFolder + L"\\Quarantine.xml";
inline const std::wstring kZauDataPath = L"C:\\ProgramData\\Zorvan\\AutoUpdate";
inline const std::wstring kConfigFolder = kZauDataPath + L"\\config";
inline const std::wstring kConfiguredCid = L"\\\\server\\ZorvanUpdate\\CIDs\\S000\\ZAVZCFXP";
inline const std::wstring kZavVersion = L"10.0.8";
inline const std::wstring kZavProductCode = L"{6B2A4C41-7C1A-4F0E-9E6B-0A1C2D3E4F50}";

inline const std::wstring kZauKey = L"SOFTWARE\\Zorvan\\AutoUpdate";
inline const std::wstring kZavKey = L"SOFTWARE\\Zorvan\\ZAVService\\Application";

// The fallback update location for the installed anti-virus version.
std::wstring FallbackCid();

// The 23 lines of the help text, as the program is to print them.
const std::vector<std::wstring>& HelpLines();

// Single-byte configuration text with CR LF line ends.
std::string ConfigText(const std::vector<std::string>& lines);

// The suite as it is on an endpoint that the false positive hit: registry values in the 32-bit
// view, the running service (it stops and starts 3 s after a request), the installed products,
// the anti-virus folder with the problem detection data and without the fixing file, the
// quarantine list, a connection configuration naming kConfiguredCid (a reachable folder), the
// fallback location answering 200, and the environment.
void InstallSuite(fake::FakeEndpoint& endpoint);

class RepairTest : public ::testing::Test {
 protected:
  RepairTest() { InstallSuite(endpoint); }

  // Runs the whole program and returns its result.
  int RunMain(const std::vector<std::wstring>& arguments);
  const std::vector<std::wstring>& Lines() const { return endpoint.system.Lines(); }
  // The lines written since the last call.
  std::vector<std::wstring> NewLines();

  fake::FakeEndpoint endpoint;
  RunContext run{endpoint.platform()};

 private:
  std::size_t seen_ = 0;
};

}  // namespace repair::testing
