// The in-memory endpoint: fault plan, registry, services, installer, update client, network,
// processes and system. Files and folders are in fake_files.cpp.
#include "fake_endpoint.h"

#include <algorithm>

namespace repair::fake {
namespace {

const std::set<std::string>& OperationNames() {
  static const std::set<std::string> names = {
      "Registry.ReadString",
      "Registry.EnumSubkeys",
      "Registry.EnumStringValues",
      "Services.QueryState",
      "Services.RequestStop",
      "Services.RequestStart",
      "Installer.EnumProducts",
      "Installer.ProductInfo",
      "UpdateClient.UpdateNow",
      "Files.FileExists",
      "Files.FolderExists",
      "Files.ListFolder",
      "Files.CreateFolder",
      "Files.CopyFile",
      "Files.DeleteFile",
      "Files.ReadBytes",
      "Files.WriteBytes",
      "Files.CreateForWriting",
      "Files.Append",
      "Files.Close",
      "Network.Get",
      "Processes.Start",
      "Processes.ExitCode",
      "Processes.CloseProcess",
      "System.ExpandEnvironment",
      "System.SpecialFolder",
      "System.ProcessorAddressWidth",
      "System.Now",
      "System.Sleep",
      "System.WriteLine",
  };
  return names;
}

int ViewIndex(RegistryView view) { return view == RegistryView::k32 ? 0 : 1; }

std::wstring LastLevel(const std::wstring& key) {
  const std::size_t cut = key.rfind(L'\\');
  return cut == std::wstring::npos ? key : key.substr(cut + 1);
}

wchar_t FoldChar(wchar_t ch) {
  const auto c = static_cast<unsigned long>(ch);
  if (c >= L'A' && c <= L'Z') return static_cast<wchar_t>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<wchar_t>(c + 32);
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return static_cast<wchar_t>(c + 32);
  if (c >= 0x410 && c <= 0x42F) return static_cast<wchar_t>(c + 32);
  if (c >= 0x400 && c <= 0x40F) return static_cast<wchar_t>(c + 80);
  return ch;
}

}  // namespace

std::wstring FoldCase(const std::wstring& text) {
  std::wstring out = text;
  for (wchar_t& ch : out) ch = FoldChar(ch);
  return out;
}

// ---------------------------------------------------------------------------------------------
void FaultPlan::CheckName(const std::string& operation) {
  if (!OperationNames().count(operation)) {
    throw std::invalid_argument("the fake endpoint has no operation " + operation);
  }
}

void FaultPlan::FailCall(const std::string& operation, int nth, SysError error, bool fromThenOn) {
  CheckName(operation);
  rules_[operation].push_back(Rule{nth, fromThenOn, false, std::move(error)});
}

void FaultPlan::ThrowAtCall(const std::string& operation, int nth) {
  CheckName(operation);
  rules_[operation].push_back(Rule{nth, false, true, {}});
}

std::optional<SysError> FaultPlan::Enter(const std::string& operation) {
  const int call = ++calls_[operation];
  if (throwAtOverall_ && ++overall_ == *throwAtOverall_) {
    thrown_ = true;
    throw FaultThrown("fault injected into " + operation);
  }
  const auto found = rules_.find(operation);
  if (found == rules_.end()) return std::nullopt;
  for (const Rule& rule : found->second) {
    if (call == rule.nth || (rule.fromThenOn && call > rule.nth)) {
      if (rule.thrown) {
        thrown_ = true;
        throw FaultThrown("fault injected into " + operation);
      }
      return rule.error;
    }
  }
  return std::nullopt;
}

int FaultPlan::Calls(const std::string& operation) const {
  CheckName(operation);
  const auto found = calls_.find(operation);
  return found == calls_.end() ? 0 : found->second;
}

// ---------------------------------------------------------------------------------------------
void FakeRegistry::CreateKey(RegistryView view, const std::wstring& key) {
  std::map<std::wstring, Key>& keys = keys_[ViewIndex(view)];
  std::size_t cut = 0;
  for (;;) {
    cut = key.find(L'\\', cut + 1);
    const std::wstring level = key.substr(0, cut);
    keys.try_emplace(FoldCase(level), Key{LastLevel(level), {}});
    if (cut == std::wstring::npos) return;
  }
}

FakeRegistry::Key* FakeRegistry::Find(RegistryView view, const std::wstring& key) {
  std::map<std::wstring, Key>& keys = keys_[ViewIndex(view)];
  const auto found = keys.find(FoldCase(key));
  return found == keys.end() ? nullptr : &found->second;
}

void FakeRegistry::SetString(RegistryView view, const std::wstring& key, const std::wstring& name,
                             const std::wstring& value) {
  CreateKey(view, key);
  DeleteValue(view, key, name);
  Find(view, key)->values.push_back(Value{name, true, value});
}

void FakeRegistry::SetNonString(RegistryView view, const std::wstring& key,
                                const std::wstring& name) {
  CreateKey(view, key);
  DeleteValue(view, key, name);
  Find(view, key)->values.push_back(Value{name, false, L""});
}

void FakeRegistry::DeleteValue(RegistryView view, const std::wstring& key,
                               const std::wstring& name) {
  Key* found = Find(view, key);
  if (!found) return;
  std::erase_if(found->values,
                [&name](const Value& v) { return FoldCase(v.name) == FoldCase(name); });
}

Result<std::wstring> FakeRegistry::ReadString(const std::wstring& key,
                                              const std::wstring& valueName, RegistryView view) {
  reads_.push_back(Read{key, valueName, view});
  if (auto fault = faults_.Enter("Registry.ReadString")) return Result<std::wstring>::Fail(*fault);
  Key* found = Find(view, key);
  if (found) {
    for (const Value& value : found->values) {
      if (FoldCase(value.name) != FoldCase(valueName)) continue;
      if (!value.isString) {
        return Result<std::wstring>::Fail(1630, L"Data of this type is not supported.");
      }
      return Result<std::wstring>::Of(value.data);
    }
  }
  return Result<std::wstring>::Fail(2, L"The system cannot find the file specified.");
}

Result<std::vector<std::wstring>> FakeRegistry::EnumSubkeys(const std::wstring& key,
                                                            RegistryView view) {
  using R = Result<std::vector<std::wstring>>;
  if (auto fault = faults_.Enter("Registry.EnumSubkeys")) return R::Fail(*fault);
  if (!Find(view, key)) return R::Fail(2, L"The system cannot find the file specified.");
  const std::wstring prefix = FoldCase(key) + L"\\";
  std::vector<std::wstring> names;
  for (const auto& [folded, entry] : keys_[ViewIndex(view)]) {
    if (folded.size() > prefix.size() && folded.compare(0, prefix.size(), prefix) == 0 &&
        folded.find(L'\\', prefix.size()) == std::wstring::npos) {
      names.push_back(entry.name);
    }
  }
  return R::Of(names);
}

Result<std::vector<std::pair<std::wstring, std::wstring>>> FakeRegistry::EnumStringValues(
    const std::wstring& key, RegistryView view) {
  using R = Result<std::vector<std::pair<std::wstring, std::wstring>>>;
  if (auto fault = faults_.Enter("Registry.EnumStringValues")) return R::Fail(*fault);
  Key* found = Find(view, key);
  if (!found) return R::Fail(2, L"The system cannot find the file specified.");
  std::vector<std::pair<std::wstring, std::wstring>> values;
  for (const Value& value : found->values) {
    if (value.isString) values.emplace_back(value.name, value.data);
  }
  return R::Of(values);
}

// ---------------------------------------------------------------------------------------------
void FakeServices::AddService(const std::wstring& name, ServiceState state) {
  services_[FoldCase(name)] = Service{state, {}, {}, std::nullopt, std::nullopt};
}

void FakeServices::RemoveService(const std::wstring& name) { services_.erase(FoldCase(name)); }

void FakeServices::ScriptStop(const std::wstring& name, ServiceScript script) {
  Service* service = Find(name);
  if (!service) throw std::invalid_argument("no fake service to script");
  service->stop = script;
}

void FakeServices::ScriptStart(const std::wstring& name, ServiceScript script) {
  Service* service = Find(name);
  if (!service) throw std::invalid_argument("no fake service to script");
  service->start = script;
}

FakeServices::Service* FakeServices::Find(const std::wstring& name) {
  const auto found = services_.find(FoldCase(name));
  if (found == services_.end()) return nullptr;
  Service& service = found->second;
  if (service.target && service.dueMs && clock_.nowMs >= *service.dueMs) {
    service.state = *service.target;
    service.target.reset();
    service.dueMs.reset();
  }
  return &service;
}

ServiceState FakeServices::State(const std::wstring& name) {
  Service* service = Find(name);
  return service ? service->state : ServiceState::kNotFound;
}

Result<ServiceState> FakeServices::QueryState(const std::wstring& name) {
  if (auto fault = faults_.Enter("Services.QueryState")) return Result<ServiceState>::Fail(*fault);
  return Result<ServiceState>::Of(State(name));
}

std::uint32_t FakeServices::Ask(const std::wstring& name, bool stop) {
  requests_.push_back(Request{stop, name, clock_.nowMs});
  Service* service = Find(name);
  if (!service) return 1060;  // ERROR_SERVICE_DOES_NOT_EXIST
  const ServiceScript& script = stop ? service->stop : service->start;
  if (script.requestError != 0) return script.requestError;
  if (service->target) return 1061;  // ERROR_SERVICE_CANNOT_ACCEPT_CTRL: a change is pending
  if (stop && service->state != ServiceState::kRunning) return 1062;   // not active
  if (!stop && service->state == ServiceState::kRunning) return 1056;  // already running
  if (!stop && service->state != ServiceState::kStopped) return 1061;
  service->state = stop ? ServiceState::kStopPending : ServiceState::kStartPending;
  service->target = stop ? ServiceState::kStopped : ServiceState::kRunning;
  if (script.afterMs) {
    service->dueMs = clock_.nowMs + *script.afterMs;
    Find(name);  // a change after 0 ms is there at once
  }
  return 0;
}

std::uint32_t FakeServices::RequestStop(const std::wstring& name) {
  if (auto fault = faults_.Enter("Services.RequestStop"))
    return static_cast<std::uint32_t>(fault->number);
  return Ask(name, true);
}

std::uint32_t FakeServices::RequestStart(const std::wstring& name) {
  if (auto fault = faults_.Enter("Services.RequestStart"))
    return static_cast<std::uint32_t>(fault->number);
  return Ask(name, false);
}

// ---------------------------------------------------------------------------------------------
void FakeInstaller::AddProduct(const std::wstring& code,
                               std::map<std::wstring, std::wstring> properties) {
  products_.emplace_back(code, std::move(properties));
}

Result<std::vector<std::wstring>> FakeInstaller::EnumProducts() {
  using R = Result<std::vector<std::wstring>>;
  if (auto fault = faults_.Enter("Installer.EnumProducts")) return R::Fail(*fault);
  std::vector<std::wstring> codes;
  for (const auto& product : products_) codes.push_back(product.first);
  return R::Of(codes);
}

Result<std::wstring> FakeInstaller::ProductInfo(const std::wstring& productCode,
                                                const std::wstring& property) {
  using R = Result<std::wstring>;
  if (auto fault = faults_.Enter("Installer.ProductInfo")) return R::Fail(*fault);
  for (const auto& [code, properties] : products_) {
    if (FoldCase(code) != FoldCase(productCode)) continue;
    const auto found = properties.find(property);
    if (found == properties.end()) return R::Fail(1608, L"Unknown property.");
    return R::Of(found->second);
  }
  return R::Fail(1605, L"This action is only valid for products that are currently installed.");
}

Status FakeUpdateClient::UpdateNow(std::int32_t first, std::int32_t second) {
  calls_.emplace_back(first, second);
  if (auto fault = faults_.Enter("UpdateClient.UpdateNow")) return Status{false, *fault};
  return answer_;
}

// ---------------------------------------------------------------------------------------------
void FakeNetwork::SetAnswer(const std::wstring& url, HttpAnswer answer) {
  routes_[url] = Route{std::nullopt, std::nullopt, std::move(answer)};
}

void FakeNetwork::SetAnswerWithCredentials(const std::wstring& url, const std::wstring& user,
                                           const std::wstring& password, HttpAnswer answer) {
  routes_[url] = Route{std::nullopt, std::make_pair(user, password), std::move(answer)};
}

void FakeNetwork::SetError(const std::wstring& url, SysError error) {
  routes_[url] = Route{std::move(error), std::nullopt, {}};
}

Result<HttpAnswer> FakeNetwork::Get(const std::wstring& url, const std::wstring& user,
                                    const std::wstring& password) {
  requests_.push_back(Request{url, user, password});
  if (auto fault = faults_.Enter("Network.Get")) return Result<HttpAnswer>::Fail(*fault);
  const auto found = routes_.find(url);
  if (found == routes_.end()) {
    return Result<HttpAnswer>::Fail(12029,
                                    L"A connection with the server could not be established");
  }
  const Route& route = found->second;
  if (route.error) return Result<HttpAnswer>::Fail(*route.error);
  if (route.credentials && *route.credentials != std::make_pair(user, password)) {
    return Result<HttpAnswer>::Of(HttpAnswer{401, L"Unauthorized", ""});
  }
  return Result<HttpAnswer>::Of(route.answer);
}

// ---------------------------------------------------------------------------------------------
void FakeProcesses::AddProgram(const std::wstring& applicationPath, std::uint32_t exitCode,
                               int pollsUntilExit) {
  programs_[FoldCase(applicationPath)] = Program{exitCode, pollsUntilExit};
}

Result<std::uintptr_t> FakeProcesses::Start(const std::wstring& applicationPath,
                                            const std::wstring& commandLine) {
  starts_.push_back(StartRecord{applicationPath, commandLine});
  if (auto fault = faults_.Enter("Processes.Start")) return Result<std::uintptr_t>::Fail(*fault);
  const auto found = programs_.find(FoldCase(applicationPath));
  if (found == programs_.end()) {
    return Result<std::uintptr_t>::Fail(2, L"The system cannot find the file specified.");
  }
  const std::uintptr_t handle = nextHandle_++;
  running_[handle] = found->second;
  return Result<std::uintptr_t>::Of(handle);
}

Result<std::uint32_t> FakeProcesses::ExitCode(std::uintptr_t process) {
  if (auto fault = faults_.Enter("Processes.ExitCode")) return Result<std::uint32_t>::Fail(*fault);
  const auto found = running_.find(process);
  if (found == running_.end()) return Result<std::uint32_t>::Fail(6, L"The handle is invalid.");
  Program& program = found->second;
  if (program.pollsUntilExit > 0) {
    --program.pollsUntilExit;
    return Result<std::uint32_t>::Of(kStillActive);
  }
  return Result<std::uint32_t>::Of(program.exitCode);
}

void FakeProcesses::CloseProcess(std::uintptr_t process) {
  if (faults_.Enter("Processes.CloseProcess")) return;
  running_.erase(process);
}

// ---------------------------------------------------------------------------------------------
void FakeSystem::SetEnv(const std::wstring& name, const std::wstring& value) {
  env_[FoldCase(name)] = value;
}

void FakeSystem::SetSpecialFolder(int csidl, const std::wstring& path) { folders_[csidl] = path; }

std::wstring FakeSystem::ExpandEnvironment(const std::wstring& text) {
  if (faults_.Enter("System.ExpandEnvironment")) return text;
  std::wstring out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t open = text.find(L'%', pos);
    const std::size_t close =
        open == std::wstring::npos ? std::wstring::npos : text.find(L'%', open + 1);
    if (close == std::wstring::npos) {
      out += text.substr(pos);
      break;
    }
    out += text.substr(pos, open - pos);
    const auto found = env_.find(FoldCase(text.substr(open + 1, close - open - 1)));
    if (found != env_.end()) {
      out += found->second;
      pos = close + 1;
    } else {
      // An undefined name stays as written; its closing '%' may open the next name.
      out += text.substr(open, close - open);
      pos = close;
    }
  }
  return out;
}

