// Windows and the shell: the boxes shown, the broadcasts and what each
// window sees of the icon size, the windows of this process and the
// foreground, SHELL32 and MPR as LoadLibraryA gives them, the shell's
// change notices; and where the program stands: its own path, the drive it
// is on, the share behind a network drive, and where its libraries may be
// loaded from.
#include <algorithm>
#include <cstdio>
#include <iterator>

#include "tests/fake/FakeInternal.h"

namespace Fake {
namespace {

constexpr char IconSizeKey[] = "Control Panel\\Desktop\\WindowMetrics";
constexpr char IconSizeValue[] = "Shell Icon Size";
constexpr Dword ERROR_CALL_NOT_IMPLEMENTED = 120;

// A box that was shown: the click on it is this process's input, and the
// key-up of the Enter that answered it stays in the thread's queue until a
// PeekMessageA with PM_REMOVE takes it.
int Answered() {
  Windows().MayTakeForeground = true;
  constexpr Dword WM_KEYUP = 0x0101;
  Windows().Posted.push_back(WM_KEYUP);
  Windows().PostedNew = true;
  if (Windows().BoxAnswers.empty()) return IDYES;
  int answer = Windows().BoxAnswers.front();
  Windows().BoxAnswers.pop_front();
  return answer;
}

// Windows takes a thread for hung once it has pumped nothing for 5 s.
constexpr Dword HungAfterMs = 5000;

// Where a hang of the thread holds it at that moment: since when, and
// until when (none: for good).
std::optional<std::pair<Dword, std::optional<Dword>>> HangAt(Dword thread, Dword ms) {
  for (const TopWindow& w : TheMachine.TopWindows) {
    if (w.Thread != thread || !w.HangsAtMs || *w.HangsAtMs > ms) continue;
    if (!w.AnswersAgainAtMs || ms < *w.AnswersAgainAtMs) {
      return std::pair{*w.HangsAtMs, w.AnswersAgainAtMs};
    }
  }
  return std::nullopt;
}

// A notice sent to one window: passed over where SMTO_ABORTIFHUNG meets a
// hung thread, else queued for its thread, which starts on it once done
// with what it holds and once out of a hang; the sender waits until the
// window has handled it or the time-out ends.
std::intptr_t SendToWindow(std::size_t index, Dword flags, Dword timeoutMs) {
  // Wine takes a time-out of 0 for none at all, and Windows documents none
  // for it: the sender then waits as long as the window takes, and a day
  // stands for ever.
  if (timeoutMs == 0) timeoutMs = 24 * 60 * 60 * 1000;
  Machine& m = TheMachine;
  const TopWindow& window = m.TopWindows[index];
  Machine::WindowThread& thread = m.WindowThreads[window.Thread];
  const Dword now = m.ClockMs;
  const auto hang = HangAt(window.Thread, now);
  const std::optional<Dword> busySince =
      hang ? std::optional(hang->first)
           : (thread.FreeAtMs > now ? std::optional(thread.BusySinceMs) : std::nullopt);
  if ((flags & SMTO_ABORTIFHUNG) && busySince && now - *busySince >= HungAfterMs) {
    return FailWith(ERROR_TIMEOUT, 0);
  }
  std::optional<Dword> start = std::max(now, thread.FreeAtMs);
  if (const auto held = HangAt(window.Thread, *start)) start = held->second;
  if (!start) {
    AdvanceClock(now + timeoutMs);
    return FailWith(ERROR_TIMEOUT, 0);
  }
  if (*start > thread.FreeAtMs) thread.BusySinceMs = *start;
  thread.FreeAtMs = *start + window.TakesMs;
  thread.Due.emplace_back(*start, index);
  WindowsWork(now);
  if (thread.FreeAtMs - now > timeoutMs) {
    AdvanceClock(now + timeoutMs);
    return FailWith(ERROR_TIMEOUT, 0);
  }
  AdvanceClock(thread.FreeAtMs);
  return 1;
}

}  // namespace

void WindowsWork(Dword untilMs) {
  Machine& m = TheMachine;
  for (auto& [id, thread] : m.WindowThreads) {
    while (!thread.Due.empty() && thread.Due.front().first <= untilMs) {
      m.TopWindows[thread.Due.front().second].Read.push_back(
          GetValue(m.UserRoot, IconSizeKey, IconSizeValue));
      thread.Due.pop_front();
    }
  }
}

void WindowsCatchUp() { WindowsWork(~Dword{0}); }

}  // namespace Fake

