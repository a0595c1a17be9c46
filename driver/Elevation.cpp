// Vista to 11: with User Account Control on, a double-click runs a program
// without administrator rights, an administrator's included, unless the
// program asks Windows for them; pivane.exe has no manifest to ask with. So
// an interactive run whose token is not elevated asks as installers do: once
// the user has answered Oui, it starts itself again with the "runas" verb,
// silent and told what to do, and waits for that copy. The copy reads the
// state afresh under its own lock, and being silent never asks in its turn.
//
// Wherever the token answers at all, the run may be elevated from wherever
// PIVANE.EXE lies, most often a Downloads folder that any web page can leave
// a DLL in: nothing it loads at run time is looked for outside the system
// directory.
#include <array>

#include "driver/Pivane.h"
#include "platform/WindowsOps.h"

using namespace WindowsOps;

constinit TokenRights RunRights = TokenRights::Unknown;

namespace {

// The longest path GetModuleFileNameW gives whole, and its NUL; and the
// longest UNC name taken for it.
constexpr Dword ModulePathSize = 261;
constexpr Dword UniversalNameSize = 1024;

// A token or process handle, closed when it goes.
template <typename Handle>
struct ScopedHandle {
  ScopedHandle() = default;
  explicit ScopedHandle(Handle handle) : Value(handle) {}
  ~ScopedHandle() {
    if (Value != Handle{}) CloseHandle(Value);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  Handle Value{};
};

// Windows shows its prompt for rights in front only for the foreground
// window handed to it; for none, it flashes a taskbar button instead. The
// run has none of its own once its question has closed, so it makes one,
// never shown, and brings it to the foreground while the user's click on
// Oui is still the last input, which is what lets a process do that. The
// window goes as soon as the copy has started: a thread that waits without
// answering its messages would hold every broadcast that meets the window,
// the copy's own included.
class PromptOwner {
 public:
  PromptOwner() : Window(CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", WS_POPUP)) {
    if (Window != WindowHandle{}) SetForegroundWindow(Window);
  }
  ~PromptOwner() { Destroy(); }
  PromptOwner(const PromptOwner&) = delete;
  PromptOwner& operator=(const PromptOwner&) = delete;

  void Destroy() {
    if (Window != WindowHandle{}) DestroyWindow(Window);
    Window = WindowHandle{};
  }

  WindowHandle Window;
};

// A mapped drive belongs to one logon session, and an administrator's
// password typed at Windows' prompt starts the copy in another: a program
// on a network drive is started by its UNC name, where there is one.
const char16_t* PathForTheCopy(const char16_t* path,
                               std::array<char16_t, UniversalNameSize>& universal) {
  if (path[0] == u'\0' || path[1] != u':' || path[2] != u'\\') return path;
  const char16_t root[] = {path[0], u':', u'\\', u'\0'};
  if (GetDriveTypeW(root) != DRIVE_REMOTE) return path;
  const Dword status = WNetGetUniversalNameW(LoadSystemLibrary("mpr.dll"), path, universal.data(),
                                             UniversalNameSize);
  return status == NO_ERROR && universal[0] != u'\0' ? universal.data() : path;
}

}  // namespace

// The token says so itself, whatever version a compatibility mode
// reports. Where the query, or the calls behind it, are missing (95 to XP,
// which have no such token), the run goes on as it always has.
TokenRights ReadTokenRights() {
  ScopedHandle<TokenHandle> token;
  if (!OpenProcessToken(TOKEN_QUERY, &token.Value)) return TokenRights::Unknown;
  Dword elevated = 0;
  Dword returned = 0;
  if (!GetTokenInformation(token.Value, TokenElevation, &elevated, sizeof elevated, &returned) ||
      returned != sizeof elevated) {
    return TokenRights::Unknown;
  }
  return elevated ? TokenRights::Elevated : TokenRights::Limited;
}

// Before the first load at run time. Where Windows lacks the call (Vista
// and 7 without the update that added it), the DLLs named below still come
// from the system directory, but what they load by name in their turn may
// not.
void KeepDllSearchInTheSystem() {
  if (RunRights != TokenRights::Unknown) SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// By its full path, WOW64's redirection left as it is, so that a 32-bit
// run gets the 32-bit DLL.
ModuleHandle LoadSystemLibrary(std::string_view name) {
  const Text path = Join({SystemDir, "\\", name});
  return path.Ok() ? LoadLibraryA(path.CStr()) : ModuleHandle{};
}

// The documented notice that the shell's icons changed; whether Explorer
// of Vista and later rebuilds them from the icon-size change alone is not.
void TellShellIconsChanged() {
  if (RunRights == TokenRights::Unknown) return;
  SHChangeNotify(LoadSystemLibrary("shell32.dll"), SHCNE_ASSOCCHANGED, SHCNF_IDLIST);
}

// The copy was started in the foreground, after Windows' prompt took the
// last input from the run that waits for it; it hands the foreground on,
// so that the box which that run shows next comes to the front.
void LetTheCallerComeToTheFront() {
  if (SilentMode && (InstallOnly || UninstallOnly) && RunRights == TokenRights::Elevated) {
    AllowSetForegroundWindow(ASFW_ANY);
  }
}

CopyOutcome RunElevatedCopy(bool install) {
  std::array<char16_t, ModulePathSize> path{};
  const Dword length = GetModuleFileNameW(path.data(), ModulePathSize);
  if (length == 0 || length >= ModulePathSize) return CopyOutcome::Failed;
  std::array<char16_t, UniversalNameSize> universal{};
  ShellExecuteInfo copy;
  // Its own image, which Windows already let start: no second warning for a
  // file that came from the Internet.
  copy.Mask =
      SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOZONECHECKS;
  copy.Verb = u"runas";
  copy.File = PathForTheCopy(path.data(), universal);
  copy.Parameters = install ? u"/S /I" : u"/S /U";
  copy.Show = SW_SHOWNORMAL;
  const ModuleHandle shell32 = LoadSystemLibrary("shell32.dll");
  PromptOwner owner;
  copy.Window = owner.Window;
  const bool started = ShellExecuteExW(shell32, &copy);
  const Dword error = started ? 0 : GetLastError();
  owner.Destroy();
  if (!started) return error == ERROR_CANCELLED ? CopyOutcome::Cancelled : CopyOutcome::Failed;
  const ScopedHandle<ProcessHandle> process(copy.Process);
  if (process.Value == ProcessHandle{}) return CopyOutcome::Failed;
  Dword code = 1;
  if (WaitForSingleObject(process.Value, INFINITE) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(process.Value, &code)) {
    return CopyOutcome::Failed;
  }
  return code == 0 ? CopyOutcome::Done : CopyOutcome::Failed;
}
