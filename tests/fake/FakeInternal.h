// What the files of the model of Windows share: the machine, the handles
// this process holds, the call log and its failures, and the errors Windows
// answers with. Only the model's own files include it; the tests see
// FakeWindows.h alone.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/fake/FakeWindows.h"

namespace Fake {

using namespace WindowsOps;

extern Machine TheMachine;

struct OpenFile {
  std::string Path;
  bool Reading = false;
  bool Writing = false;
  std::size_t Position = 0;
};

// An open key keeps the access it was opened with; null once the key is
// deleted under it.
struct OpenKey {
  RegistryKey* Key = nullptr;
  Dword Access = 0;
  bool Machine = false;  // under HKEY_LOCAL_MACHINE
};

extern std::map<std::uintptr_t, OpenKey> KeyHandles;
extern std::map<std::uintptr_t, OpenFile> FileHandles;
extern std::set<std::uintptr_t> FindHandles;
// Each mutex handle of this process, with the name it has in the object
// manager.
extern std::map<std::uintptr_t, std::string> MutexHandles;
extern std::uintptr_t NextHandle;

constexpr Status BAD_PATHNAME = 161;
constexpr Status KEY_DELETED = 1018;
// Any error that the program does not look for.
constexpr Dword ERROR_PROCESS_DIED = 0xDEAD;
constexpr Dword ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr Dword ERROR_SHARING_VIOLATION = 32;
constexpr Dword ERROR_ALREADY_EXISTS = 183;
constexpr Dword ERROR_NOT_OWNER = 288;
constexpr Dword DeniedCode = static_cast<Dword>(ERROR_ACCESS_DENIED);
constexpr Dword NotFoundCode = static_cast<Dword>(ERROR_FILE_NOT_FOUND);
constexpr Dword ERROR_PROC_NOT_FOUND = 127;
constexpr Dword ERROR_INVALID_HANDLE = 6;
constexpr Dword ERROR_CANNOT_FIND_WND_CLASS = 1407;
constexpr Dword ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr Dword ERROR_TIMEOUT = 1460;
// SHELL32 and OLE32 as LoadLibraryExA gives them, for the calls that need
// them.
constexpr ModuleHandle Shell32Module{0x5E11};
constexpr ModuleHandle Ole32Module{0x01E3};

// Counts the call, logs it and says whether it fails: because the test
// asked it to, or because the process has died, when nothing it does may
// change the machine.
bool Record(const std::string& operation, const std::string& argument = {});

// The 9x family checks no rights.
inline bool NineX() { return TheMachine.Version & 0x80000000u; }

// A limited account, or a token that is not elevated, changes nothing of
// the machine's own.
inline bool MayChangeTheMachine() {
  return NineX() || (!TheMachine.LimitedAccount && TheMachine.Elevated != false);
}

std::vector<std::string> SplitPath(const std::string& path);
// Directly in the system directory or below it, in any case.
bool InSystemDirectory(const std::string& path);

// Moves the model's clock on to ms, and what happens meanwhile with it.
void AdvanceClock(Dword ms);
// The notices the windows start on by then, each reading the icon size as
// it stands.
void WindowsWork(Dword untilMs);

// Fails a call with the error Windows gives.
template <typename Result>
Result FailWith(Dword error, Result result) {
  Windows().LastError = error;
  return result;
}

}  // namespace Fake
