// The Wine tests' entry. Started with --parse-switches-child, the program
// instead reads its own command line the way pivane.exe does and answers
// through its exit code, so that the real GetCommandLineA path is tested
// with command lines that CreateProcessA passes through untouched.
#include <windows.h>
// <windows.h> comes first: the other SDK headers build on it.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "driver/Pivane.h"

// Wine delivers OutputDebugStringA by raising an exception, and under an
// emulated i386 that exception kills the process. GoogleTest echoes every
// failure there, so a failing test would end the run before it is reported:
// this program's calls to it are routed to a function that does nothing.
namespace {
void __stdcall IgnoreDebugString(LPCSTR) {}
}  // namespace
extern "C" {
void(__stdcall* DebugStringImport)(LPCSTR) __asm__("__imp__OutputDebugStringA@4") =
    IgnoreDebugString;
}

int main(int argc, char** argv) {
  if (std::strstr(::GetCommandLineA(), "--parse-switches-child")) {
    ParseSwitches();
    return SilentMode ? 1 : 0;
  }
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  // The verdict is out; ending here skips the DLL detach routines, where an
  // emulated Wine has been seen to hang for good.
  std::fflush(nullptr);
  ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(result));
  return result;
}
