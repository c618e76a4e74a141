// An in-memory Windows endpoint behind the repair program's seam: registry with both views,
// services whose state changes over virtual time, installed products, case-insensitive files
// and folders, HTTP answers per address, scripted processes, environment, special folders, a
// virtual clock and captured console lines. Any call can be made to fail with a chosen error.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/repair_platform.h"

namespace repair::fake {

// ---------------------------------------------------------------------------------------------
// Fault injection, one model for every call: the Nth call (counted from 1) of an operation
// fails once, or fails together with every later call. Operation names are "Role.Operation",
// e.g. "Files.DeleteFile", "Services.QueryState", "System.SpecialFolder".
//
// What a failing call does: a Result or Status carries the error; a bool test (FileExists,
// FolderExists) answers false; RequestStop/RequestStart return the error's number;
// ExpandEnvironment returns the text unexpanded; Sleep does not advance the clock; WriteLine
// drops the line; Close/CloseProcess leave the handle open; ProcessorAddressWidth answers 32;
// Now answers the start time. A thrown fault throws FaultThrown from the call instead.
struct FaultThrown : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class FaultPlan {
 public:
  // Throws std::invalid_argument for an operation name the endpoint does not have.
  void FailCall(const std::string& operation, int nth, SysError error, bool fromThenOn = false);
  void FailAlways(const std::string& operation, SysError error) {
    FailCall(operation, 1, std::move(error), true);
  }
  void ThrowAtCall(const std::string& operation, int nth);
  // The Nth call of any operation, counted over all of them, throws FaultThrown.
  void ThrowAtOverallCall(int nth) { throwAtOverall_ = nth; }
  // Whether a thrown fault has been thrown.
  bool HasThrown() const { return thrown_; }

  // Counts a call of the operation; the error it is to fail with, if any (throws FaultThrown
  // for a thrown fault).
  std::optional<SysError> Enter(const std::string& operation);
  // How often the operation has been called.
  int Calls(const std::string& operation) const;

 private:
  struct Rule {
    int nth;
    bool fromThenOn;
    bool thrown;
    SysError error;
  };
  static void CheckName(const std::string& operation);
  std::map<std::string, std::vector<Rule>> rules_;
  std::map<std::string, int> calls_;
  int overall_ = 0;
  std::optional<int> throwAtOverall_;
  bool thrown_ = false;
};

// Virtual time in milliseconds since the endpoint was made.
struct VirtualClock {
  std::uint64_t nowMs = 0;
};

// ---------------------------------------------------------------------------------------------
class FakeRegistry : public Registry {
 public:
  explicit FakeRegistry(FaultPlan& faults) : faults_(faults) {}
  // Creates the key (and its parents) in the view and sets a string value in it.
  void SetString(RegistryView view, const std::wstring& key, const std::wstring& name,
                 const std::wstring& value);
  // A value of another type (skipped by string enumeration, not readable as a string).
  void SetNonString(RegistryView view, const std::wstring& key, const std::wstring& name);
  void CreateKey(RegistryView view, const std::wstring& key);
  void DeleteValue(RegistryView view, const std::wstring& key, const std::wstring& name);
  // Every ReadString call: key, value name and view.
  struct Read {
    std::wstring key, valueName;
    RegistryView view;
  };
  const std::vector<Read>& Reads() const { return reads_; }

  Result<std::wstring> ReadString(const std::wstring& key, const std::wstring& valueName,
                                  RegistryView view) override;
  Result<std::vector<std::wstring>> EnumSubkeys(const std::wstring& key,
                                                RegistryView view) override;
  Result<std::vector<std::pair<std::wstring, std::wstring>>> EnumStringValues(
      const std::wstring& key, RegistryView view) override;

 private:
  struct Value {
    std::wstring name;
    bool isString;
    std::wstring data;
  };
  struct Key {
    std::wstring name;  // the last level, as created
    std::vector<Value> values;
  };
  Key* Find(RegistryView view, const std::wstring& key);
  FaultPlan& faults_;
  std::map<std::wstring, Key> keys_[2];  // by view, then lower-cased full key name
  std::vector<Read> reads_;
};

// ---------------------------------------------------------------------------------------------
// What a service does when asked to stop or start.
struct ServiceScript {
  std::uint32_t requestError = 0;  // non-zero: the request is refused with this code
  // Virtual milliseconds from the accepted request until the new state is reached; absent:
  // never reached (the service stays in its pending state).
  std::optional<std::uint32_t> afterMs = 0;
};

class FakeServices : public Services {
 public:
  FakeServices(FaultPlan& faults, VirtualClock& clock) : faults_(faults), clock_(clock) {}
  // Adds or replaces a service (with no scripts: requests take effect at once).
  void AddService(const std::wstring& name, ServiceState state);
  void RemoveService(const std::wstring& name);
  void ScriptStop(const std::wstring& name, ServiceScript script);
  void ScriptStart(const std::wstring& name, ServiceScript script);
  // The state now (kNotFound for an unknown name).
  ServiceState State(const std::wstring& name);
  struct Request {
    bool stop;
    std::wstring name;
    std::uint64_t atMs;
  };
  const std::vector<Request>& Requests() const { return requests_; }

