// Shared set-up for the host tests: a fresh model of Windows and the
// program's globals as a new process has them.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "deploy/ShellRefresh.h"
#include "driver/Pivane.h"
#include "tests/TextSupport.h"
#include "tests/fake/FakeWindows.h"
#include "tests/fake/FreshProcess.h"

inline const std::string TestSystemDir = "C:\\WINDOWS\\system32";
inline const std::string IconKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Icons";
inline const std::string IconSizeKey = "Control Panel\\Desktop\\WindowMetrics";
inline const std::string IconSizeValue = "Shell Icon Size";
inline const std::string LibraryPath = TestSystemDir + "\\pivane.dll";
inline const std::string OldLibraryPath = TestSystemDir + "\\pivact.dll";
inline const std::string InstalledForm = LibraryPath + ",0";
inline const std::string FallbackForm = TestSystemDir + "\\shell32.dll,4";

class PivaneTest : public testing::Test {
 protected:
  void SetUp() override { Fake::StartFreshProcess(); }

  static Fake::Machine& Windows() { return Fake::Windows(); }

  // A string value as Windows stores it: the text and one NUL.
  static Fake::RegistryValue Sz(const std::string& text) {
    return {WindowsOps::REG_SZ, text + std::string(1, '\0')};
  }

  static std::optional<Fake::RegistryValue> IconValue() {
    return Fake::GetValue(Windows().MachineRoot, IconKey, "4");
  }
  static std::optional<Fake::RegistryValue> IconSize() {
    return Fake::GetValue(Windows().UserRoot, IconSizeKey, IconSizeValue);
  }

  // Every handle the program opened has been given back.
  static void ExpectAllReleased() {
    EXPECT_EQ(Windows().OpenKeys, 0);
    EXPECT_EQ(Windows().OpenFiles, 0);
    EXPECT_EQ(Windows().OpenFinds, 0);
    EXPECT_EQ(Windows().OpenMutexes, 0);
    EXPECT_EQ(Windows().OpenTokens, 0);
    EXPECT_EQ(Windows().OpenProcesses, 0);
  }
};
