// The repair seam's contract: what every implementation of the Files, Registry (reading) and
// System roles, and the Services role for unknown names, must do alike. The same cases run
// against the in-memory endpoint on the host and against the Win32 backend under Wine; each
// binding supplies the subject they run on.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/repair_platform.h"

namespace repair::contract {

// Registry content that the cases read. A binding puts it in place before the cases run:
// the fake through its own setters, the Win32 binding with the registry API (under
// HKEY_LOCAL_MACHINE, in the view given).
struct SeedValue {
  enum class Kind { kString, kExpandString, kNumber };  // REG_SZ, REG_EXPAND_SZ, REG_DWORD
  RegistryView view;
  std::wstring key;   // below HKEY_LOCAL_MACHINE
  std::wstring name;  // "" is the key's default value
  Kind kind;
  std::wstring data;  // unused for a number
};
inline const std::wstring kSeedRoot = L"SOFTWARE\\ZorvanFixContract";
const std::vector<SeedValue>& RegistrySeed();

// An environment variable that the subject has defined, and its value.
inline const std::wstring kVariableName = L"ZF_CONTRACT_VALUE";
inline const std::wstring kVariableValue = L"v\u00e4lue \u4e2d";

class Subject {
 public:
  virtual ~Subject() = default;
  virtual Platform& platform() = 0;
  // The full path of an existing, empty folder that belongs to this subject alone.
  virtual std::wstring ScratchFolder() = 0;
  // Makes an existing file read-only, by means outside the seam.
  virtual void MakeReadOnly(const std::wstring& path) = 0;
};

// Provided by each binding: a fresh subject for one case, with the registry seed and the
// environment variable in place.
std::unique_ptr<Subject> MakeSubject();

// Every case starts from a fresh subject.
class SeamContract : public ::testing::Test {
 protected:
  SeamContract() : subject_(MakeSubject()) {}
  Platform& platform() { return subject_->platform(); }
  Files& files() { return platform().files; }
  Registry& registry() { return platform().registry; }
  System& system() { return platform().system; }
  // A path in the scratch folder.
  std::wstring Path(const std::wstring& relative) {
    return subject_->ScratchFolder() + L"\\" + relative;
  }
  void MakeReadOnly(const std::wstring& path) { subject_->MakeReadOnly(path); }

 private:
  std::unique_ptr<Subject> subject_;
};

// gtest prints wide strings in its messages; these give readable failure output for results.
std::string Describe(const SysError& error);

}  // namespace repair::contract