Result<std::wstring> FakeSystem::SpecialFolder(int csidl) {
  if (auto fault = faults_.Enter("System.SpecialFolder")) return Result<std::wstring>::Fail(*fault);
  const auto found = folders_.find(csidl);
  if (found == folders_.end()) {
    return Result<std::wstring>::Fail(static_cast<std::int32_t>(0x80070057u),
                                      L"The parameter is incorrect.");
  }
  return Result<std::wstring>::Of(found->second);
}

int FakeSystem::ProcessorAddressWidth() {
  if (faults_.Enter("System.ProcessorAddressWidth")) return 32;
  return addressWidth_;
}

LocalTime FakeSystem::Now() {
  if (faults_.Enter("System.Now")) return start_;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  LocalTime t = start_;
  std::uint64_t seconds = clock_.nowMs / 1000 + static_cast<std::uint64_t>(t.second) +
                          60ull * t.minute + 3600ull * t.hour;
  std::uint64_t days = seconds / 86400;
  seconds %= 86400;
  t.hour = static_cast<int>(seconds / 3600);
  t.minute = static_cast<int>(seconds / 60 % 60);
  t.second = static_cast<int>(seconds % 60);
  for (; days > 0; --days) {
    const bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
    const int monthDays = kDays[t.month - 1] + (t.month == 2 && leap ? 1 : 0);
    if (++t.day > monthDays) {
      t.day = 1;
      if (++t.month > 12) {
        t.month = 1;
        ++t.year;
      }
    }
  }
  return t;
}

void FakeSystem::Sleep(std::uint32_t milliseconds) {
  sleeps_.push_back(milliseconds);
  if (faults_.Enter("System.Sleep")) return;
  clock_.nowMs += milliseconds;
}

void FakeSystem::WriteLine(const std::wstring& text) {
  if (faults_.Enter("System.WriteLine")) return;
  lines_.push_back(text);
}

// ---------------------------------------------------------------------------------------------
FakeEndpoint::FakeEndpoint()
    : registry(faults),
      services(faults, clock),
      installer(faults),
      updateClient(faults),
      files(faults),
      network(faults),
      processes(faults),
      system(faults, clock),
      platform_{registry, services, installer, updateClient, files, network, processes, system} {}

}  // namespace repair::fake
