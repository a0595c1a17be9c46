// A fresh model of Windows, and the program's globals as a new process of
// it has them: the start of every host test and of every fuzzed run.
#pragma once

#include "deploy/ShellRefresh.h"
#include "driver/Pivane.h"
#include "tests/fake/FakeWindows.h"

namespace Fake {

// The program's globals as a new process has them, their memory given back.
inline void ResetGlobals() {
  SilentMode = false;
  InstallOnly = false;
  UninstallOnly = false;
  SystemDir.Clear();
  InstalledReference.Clear();
  CurrentReference.Clear();
  SavedRefreshValue = RegCtrl::StoredValue{};
  KeptRecord.reset();
  RunRights = TokenRights::Unknown;
}

// The globals let go of their memory before the machine is new, so that
// the new one counts no block of an earlier run.
inline void StartFreshProcess() {
  ResetGlobals();
  Reset();
}

}  // namespace Fake
