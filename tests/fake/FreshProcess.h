// A fresh model of Windows, and the program's globals as a new process of
// it has them: the start of every host test and of every fuzzed run.
#pragma once

#include "deploy/ShellRefresh.h"
#include "driver/Pivane.h"
#include "tests/fake/FakeWindows.h"

namespace Fake {

// What the program's flags and states hold before its first line runs,
// read once as the tests start, before any test can change them, so that
// every test starts from the program's own start values, not from ours.
struct ProgramStart {
  bool Silent = SilentMode;
  bool InstallOnly = ::InstallOnly;
  bool UninstallOnly = ::UninstallOnly;
  bool ElevatedCopy = ::ElevatedCopy;
  TokenRights Rights = RunRights;
  bool DllSearchRestricted = ::DllSearchRestricted;
};
inline const ProgramStart StartValues;

// The program's globals as a new process has them, their memory given back.
inline void ResetGlobals() {
  SilentMode = StartValues.Silent;
  InstallOnly = StartValues.InstallOnly;
  UninstallOnly = StartValues.UninstallOnly;
  ElevatedCopy = StartValues.ElevatedCopy;
  SystemDir.Clear();
  InstalledReference.Clear();
  CurrentReference.Clear();
  SavedRefreshValue = RegCtrl::StoredValue{};
  KeptRecord.reset();
  RunRights = StartValues.Rights;
  DllSearchRestricted = StartValues.DllSearchRestricted;
}

// The globals let go of their memory before the machine is new, so that
// the new one counts no block of an earlier run.
inline void StartFreshProcess() {
  ResetGlobals();
  Reset();
}

}  // namespace Fake
