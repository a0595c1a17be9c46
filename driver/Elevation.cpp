// Vista to 11: with User Account Control on, a double-click runs a program
// without administrator rights, an administrator's included, unless the
// program asks Windows for them; pivane.exe's manifest asks for nothing. So
// an interactive run whose token is not elevated asks as installers do: once
// the user has answered Oui, it starts itself again with the "runas" verb,
// silent, told what to do and that it is the copy, and waits for it. The
// copy reads the state afresh under its own lock, and being silent never
// asks in its turn.
//
// PIVANE.EXE most often lies in a Downloads folder that any web page can
// leave a DLL in, and a DLL loaded by name is looked for in the program's
// own folder first: nothing the run loads, nor what the system's DLLs load
// for it, is to come from anywhere but the system directory.
#include <array>

#include "driver/Pivane.h"
#include "platform/WindowsOps.h"

using namespace WindowsOps;

constinit TokenRights RunRights = TokenRights::Unknown;
constinit bool DllSearchRestricted = false;

namespace {

// The longest path GetModuleFileNameW gives whole, and its NUL; the
// longest final or UNC name taken for it.
constexpr Dword ModulePathSize = 261;
constexpr Dword ResolvedPathSize = 1024;
constexpr Dword ComApartment = COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE;

// What the system's own DLLs load by name on the way to a box, the shell's
// prompt or a COM object, as two installers that met the planted-DLL
// attack measured on their own paths (see docs/design.md). One that a
// system lacks is simply not loaded.
constexpr std::string_view NamedByTheSystem[] = {
    "uxtheme.dll", "userenv.dll",   "setupapi.dll", "apphelp.dll", "propsys.dll",
    "dwmapi.dll",  "cryptbase.dll", "oleacc.dll",   "clbcatq.dll", "ntmarta.dll",
    "version.dll", "profapi.dll",   "comres.dll"};

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

// The apartment ShellExecuteExW's documentation asks for, since the verb
// may reach a shell extension that needs one; left as it was found.
class ComForTheShell {
 public:
  ComForTheShell() : Ole32(LoadSystemLibrary("ole32.dll")) {
    Initialized = Ole32 != ModuleHandle{} && CoInitializeEx(Ole32, ComApartment) >= 0;
  }
  ~ComForTheShell() {
    if (Initialized) CoUninitialize(Ole32);
  }
  ComForTheShell(const ComForTheShell&) = delete;
  ComForTheShell& operator=(const ComForTheShell&) = delete;

 private:
  ModuleHandle Ole32;
  bool Initialized = false;
};

// "\\?\C:\…" and "\\?\UNC\server\share\…" turned back into the forms that
// ShellExecuteExW takes; any other form (a volume's GUID) is not one.
const char16_t* Usable(char16_t* final) {
  if (final[0] != u'\\' || final[1] != u'\\' || final[2] != u'?' || final[3] != u'\\') {
    return nullptr;
  }
  char16_t* rest = final + 4;
  if (rest[0] == u'U' && rest[1] == u'N' && rest[2] == u'C' && rest[3] == u'\\') {
    rest[2] = u'\\';
    return rest + 2;
  }
  const bool letter = (rest[0] >= u'A' && rest[0] <= u'Z') || (rest[0] >= u'a' && rest[0] <= u'z');
  return letter && rest[1] == u':' && rest[2] == u'\\' ? rest : nullptr;
}

// The program's own image where it really lies: a SUBST letter, like a
// mapped drive, belongs to one logon session, and the copy with rights
// runs in another, where neither letter exists.
const char16_t* FinalPath(const char16_t* path, std::array<char16_t, ResolvedPathSize>& final) {
  const FileHandle file = CreateFileW(
      path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING, 0);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  const Dword length =
      GetFinalPathNameByHandleW(file, final.data(), ResolvedPathSize, VOLUME_NAME_DOS);
  CloseHandle(file);
  return length != 0 && length < ResolvedPathSize ? Usable(final.data()) : nullptr;
}

// Where the final path cannot be had, a program on a network drive is
// still started by the UNC name of its share, where there is one.
const char16_t* PathForTheCopy(const char16_t* path,
                               std::array<char16_t, ResolvedPathSize>& resolved) {
  if (const char16_t* final = FinalPath(path, resolved)) return final;
  if (path[0] == u'\0' || path[1] != u':' || path[2] != u'\\') return path;
  const char16_t root[] = {path[0], u':', u'\\', u'\0'};
  if (GetDriveTypeW(root) != DRIVE_REMOTE) return path;
  const Dword status =
      WNetGetUniversalNameW(LoadSystemLibrary("mpr.dll"), path, resolved.data(), ResolvedPathSize);
  return status == NO_ERROR && resolved[0] != u'\0' ? resolved.data() : path;
}

// The window stays while the copy runs, and its thread answers what is
// sent to it: the copy's broadcasts meet it like every top-level window,
// and would otherwise wait on it. Messages already looked at do not wake
// the wait again, so the queue is emptied before each.
bool WaitForTheCopy(ProcessHandle process) {
  for (;;) {
    AnswerMessages();
    const Dword woke = MsgWaitForMultipleObjects(process, INFINITE, QS_ALLINPUT);
    if (woke == WAIT_OBJECT_0) return true;
    if (woke != WAIT_OBJECT_0 + 1) return false;
  }
}

}  // namespace