  Result<ServiceState> QueryState(const std::wstring& name) override;
  std::uint32_t RequestStop(const std::wstring& name) override;
  std::uint32_t RequestStart(const std::wstring& name) override;

 private:
  struct Service {
    ServiceState state;
    ServiceScript stop, start;
    std::optional<ServiceState> target;
    std::optional<std::uint64_t> dueMs;
  };
  Service* Find(const std::wstring& name);
  std::uint32_t Ask(const std::wstring& name, bool stop);
  FaultPlan& faults_;
  VirtualClock& clock_;
  std::map<std::wstring, Service> services_;  // by lower-cased name
  std::vector<Request> requests_;
};

// ---------------------------------------------------------------------------------------------
class FakeInstaller : public Installer {
 public:
  explicit FakeInstaller(FaultPlan& faults) : faults_(faults) {}
  // Products are listed in the order they were added.
  void AddProduct(const std::wstring& code, std::map<std::wstring, std::wstring> properties);

  Result<std::vector<std::wstring>> EnumProducts() override;
  Result<std::wstring> ProductInfo(const std::wstring& productCode,
                                   const std::wstring& property) override;

 private:
  FaultPlan& faults_;
  std::vector<std::pair<std::wstring, std::map<std::wstring, std::wstring>>> products_;
};

class FakeUpdateClient : public UpdateClient {
 public:
  explicit FakeUpdateClient(FaultPlan& faults) : faults_(faults) {}
  // What every UpdateNow call answers (success unless set).
  void SetAnswer(Status answer) { answer_ = std::move(answer); }
  const std::vector<std::pair<std::int32_t, std::int32_t>>& Calls() const { return calls_; }

  Status UpdateNow(std::int32_t first, std::int32_t second) override;

 private:
  FaultPlan& faults_;
  Status answer_;
  std::vector<std::pair<std::int32_t, std::int32_t>> calls_;
};

// ---------------------------------------------------------------------------------------------
// Files and folders. Paths are compared without letter case, with "\" or "/" as separator;
// relative paths are taken from the current folder. Creating a file or folder needs its parent
// folder (error 3 otherwise), as on Windows; the Add* helpers create the parents themselves.
class FakeFiles : public Files {
 public:
  explicit FakeFiles(FaultPlan& faults) : faults_(faults) {}
  void SetCurrentFolder(const std::wstring& path) { current_ = path; }
  void AddFolder(const std::wstring& path);
  void AddFile(const std::wstring& path, const std::string& bytes, bool readOnly = false);
  void Remove(const std::wstring& path);  // a file, or a folder with everything in it
  // The file's bytes, or nothing when no file is there.
  std::optional<std::string> Bytes(const std::wstring& path) const;
  bool IsReadOnly(const std::wstring& path) const;
  // Files opened by CreateForWriting and not yet closed.
  int OpenHandles() const { return static_cast<int>(open_.size()); }
  // How often a file was written (WriteBytes, CreateForWriting) at the path.
  int Writes(const std::wstring& path) const;

  bool FileExists(const std::wstring& path) override;
  bool FolderExists(const std::wstring& path) override;
  Result<std::vector<FolderEntry>> ListFolder(const std::wstring& path) override;
  Status CreateFolder(const std::wstring& path) override;
  Status CopyFile(const std::wstring& source, const std::wstring& target, bool overwrite) override;
  Status DeleteFile(const std::wstring& path, bool force) override;
  Result<std::string> ReadBytes(const std::wstring& path) override;
  Status WriteBytes(const std::wstring& path, const std::string& bytes) override;
  Result<std::uintptr_t> CreateForWriting(const std::wstring& path, bool overwrite) override;
  Status Append(std::uintptr_t file, const std::string& bytes) override;
  void Close(std::uintptr_t file) override;