namespace WindowsOps {

using namespace Fake;

int MessageBoxA(WindowHandle owner, const char* text, const char* caption, Dword style) {
  bool fails = Record("MessageBoxA", text);
  if (Windows().Dead) return 0;
  Windows().Boxes.push_back(Box{text, caption, style, static_cast<std::uintptr_t>(owner)});
  return fails ? 0 : Answered();
}

// Win32s, on Windows 3.x, has no Unicode boxes; Windows 95 and every later
// system implement MessageBoxW.
int MessageBoxW(WindowHandle owner, const char16_t* text, const char16_t* caption, Dword style) {
  if (Record("MessageBoxW") || (Windows().Version & 0xFF) < 4) {
    return FailWith(ERROR_CALL_NOT_IMPLEMENTED, 0);
  }
  Windows().Boxes.push_back(
      Box{"", "", style, static_cast<std::uintptr_t>(owner), true, text, caption});
  return Answered();
}

// Every message sent stands for a settings notice. A broadcast sends it
// to each top-level window in turn, each with the whole time-out.
std::intptr_t SendMessageTimeoutA(WindowHandle window, Dword message, std::uintptr_t wParam,
                                  std::intptr_t lParam, Dword flags, Dword timeoutMs,
                                  std::uintptr_t* result) {
  if (Record("SendMessageTimeoutA")) return 0;
  Machine& m = Windows();
  m.Broadcasts.push_back(Broadcast{static_cast<std::uintptr_t>(window), message, flags, timeoutMs,
                                   GetValue(m.UserRoot, IconSizeKey, IconSizeValue), wParam,
                                   lParam});
  if (result) *result = 0;
  if (window == HWND_BROADCAST) {
    for (std::size_t i = 0; i < m.TopWindows.size(); ++i) SendToWindow(i, flags, timeoutMs);
    return 1;
  }
  for (std::size_t i = 0; i < m.TopWindows.size(); ++i) {
    if (m.TopWindows[i].Handle == static_cast<std::uintptr_t>(window)) {
      return SendToWindow(i, flags, timeoutMs);
    }
  }
  return FailWith(ERROR_INVALID_WINDOW_HANDLE, 0);
}

bool EnumWindows(WindowVisitor visit, std::intptr_t context) {
  if (Record("EnumWindows")) return false;
  std::vector<std::uintptr_t> listed;
  for (const TopWindow& w : Windows().TopWindows) listed.push_back(w.Handle);
  for (std::uintptr_t w : listed) {
    if (!visit(WindowHandle{w}, context)) break;
  }
  return true;
}

bool EnumThreadWindows(Dword threadId, WindowVisitor visit, std::intptr_t context) {
  if (Record("EnumThreadWindows")) return false;
  std::vector<std::uintptr_t> listed;
  for (const TopWindow& w : Windows().TopWindows) {
    if (w.Thread == threadId) listed.push_back(w.Handle);
  }
  for (std::uintptr_t w : listed) {
    if (!visit(WindowHandle{w}, context)) break;
  }
  return !listed.empty();
}

Dword GetWindowThreadProcessId(WindowHandle window) {
  if (Record("GetWindowThreadProcessId")) return 0;
  for (const TopWindow& w : Windows().TopWindows) {
    if (w.Handle == static_cast<std::uintptr_t>(window)) return w.Thread;
  }
  return 0;
}

WindowHandle FindWindowA(const char* className, const char* windowName) {
  if (Record("FindWindowA", className) || windowName) return WindowHandle{};
  for (const TopWindow& w : Windows().TopWindows) {
    if (NoCase::Equal(w.Class, className)) return WindowHandle{w.Handle};
  }
  return WindowHandle{};
}

WindowHandle GetShellWindow() {
  if (Record("GetShellWindow") || !Windows().ShellWindowCall) return WindowHandle{};
  for (const TopWindow& w : Windows().TopWindows) {
    if (w.Class == "Progman") return WindowHandle{w.Handle};
  }
  return WindowHandle{};
}

Dword GetModuleFileNameW(char16_t* buffer, Dword size) {
  if (Record("GetModuleFileNameW")) return 0;
  const std::u16string& name = Windows().ModuleFileName;
  const std::size_t copied = std::min<std::size_t>(name.size(), size);
  std::copy_n(name.data(), copied, buffer);
  if (copied < size) buffer[copied] = u'\0';
  return static_cast<Dword>(copied);
}

// The program's own image: the one file opened by a UTF-16 name. A running
// image takes no writer.
FileHandle CreateFileW(const char16_t* fileName, Dword desiredAccess, Dword,
                       Dword creationDisposition, Dword) {
  if (Record("CreateFileW")) return FailWith(DeniedCode, INVALID_HANDLE_VALUE);
  if (fileName != Windows().ModuleFileName) return FailWith(NotFoundCode, INVALID_HANDLE_VALUE);
  constexpr Dword FILE_READ_DATA = 1;
  if (Windows().ImageUnreadable && (desiredAccess & (GENERIC_READ | FILE_READ_DATA))) {
    return FailWith(DeniedCode, INVALID_HANDLE_VALUE);
  }
  if ((desiredAccess & GENERIC_WRITE) || creationDisposition != OPEN_EXISTING) {
    return FailWith(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
  }
  const std::uintptr_t handle = NextHandle++;
  FileHandles[handle] = OpenFile{"(image)"};
  ++Windows().OpenFiles;
  return static_cast<FileHandle>(handle);
}

// As the installers found Windows answer: in the \\?\ form, through a
// SUBST letter to the folder behind it, and through a mapped drive to its
// share, unless a folder on the way may not be read.
Dword GetFinalPathNameByHandleW(FileHandle file, char16_t* filePath, Dword size, Dword flags) {
  Machine& m = Windows();
  if (Record("GetFinalPathNameByHandleW") || !m.FinalPathCall) {
    return FailWith(ERROR_PROC_NOT_FOUND, Dword{0});
  }
  const auto open = FileHandles.find(static_cast<std::uintptr_t>(file));
  if (open == FileHandles.end() || open->second.Path != "(image)") {
    return FailWith(ERROR_INVALID_HANDLE, Dword{0});
  }
  const std::u16string& path = m.ModuleFileName;
  std::u16string final = u"\\\\?\\" + path;
  if (auto subst = m.SubstDrives.find(path[0]); subst != m.SubstDrives.end()) {
    final = u"\\\\?\\" + subst->second + path.substr(2);
  } else if (auto share = m.NetworkDrives.find(path[0]); share != m.NetworkDrives.end()) {
    if (m.ShareFolderUnreadable) return FailWith(DeniedCode, Dword{0});
    final = u"\\\\?\\UNC" + share->second.substr(1) + path.substr(2);
  }
  if (flags != VOLUME_NAME_DOS) final = u"\\\\?\\Volume{5eed}" + final.substr(final.find(u'\\', 4));
  if (final.size() + 1 > size) return static_cast<Dword>(final.size() + 1);
  std::copy_n(final.c_str(), final.size() + 1, filePath);
  return static_cast<Dword>(final.size());
}

constexpr Dword DRIVE_FIXED = 3;
constexpr Dword ERROR_NOT_CONNECTED = 2250;

// Windows takes a root with its backslash alone: "C:" names the current
// directory of that drive, "C:\x" no root at all.
Dword GetDriveTypeW(const char16_t* rootPathName) {
  Record("GetDriveTypeW");
  const std::u16string root = rootPathName;
  if (root.size() != 3 || root[1] != u':' || root[2] != u'\\') return DRIVE_NO_ROOT_DIR;
  return Windows().NetworkDrives.contains(root[0]) ? DRIVE_REMOTE : DRIVE_FIXED;
}

Dword GetSystemDirectoryW(char16_t* buffer, Dword size) {
  if (Record("GetSystemDirectoryW") || !Windows().SystemDirectory) return 0;
  const std::string& directory = *Windows().SystemDirectory;
  if (directory.size() + 1 > size) return static_cast<Dword>(directory.size() + 1);
  std::copy(directory.begin(), directory.end(), buffer);
  buffer[directory.size()] = u'\0';
  return static_cast<Dword>(directory.size());
}

bool SetDefaultDllDirectories(Dword directoryFlags) {
  if (Record("SetDefaultDllDirectories") || !Windows().DllDirectoriesCall) {
    return FailWith(ERROR_PROC_NOT_FOUND, false);
  }
  Windows().DllSearchRestricted = directoryFlags == LOAD_LIBRARY_SEARCH_SYSTEM32;
  return true;
}

bool SetDllDirectoryW(const char16_t* pathName) {
  if (Record("SetDllDirectoryW", pathName && !*pathName ? "(empty)" : "(a folder)") ||
      !Windows().DllDirectoryCall) {
    return FailWith(ERROR_PROC_NOT_FOUND, false);
  }
  Windows().DllDirectory = pathName ? std::optional<std::u16string>(pathName) : std::nullopt;
  return true;
}

constexpr ModuleHandle MprModule{0x3B90};
constexpr ModuleHandle OtherSystemModule{0x5A5A};
constexpr Dword ERROR_MOD_NOT_FOUND = 126;

// A module is known by its file name, and only from the system directory
// that holds it: the tests read the path and flags asked for in Calls.
ModuleHandle LoadLibraryExA(const char* fileName, Dword flags) {
  char shown[12];
  std::snprintf(shown, sizeof shown, " %X", flags);
  if (Record("LoadLibraryExA", fileName + std::string(shown))) {
    return FailWith(NotFoundCode, ModuleHandle{});
  }
  const std::string path = fileName;
  if (!InSystemDirectory(path)) return FailWith(NotFoundCode, ModuleHandle{});
  const std::string name = path.substr(Windows().SystemDirectory->size() + 1);
  const auto is = [&](const char* known) { return NoCase::Equal(name, known); };
  const bool vista = (Windows().Version & 0xFFFF) == 0x0006;
  if (!Windows().SystemDlls.contains(name) ||
      (vista && (is("cryptbase.dll") || is("profapi.dll")))) {
    return FailWith(ERROR_MOD_NOT_FOUND, ModuleHandle{});
  }
  if (is("shell32.dll")) return Shell32Module;
  if (is("mpr.dll")) return MprModule;
  if (is("ole32.dll")) return Ole32Module;
  return OtherSystemModule;
}

constexpr std::int32_t S_OK = 0;
constexpr std::int32_t S_FALSE = 1;
constexpr std::int32_t E_NOINTERFACE = static_cast<std::int32_t>(0x80004002u);

std::int32_t CoInitializeEx(ModuleHandle ole32, Dword coInit) {
  char flags[12];
  std::snprintf(flags, sizeof flags, "%X", coInit);
  if (Record("CoInitializeEx", flags) || ole32 != Ole32Module) return E_NOINTERFACE;
  return Windows().ComApartments++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize(ModuleHandle ole32) {
  if (Record("CoUninitialize") || ole32 != Ole32Module) return;
  --Windows().ComApartments;
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

// The classes the system registers for every process; a class that no one
// registered makes no window.
WindowHandle CreateWindowExA(Dword exStyle, const char* className, Dword style) {
  char styles[24];
  std::snprintf(styles, sizeof styles, " %X %X", style, exStyle);
  if (Record("CreateWindowExA", className + std::string(styles))) {
    return FailWith(DeniedCode, WindowHandle{});
  }
  static constexpr const char* SystemClasses[] = {"BUTTON",   "EDIT",      "LISTBOX",
                                                  "COMBOBOX", "SCROLLBAR", "STATIC"};
  const std::string name = className;
  const bool registered =
      std::any_of(std::begin(SystemClasses), std::end(SystemClasses),
                  [&](const char* known) { return NoCase::Equal(name, known); });
  if (!registered) return FailWith(ERROR_CANNOT_FIND_WND_CLASS, WindowHandle{});
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

}  // namespace WindowsOps
