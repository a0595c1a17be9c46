// Windows and the shell: the boxes shown, the broadcasts and what each
// window sees of the icon size, the windows of this process and the
// foreground, SHELL32 and MPR as LoadLibraryA gives them, the shell's
// change notices; and where the program stands: its own path, the drive it
// is on, the share behind a network drive, and where its libraries may be
// loaded from.
#include <algorithm>
#include <cstdio>

#include "tests/fake/FakeInternal.h"

namespace Fake {
namespace {

constexpr char IconSizeKey[] = "Control Panel\\Desktop\\WindowMetrics";
constexpr char IconSizeValue[] = "Shell Icon Size";

}  // namespace
}  // namespace Fake

namespace WindowsOps {

using namespace Fake;

int MessageBoxA(WindowHandle owner, const char* text, const char* caption, Dword style) {
  bool fails = Record("MessageBoxA", text);
  if (Windows().Dead) return 0;
  Windows().Boxes.push_back(Box{text, caption, style, static_cast<std::uintptr_t>(owner)});
  if (fails) return 0;
  Windows().MayTakeForeground = true;
  if (Windows().BoxAnswers.empty()) return IDYES;
  int answer = Windows().BoxAnswers.front();
  Windows().BoxAnswers.pop_front();
  return answer;
}

std::intptr_t SendMessageTimeoutA(WindowHandle window, Dword message, std::uintptr_t, std::intptr_t,
                                  Dword flags, Dword timeoutMs, std::uintptr_t* result) {
  if (Record("SendMessageTimeoutA")) return 0;
  Windows().Broadcasts.push_back(
      Broadcast{static_cast<std::uintptr_t>(window), message, flags, timeoutMs,
                GetValue(Windows().UserRoot, IconSizeKey, IconSizeValue)});
  if (result) *result = 0;
  return 1;
}

Dword GetModuleFileNameW(char16_t* buffer, Dword size) {
  if (Record("GetModuleFileNameW")) return 0;
  const std::u16string& name = Windows().ModuleFileName;
  const std::size_t copied = std::min<std::size_t>(name.size(), size);
  std::copy_n(name.data(), copied, buffer);
  if (copied < size) buffer[copied] = u'\0';
  return static_cast<Dword>(copied);
}

constexpr Dword DRIVE_FIXED = 3;
constexpr Dword ERROR_NOT_CONNECTED = 2250;

Dword GetDriveTypeW(const char16_t* rootPathName) {
  Record("GetDriveTypeW");
  return Windows().NetworkDrives.contains(rootPathName[0]) ? DRIVE_REMOTE : DRIVE_FIXED;
}

bool SetDefaultDllDirectories(Dword directoryFlags) {
  if (Record("SetDefaultDllDirectories") || !Windows().DllDirectoriesCall) {
    return FailWith(ERROR_PROC_NOT_FOUND, false);
  }
  Windows().DllSearchRestricted = directoryFlags == LOAD_LIBRARY_SEARCH_SYSTEM32;
  return true;
}

constexpr ModuleHandle MprModule{0x3B90};

// A module is known by its file name alone: the tests read the path asked
// for in Calls.
ModuleHandle LoadLibraryA(const char* fileName) {
  if (Record("LoadLibraryA", fileName)) return FailWith(NotFoundCode, ModuleHandle{});
  std::string name = fileName;
  name = name.substr(name.rfind('\\') + 1);
  if (!NoCase()(name, "shell32.dll") && !NoCase()("shell32.dll", name)) return Shell32Module;
  if (!NoCase()(name, "mpr.dll") && !NoCase()("mpr.dll", name)) return MprModule;
  return FailWith(NotFoundCode, ModuleHandle{});
}

void SHChangeNotify(ModuleHandle shell32, Dword eventId, Dword flags) {
  char notice[24];
  std::snprintf(notice, sizeof notice, "%08X %X", eventId, flags);
  Record("SHChangeNotify", shell32 == Shell32Module ? notice : "(no SHELL32)");
}

Dword WNetGetUniversalNameW(ModuleHandle mpr, const char16_t* localPath, char16_t* universalName,
                            Dword size) {
  if (Record("WNetGetUniversalNameW") || mpr != MprModule) return ERROR_PROC_NOT_FOUND;
  auto drive = Windows().NetworkDrives.find(localPath[0]);
  if (drive == Windows().NetworkDrives.end()) return ERROR_NOT_CONNECTED;
  const std::u16string name = drive->second + (localPath + 2);
  if (name.size() >= size) return static_cast<Dword>(ERROR_MORE_DATA);
  std::copy_n(name.c_str(), name.size() + 1, universalName);
  return NO_ERROR;
}

// A window of ours: the foreground only where the process may set it.
WindowHandle CreateWindowExA(Dword, const char* className, Dword) {
  if (Record("CreateWindowExA", className)) return FailWith(DeniedCode, WindowHandle{});
  const std::uintptr_t window = NextHandle++;
  Windows().OurWindows.insert(window);
  return WindowHandle{window};
}

bool SetForegroundWindow(WindowHandle window) {
  Machine& m = Windows();
  const auto handle = static_cast<std::uintptr_t>(window);
  if (Record("SetForegroundWindow") || !m.OurWindows.contains(handle) || !m.MayTakeForeground) {
    return false;
  }
  m.ForegroundWindow = handle;
  return true;
}

// Success clears the last error, as some of Windows' calls do.
bool DestroyWindow(WindowHandle window) {
  if (Record("DestroyWindow") || !Windows().OurWindows.erase(static_cast<std::uintptr_t>(window))) {
    return FailWith(ERROR_INVALID_HANDLE, false);
  }
  Windows().LastError = 0;
  return true;
}

bool AllowSetForegroundWindow(Dword processId) {
  char process[12];
  std::snprintf(process, sizeof process, "%X", processId);
  return !Record("AllowSetForegroundWindow", process) && Windows().MayTakeForeground;
}

}  // namespace WindowsOps