 private:
  struct Node {
    std::wstring name;  // the last level, as created
    bool isFolder = false;
    bool readOnly = false;
    std::string bytes;
  };
  std::wstring Key(const std::wstring& path) const;  // full, normalised, lower-cased
  const Node* Find(const std::wstring& key) const;
  // Status of creating a file at the key: parent folder present, not a folder, writable.
  Status CanCreateFile(const std::wstring& key) const;
  void MakeParents(const std::wstring& key, const std::wstring& displayPath);
  FaultPlan& faults_;
  std::wstring current_ = L"C:\\";
  std::map<std::wstring, Node> nodes_;
  std::map<std::wstring, int> writes_;
  std::map<std::uintptr_t, std::wstring> open_;  // handle -> key
  std::uintptr_t nextHandle_ = 0x100;
};

// ---------------------------------------------------------------------------------------------
class FakeNetwork : public Network {
 public:
  explicit FakeNetwork(FaultPlan& faults) : faults_(faults) {}
  // The answer to a GET of exactly this address.
  void SetAnswer(const std::wstring& url, HttpAnswer answer);
  // Like SetAnswer, but only for these Basic credentials; others get 401 "Unauthorized".
  void SetAnswerWithCredentials(const std::wstring& url, const std::wstring& user,
                                const std::wstring& password, HttpAnswer answer);
  // A GET of this address fails with the error (no answer at all).
  void SetError(const std::wstring& url, SysError error);
  // Addresses with nothing set fail with 12029 "A connection with the server could not be
  // established".
  struct Request {
    std::wstring url, user, password;
  };
  const std::vector<Request>& Requests() const { return requests_; }

  Result<HttpAnswer> Get(const std::wstring& url, const std::wstring& user,
                         const std::wstring& password) override;

 private:
  struct Route {
    std::optional<SysError> error;
    std::optional<std::pair<std::wstring, std::wstring>> credentials;
    HttpAnswer answer;
  };
  FaultPlan& faults_;
  std::map<std::wstring, Route> routes_;
  std::vector<Request> requests_;
};

// ---------------------------------------------------------------------------------------------
class FakeProcesses : public Processes {
 public:
  explicit FakeProcesses(FaultPlan& faults) : faults_(faults) {}
  // A program that can be started at this full path: its exit code, after this many exit-code
  // polls that answer kStillActive.
  void AddProgram(const std::wstring& applicationPath, std::uint32_t exitCode,
                  int pollsUntilExit = 0);
  struct StartRecord {
    std::wstring applicationPath, commandLine;
  };
  const std::vector<StartRecord>& Starts() const { return starts_; }
  int OpenHandles() const { return static_cast<int>(running_.size()); }

  Result<std::uintptr_t> Start(const std::wstring& applicationPath,
                               const std::wstring& commandLine) override;
  Result<std::uint32_t> ExitCode(std::uintptr_t process) override;
  void CloseProcess(std::uintptr_t process) override;

 private:
  struct Program {
    std::uint32_t exitCode;
    int pollsUntilExit;
  };
  FaultPlan& faults_;
  std::map<std::wstring, Program> programs_;  // by lower-cased path
  std::map<std::uintptr_t, Program> running_;
  std::vector<StartRecord> starts_;
  std::uintptr_t nextHandle_ = 0x500;
};

// ---------------------------------------------------------------------------------------------
class FakeSystem : public System {
 public:
  FakeSystem(FaultPlan& faults, VirtualClock& clock) : faults_(faults), clock_(clock) {}
  void SetEnv(const std::wstring& name, const std::wstring& value);
  void SetSpecialFolder(int csidl, const std::wstring& path);
  void SetAddressWidth(int bits) { addressWidth_ = bits; }
  // The local time at virtual time 0; Now() adds the virtual time that has passed.
  void SetStartTime(LocalTime time) { start_ = time; }
  // Console lines written so far, and every sleep asked for.
  const std::vector<std::wstring>& Lines() const { return lines_; }
  const std::vector<std::uint32_t>& Sleeps() const { return sleeps_; }

  std::wstring ExpandEnvironment(const std::wstring& text) override;
  Result<std::wstring> SpecialFolder(int csidl) override;
  int ProcessorAddressWidth() override;
  LocalTime Now() override;
  void Sleep(std::uint32_t milliseconds) override;
  void WriteLine(const std::wstring& text) override;

 private:
  FaultPlan& faults_;
  VirtualClock& clock_;
  std::map<std::wstring, std::wstring> env_;  // by lower-cased name
  std::map<int, std::wstring> folders_;
  int addressWidth_ = 64;
  LocalTime start_{2012, 9, 9, 21, 5, 3};
  std::vector<std::wstring> lines_;
  std::vector<std::uint32_t> sleeps_;
};

// ---------------------------------------------------------------------------------------------
// The whole endpoint. Empty at first: no registry values, services, products, files or
// addresses; no environment variables.
class FakeEndpoint {
 public:
  FakeEndpoint();
  FakeEndpoint(const FakeEndpoint&) = delete;
  FakeEndpoint& operator=(const FakeEndpoint&) = delete;

  Platform& platform() { return platform_; }

  FaultPlan faults;
  VirtualClock clock;
  FakeRegistry registry;
  FakeServices services;
  FakeInstaller installer;
  FakeUpdateClient updateClient;
  FakeFiles files;
  FakeNetwork network;
  FakeProcesses processes;
  FakeSystem system;

 private:
  Platform platform_;
};

// Lower-case form used for the fake's caseless names (Latin, Greek, Cyrillic).
std::wstring FoldCase(const std::wstring& text);

}  // namespace repair::fake