// A message left in the queue would be found again at once, for ever.
void AnswerMessages() {
  WindowMessage message;
  while (PeekMessageA(&message, PM_REMOVE)) DispatchMessageA(&message);
}

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

// Before anything else, boxes included: a box loads DLLs by name too. On
// Vista itself the restriction breaks the shell's COM objects (both
// installers found so), and a compatibility mode that reports 6.0 takes
// the same way, which is safe: the current directory out of the search, and
// the DLLs that could be planted loaded from the system directory first.
void KeepDllSearchInTheSystem() {
  const Dword version = GetVersion();
  const bool vista = (version & 0xFF) == 6 && ((version >> 8) & 0xFF) == 0;
  DllSearchRestricted = !vista && SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!DllSearchRestricted) SetDllDirectoryW(u"");
}

// Where the search still starts in the program's folder, a DLL that is
// already loaded is taken whatever folder it was asked from: each one the
// system would load by name is loaded first from the system directory.
// Only where the token answers: 95 to XP run as they always have.
void LoadNamedDllsFromTheSystem() {
  if (DllSearchRestricted || RunRights == TokenRights::Unknown) return;
  for (std::string_view name : NamedByTheSystem) LoadSystemLibrary(name);
}

// By its full path, WOW64's redirection left as it is, so that a 32-bit
// run gets the 32-bit DLL; where the search is open, what it loads in its
// turn is looked for beside it first.
ModuleHandle LoadSystemLibrary(std::string_view name) {
  const Text path = Join({SystemDir, "\\", name});
  if (!path.Ok()) return ModuleHandle{};
  return LoadLibraryExA(path.CStr(), DllSearchRestricted ? 0 : LOAD_WITH_ALTERED_SEARCH_PATH);
}

// The documented notice that the shell's icons changed; whether Explorer
// of Vista and later rebuilds them from the icon-size change alone is not.
void TellShellIconsChanged() {
  if (RunRights == TokenRights::Unknown) return;
  SHChangeNotify(LoadSystemLibrary("shell32.dll"), SHCNE_ASSOCCHANGED, SHCNF_IDLIST);
}

// Windows shows its prompt for rights in front only for the foreground
// window handed to it; for none, it flashes a taskbar button instead. So
// the run makes one, never shown, before it asks, and brings it to the
// foreground as the question's box returns, while the user's click on Oui
// is still the last input. It stands until the flow ends, past the box
// after the copy: a foreground window destroyed hands activation to
// another program, and that box could then not come to the front.
PromptWindow::PromptWindow() {
  if (RunRights == TokenRights::Limited && !SilentMode) {
    Window = CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", WS_POPUP);
  }
}

PromptWindow::~PromptWindow() {
  if (Window != WindowHandle{}) DestroyWindow(Window);
}

void PromptWindow::TakeForeground() const {
  if (Window != WindowHandle{}) SetForegroundWindow(Window);
}

CopyOutcome RunElevatedCopy(bool install, WindowHandle owner) {
  std::array<char16_t, ModulePathSize> path{};
  const Dword length = GetModuleFileNameW(path.data(), ModulePathSize);
  if (length == 0 || length >= ModulePathSize) return CopyOutcome::Failed;
  // Every logon session reaches the system directory; the caller's own
  // current directory may be a drive letter of its session, or Downloads.
  std::array<char16_t, ModulePathSize> directory{};
  const Dword directoryLength = GetSystemDirectoryW(directory.data(), ModulePathSize);
  std::array<char16_t, ResolvedPathSize> resolved{};
  ShellExecuteInfo copy;
  // Its own image, which Windows already let start: no second warning for a
  // file that came from the Internet.
  copy.Mask =
      SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOZONECHECKS;
  copy.Window = owner;
  copy.Verb = u"runas";
  copy.File = PathForTheCopy(path.data(), resolved);
  copy.Parameters = install ? u"/S /I /COPIE" : u"/S /U /COPIE";
  copy.Directory =
      directoryLength != 0 && directoryLength < ModulePathSize ? directory.data() : nullptr;
  copy.Show = SW_SHOWNORMAL;
  const ComForTheShell com;
  if (!ShellExecuteExW(LoadSystemLibrary("shell32.dll"), &copy)) {
    return GetLastError() == ERROR_CANCELLED ? CopyOutcome::Cancelled : CopyOutcome::Failed;
  }
  const ScopedHandle<ProcessHandle> process(copy.Process);
  if (process.Value == ProcessHandle{}) return CopyOutcome::Failed;
  Dword code = 1;
  if (!WaitForTheCopy(process.Value) || !GetExitCodeProcess(process.Value, &code)) {
    return CopyOutcome::Failed;
  }
  return code == 0 ? CopyOutcome::Done : CopyOutcome::Failed;
}
