// A fresh model of Windows, and the program's globals as a new process of
// it has them: the start of every host test and of every fuzzed run.
#pragma once

#include "deploy/ShellRefresh.h"
#include "driver/Pivane.h"
#include "tests/fake/FakeWindows.h"

namespace Fake {

inline void StartFreshProcess() {
  Reset();
  SilentMode = false;
  SystemDir.clear();
  InstalledReference.clear();
  CurrentReference.clear();
  SavedRefreshValue = "32";
}

}  // namespace Fake
