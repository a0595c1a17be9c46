// The Wine tests' entry. Started with --parse-switches-child, the program
// instead reads its own command line the way pivane.exe does and answers
// through its exit code, so that the real GetCommandLineA path is tested
// with command lines that CreateProcessA passes through untouched.
#include <windows.h>
// <windows.h> comes first: the other SDK headers build on it.

#include <gtest/gtest.h>

#include <cstring>

#include "driver/Pivane.h"

int main(int argc, char** argv) {
  if (std::strstr(::GetCommandLineA(), "--parse-switches-child")) {
    ParseSwitches();
    return SilentMode ? 1 : 0;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
