// Checks of the Win32 backend beyond the shared contract, run under Wine: console output to a
// pipe, HTTP against the loopback server that tests/e2e/test_repair_contract.py starts (its
// address in ZF_CONTRACT_HTTP), process starts by full path, and the update client's absence.
#include "platform/repair_platform_win32.h"
#include "seam_contract.h"

// After the seam: <windows.h> would rename its CopyFile and DeleteFile operations.
#include <windows.h>
#include <objbase.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace repair::contract {
namespace {

TEST(Win32Backend, LinesToAPipeAreUtf8EndedByCrLf) {
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, nullptr, 1 << 16));
  HANDLE saved = ::GetStdHandle(STD_OUTPUT_HANDLE);
  ::SetStdHandle(STD_OUTPUT_HANDLE, writeEnd);
  {
    Win32System system;  // chooses its output form at its first line
    system.WriteLine(L"Deleted quarantine file C:\\Zorvan \u00dc\\\u4e2d.xml");
    system.WriteLine(L"");
  }
  ::SetStdHandle(STD_OUTPUT_HANDLE, saved);
  ::CloseHandle(writeEnd);
  std::string bytes;
  char buffer[256];
  DWORD read = 0;
  while (::ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read > 0)
    bytes.append(buffer, read);
  ::CloseHandle(readEnd);
  EXPECT_EQ("Deleted quarantine file C:\\Zorvan \xc3\x9c\\\xe4\xb8\xad.xml\r\n\r\n", bytes);
}

struct HttpCase {
  const char* name;
  const wchar_t* path;  // below the server's address
  const wchar_t* user;
  const wchar_t* password;
  std::uint32_t status;
  const wchar_t* statusText;
  const char* body;
};

void PrintTo(const HttpCase& c, std::ostream* out) { *out << c.name; }

class Win32Http : public ::testing::TestWithParam<HttpCase> {};

TEST_P(Win32Http, GetsStatusTextAndBodyAnsweringBasicAuthenticationOnce) {
  const char* server = std::getenv("ZF_CONTRACT_HTTP");
  if (!server) GTEST_SKIP() << "no test server (ZF_CONTRACT_HTTP)";
  const HttpCase& c = GetParam();
  Win32Network network;
  const std::wstring url = std::wstring(server, server + std::strlen(server)) + c.path;
  Result<HttpAnswer> answer = network.Get(url, c.user, c.password);
  ASSERT_TRUE(answer) << Describe(answer.error);
  EXPECT_EQ(c.status, answer.value.status);
  EXPECT_TRUE(answer.value.statusText == c.statusText);
  EXPECT_EQ(c.body, answer.value.body);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, Win32Http,
    ::testing::Values(
        HttpCase{"Found", L"/zavxp/tulov-ek.ide", L"", L"", 200, L"OK", "ZORV-probe"},
        HttpCase{"NotFound", L"/missing", L"", L"", 404, L"Not Found", ""},
        HttpCase{"NoCredentials", L"/private/x", L"", L"", 401, L"Unauthorized", "denied"},
        HttpCase{"Credentials", L"/private/x", L"admin", L"s\u00e9cret", 200, L"OK", "granted"},
        HttpCase{"WrongCredentials", L"/private/x", L"admin", L"wrong", 401, L"Unauthorized",
                 "denied"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Win32Backend, AnUnreachableServerIsAWinHttpError) {
  Win32Network network;
  // Port 1 on loopback: nothing listens there, the connection is refused at once.
  Result<HttpAnswer> answer = network.Get(L"http://127.0.0.1:1/zavxp/tulov-ek.ide", L"", L"");
  EXPECT_FALSE(answer);
  EXPECT_EQ(12029, answer.error.number);  // ERROR_WINHTTP_CANNOT_CONNECT
  Result<HttpAnswer> notWeb = network.Get(L"ftp://127.0.0.1/x", L"", L"");
  EXPECT_FALSE(notWeb);
  EXPECT_EQ(12006, notWeb.error.number);  // ERROR_WINHTTP_UNRECOGNIZED_SCHEME
}

TEST(Win32Backend, ProgramsStartByFullPathOnlyAndKeepTheirExitCode) {
  Win32Processes processes;
  wchar_t system[MAX_PATH] = {};
  ::GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring cmd = std::wstring(system) + L"\\cmd.exe";
  Result<std::uintptr_t> started = processes.Start(cmd, L"cmd.exe /c exit 1603");
  ASSERT_TRUE(started) << Describe(started.error);
  std::uint32_t code = kStillActive;
  for (int poll = 0; poll < 600 && code == kStillActive; ++poll) {
    Result<std::uint32_t> exit = processes.ExitCode(started.value);
    ASSERT_TRUE(exit) << Describe(exit.error);
    code = exit.value;
    if (code == kStillActive) ::Sleep(50);
  }
  processes.CloseProcess(started.value);
  EXPECT_EQ(1603u, code);

  // A bare name is not looked for along the search path.
  Result<std::uintptr_t> bare = processes.Start(L"cmd.exe", L"cmd.exe /c exit 0");
  EXPECT_FALSE(bare);
  EXPECT_EQ(2, bare.error.number);
}

TEST(Win32Backend, AnUnregisteredUpdateClientGivesTheClassStringError) {
  CLSID clsid{};
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const bool registered = SUCCEEDED(::CLSIDFromProgID(L"Ambrixon.ClientUpdate", &clsid));
  ::CoUninitialize();
  if (registered) GTEST_SKIP() << "the update client is registered in this prefix";
  Win32UpdateClient client;
  Status status = client.UpdateNow(0, 1);
  EXPECT_FALSE(status);
  EXPECT_EQ(static_cast<std::int32_t>(0x800401F3u), status.error.number);  // CO_E_CLASSSTRING
}

}  // namespace
}  // namespace repair::contract
