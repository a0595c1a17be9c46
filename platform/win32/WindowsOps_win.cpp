// WindowsOps over the real Win32 API: a thin layer that converts the
// program's portable types and adds the one thing the program cannot see
// from its side, the WOW64 view.
//
// A 32-bit program on 64-bit Windows is silently redirected: its
// HKEY_LOCAL_MACHINE\Software lands in the 32-bit view and its system
// directory in SysWOW64, where the 64-bit shell looks for neither. So under
// WOW64 the machine-wide root is opened in the 64-bit view and every file
// operation by path runs with file-system redirection turned off for the
// length of that one call. Where it cannot be turned off, the call fails
// without touching anything, and there is no system directory to give:
// the program would otherwise write a library where the shell never looks
// and report success. On 32-bit Windows nothing changes.
#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

#include "platform/WindowsFunctions.h"
#include "platform/Wow64.h"

namespace WindowsOps {
namespace {

// The machine-wide root key, as WindowsConstants.h spells it.
constexpr std::uintptr_t MachineRootValue = 0x80000002u;
constexpr std::uintptr_t UserRootValue = 0x80000001u;

HKEY ToNative(KeyHandle key) {
  switch (static_cast<std::uintptr_t>(key)) {
    case MachineRootValue:
      return HKEY_LOCAL_MACHINE;
    case UserRootValue:
      return HKEY_CURRENT_USER;
    default:
      return reinterpret_cast<HKEY>(key);
  }
}

HANDLE ToNative(FileHandle file) { return reinterpret_cast<HANDLE>(file); }
HANDLE ToNative(FindHandle find) { return reinterpret_cast<HANDLE>(find); }
HWND ToNative(WindowHandle window) { return reinterpret_cast<HWND>(window); }
HANDLE ToNative(MutexHandle mutex) { return reinterpret_cast<HANDLE>(mutex); }
HANDLE ToNative(ProcessHandle process) { return reinterpret_cast<HANDLE>(process); }
HANDLE ToNative(TokenHandle token) { return reinterpret_cast<HANDLE>(token); }
HMODULE ToNative(ModuleHandle module) { return reinterpret_cast<HMODULE>(module); }

// UTF-16 is Windows' own text: wchar_t is 16 bits wide there.
static_assert(sizeof(wchar_t) == sizeof(char16_t));
const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
wchar_t* Wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

// Looked up at run time: the oldest systems lack these exports, and a
// static import would keep the program from starting there. The type is
// the SDK's own declaration's, where the SDK has one.
template <typename Function>
Function ExportOf(HMODULE module, const char* name) {
  return module
             ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)))
             : nullptr;
}

template <typename Function>
Function Kernel32Export(const char* name) {
  return ExportOf<Function>(::GetModuleHandleA("kernel32.dll"), name);
}

// ADVAPI32 is imported, so loaded; its token calls are stubs that fail on
// 95, 98 and ME, and were never exported by some of their releases.
template <typename Function>
Function Advapi32Export(const char* name) {
  return ExportOf<Function>(::GetModuleHandleA("advapi32.dll"), name);
}

// Asked once: a process never moves in or out of WOW64. A plain flag, not
// a function-local static, whose guard would need a C runtime.
enum class Wow64Answer { Unknown, No, Yes };
constinit Wow64Answer Wow64 = Wow64Answer::Unknown;

bool IsWow64() {
  if (Wow64 == Wow64Answer::Unknown) {
    using IsWow64Process2Function = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
    using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
    std::optional<std::uint16_t> processMachine;
    USHORT process = 0;
    USHORT native = 0;
    auto isWow64Process2 = Kernel32Export<IsWow64Process2Function>("IsWow64Process2");
    if (isWow64Process2 && isWow64Process2(::GetCurrentProcess(), &process, &native)) {
      processMachine = process;
    }
    auto isWow64Process = Kernel32Export<IsWow64ProcessFunction>("IsWow64Process");
    BOOL wow64 = FALSE;
    const bool wow64Process =
        !processMachine && isWow64Process && isWow64Process(::GetCurrentProcess(), &wow64) && wow64;
    Wow64 = RunsUnderWow64(processMachine, wow64Process) ? Wow64Answer::Yes : Wow64Answer::No;
  }
  return Wow64 == Wow64Answer::Yes;
}

// Turns file-system redirection off for its lifetime, under WOW64 only.
// Reached() is false where the real system directory is out of reach: under
// WOW64 with redirection still on. The failed call's error stays the last.
class RedirectionOff {
 public:
  RedirectionOff() {
    if (!IsWow64()) return;
    using DisableFunction = BOOL(WINAPI*)(PVOID*);
    auto disable = Kernel32Export<DisableFunction>("Wow64DisableWow64FsRedirection");
    Active = disable && disable(&OldValue);
    Failed = !Active;
  }
  ~RedirectionOff() {
    if (!Active) return;
    // The caller may still ask for the wrapped call's error.
    const DWORD error = ::GetLastError();
    using RevertFunction = BOOL(WINAPI*)(PVOID);
    if (auto revert = Kernel32Export<RevertFunction>("Wow64RevertWow64FsRedirection")) {
      revert(OldValue);
    }
    ::SetLastError(error);
  }
  RedirectionOff(const RedirectionOff&) = delete;
  RedirectionOff& operator=(const RedirectionOff&) = delete;

  bool Reached() const { return !Failed; }

 private:
  PVOID OldValue = nullptr;
  bool Active = false;
  bool Failed = false;
};

REGSAM ViewFor(KeyHandle key, Dword samDesired) {
  if (static_cast<std::uintptr_t>(key) == MachineRootValue && IsWow64()) {
    return samDesired | KEY_WOW64_64KEY;
  }
  return samDesired;
}

}  // namespace

Dword GetVersion() { return ::GetVersion(); }

Dword GetACP() { return ::GetACP(); }

// Under WOW64 the directory named is reachable only with redirection off:
// where it cannot be turned off, there is no directory to give.
Dword GetSystemDirectoryA(char* buffer, Dword size) {
  {
    RedirectionOff redirection;
    if (!redirection.Reached()) return 0;
  }
  return ::GetSystemDirectoryA(buffer, size);
}

const char* GetCommandLineA() { return ::GetCommandLineA(); }

const char* CharNextA(const char* position) { return ::CharNextA(position); }

Dword CharUpperBuffA(char* text, Dword length) { return ::CharUpperBuffA(text, length); }

int MessageBoxA(WindowHandle owner, const char* text, const char* caption, Dword style) {
  return ::MessageBoxA(ToNative(owner), text, caption, style);
}

int MessageBoxW(WindowHandle owner, const char16_t* text, const char16_t* caption, Dword style) {
  return ::MessageBoxW(ToNative(owner), Wide(text), Wide(caption), style);
}

std::intptr_t SendMessageTimeoutA(WindowHandle window, Dword message, std::uintptr_t wParam,
                                  std::intptr_t lParam, Dword flags, Dword timeoutMs,
                                  std::uintptr_t* result) {
  // The Windows 95 and NT 4 references give the result no null option.
  DWORD_PTR answer = 0;
  LRESULT sent =
      ::SendMessageTimeoutA(ToNative(window), message, wParam, lParam, flags, timeoutMs, &answer);
  if (result) *result = answer;
  return sent;
}

namespace {

struct Visit {
  WindowVisitor Visitor;
  std::intptr_t Context;
};

BOOL CALLBACK VisitWindow(HWND window, LPARAM visit) {
  const Visit& v = *reinterpret_cast<const Visit*>(visit);
  return v.Visitor(WindowHandle{reinterpret_cast<std::uintptr_t>(window)}, v.Context);
}

}  // namespace

bool EnumWindows(WindowVisitor visit, std::intptr_t context) {
  Visit v{visit, context};
  return ::EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&v));
}

bool EnumThreadWindows(Dword threadId, WindowVisitor visit, std::intptr_t context) {
  Visit v{visit, context};
  return ::EnumThreadWindows(threadId, VisitWindow, reinterpret_cast<LPARAM>(&v));
}

Dword GetWindowThreadProcessId(WindowHandle window) {
  return ::GetWindowThreadProcessId(ToNative(window), nullptr);
}

WindowHandle FindWindowA(const char* className, const char* windowName) {
  return WindowHandle{reinterpret_cast<std::uintptr_t>(::FindWindowA(className, windowName))};
}

WindowHandle GetShellWindow() {
  using GetShellWindowFunction = HWND(WINAPI*)();
  auto getShellWindow =
      ExportOf<GetShellWindowFunction>(::GetModuleHandleA("user32.dll"), "GetShellWindow");
  return WindowHandle{
      reinterpret_cast<std::uintptr_t>(getShellWindow ? getShellWindow() : nullptr)};
}

Status RegCreateKeyExA(KeyHandle key, const char* subKey, Dword options, Dword samDesired,
                       KeyHandle* result) {
  HKEY opened = nullptr;
  // The Windows 95 and NT 4 references make neither the class nor the
  // disposition optional, so both are real (the class empty, as for a key
  // created with RegCreateKeyA).
  char noClass[] = "";
  DWORD disposition = 0;
  LONG status = ::RegCreateKeyExA(ToNative(key), subKey, 0, noClass, options,
                                  ViewFor(key, samDesired), nullptr, &opened, &disposition);
  if (status == ERROR_SUCCESS)
    *result = static_cast<KeyHandle>(reinterpret_cast<std::uintptr_t>(opened));
  return status;
}

Status RegOpenKeyExA(KeyHandle key, const char* subKey, Dword samDesired, KeyHandle* result) {
  HKEY opened = nullptr;
  LONG status = ::RegOpenKeyExA(ToNative(key), subKey, 0, ViewFor(key, samDesired), &opened);
  if (status == ERROR_SUCCESS)
    *result = static_cast<KeyHandle>(reinterpret_cast<std::uintptr_t>(opened));
  return status;
}

Status RegQueryValueExA(KeyHandle key, const char* valueName, Dword* type, unsigned char* data,
                        Dword* dataSize) {
  DWORD nativeType = 0;
  DWORD nativeSize = dataSize ? *dataSize : 0;
  LONG status = ::RegQueryValueExA(ToNative(key), valueName, nullptr, type ? &nativeType : nullptr,
                                   data, dataSize ? &nativeSize : nullptr);
  if (type) *type = nativeType;
  if (dataSize) *dataSize = nativeSize;
  return status;
}

Status RegSetValueExA(KeyHandle key, const char* valueName, Dword type, const unsigned char* data,
                      Dword dataSize) {
  return ::RegSetValueExA(ToNative(key), valueName, 0, type, data, dataSize);
}

Status RegDeleteValueA(KeyHandle key, const char* valueName) {
  return ::RegDeleteValueA(ToNative(key), valueName);
}

Status RegDeleteKeyA(KeyHandle key, const char* subKey) {
  return ::RegDeleteKeyA(ToNative(key), subKey);
}

Status RegQueryInfoKeyA(KeyHandle key, Dword* subKeys, Dword* values) {
  DWORD nativeSubKeys = 0;
  DWORD nativeValues = 0;
  // The Windows 95 and NT 4 references make no out-parameter optional.
  char noClass[1] = "";
  DWORD classLength = sizeof noClass;
  DWORD longestSubKey = 0, longestClass = 0, longestName = 0, longestData = 0, security = 0;
  FILETIME written{};
  LONG status = ::RegQueryInfoKeyA(ToNative(key), noClass, &classLength, nullptr, &nativeSubKeys,
                                   &longestSubKey, &longestClass, &nativeValues, &longestName,
                                   &longestData, &security, &written);
  *subKeys = nativeSubKeys;
  *values = nativeValues;
  return status;
}

Status RegCloseKey(KeyHandle key) { return ::RegCloseKey(ToNative(key)); }

FindHandle FindFirstFileA(const char* fileName, FindData* findData) {
  WIN32_FIND_DATAA found{};
  HANDLE find = INVALID_HANDLE_VALUE;
  {
    RedirectionOff redirection;
    if (redirection.Reached()) find = ::FindFirstFileA(fileName, &found);
  }
  if (find != INVALID_HANDLE_VALUE) {
    findData->FileAttributes = found.dwFileAttributes;
    findData->FileSizeHigh = found.nFileSizeHigh;
    findData->FileSizeLow = found.nFileSizeLow;
  }
  return static_cast<FindHandle>(reinterpret_cast<std::uintptr_t>(find));
}

bool FindClose(FindHandle find) { return ::FindClose(ToNative(find)); }

FileHandle CreateFileA(const char* fileName, Dword desiredAccess, Dword shareMode,
                       Dword creationDisposition, Dword flagsAndAttributes) {
  RedirectionOff redirection;
  HANDLE file = redirection.Reached()
                    ? ::CreateFileA(fileName, desiredAccess, shareMode, nullptr,
                                    creationDisposition, flagsAndAttributes, nullptr)
                    : INVALID_HANDLE_VALUE;
  return static_cast<FileHandle>(reinterpret_cast<std::uintptr_t>(file));
}

Dword GetLastError() { return ::GetLastError(); }

Dword GetFileSize(FileHandle file, Dword* fileSizeHigh) {
  DWORD high = 0;
  DWORD low = ::GetFileSize(ToNative(file), &high);
  if (fileSizeHigh) *fileSizeHigh = high;
  return low;
}

bool ReadFile(FileHandle file, void* buffer, Dword bytesToRead, Dword* bytesRead) {
  DWORD read = 0;
  BOOL ok = ::ReadFile(ToNative(file), buffer, bytesToRead, &read, nullptr);
  *bytesRead = read;
  return ok;
}

bool WriteFile(FileHandle file, const void* buffer, Dword bytesToWrite, Dword* bytesWritten) {
  DWORD written = 0;
  BOOL ok = ::WriteFile(ToNative(file), buffer, bytesToWrite, &written, nullptr);
  *bytesWritten = written;
  return ok;
}

bool FlushFileBuffers(FileHandle file) { return ::FlushFileBuffers(ToNative(file)); }

bool CloseHandle(FileHandle file) { return ::CloseHandle(ToNative(file)); }

bool SetFileAttributesA(const char* fileName, Dword fileAttributes) {
  RedirectionOff redirection;
  return redirection.Reached() && ::SetFileAttributesA(fileName, fileAttributes);
}

bool DeleteFileA(const char* fileName) {
  RedirectionOff redirection;
  return redirection.Reached() && ::DeleteFileA(fileName);
}

MutexHandle CreateMutexA(const char* name) {
  return static_cast<MutexHandle>(
      reinterpret_cast<std::uintptr_t>(::CreateMutexA(nullptr, FALSE, name)));
}

Dword WaitForSingleObject(MutexHandle mutex, Dword milliseconds) {
  return ::WaitForSingleObject(ToNative(mutex), milliseconds);
}

bool ReleaseMutex(MutexHandle mutex) { return ::ReleaseMutex(ToNative(mutex)); }

bool CloseHandle(MutexHandle mutex) { return ::CloseHandle(ToNative(mutex)); }

void Sleep(Dword milliseconds) { ::Sleep(milliseconds); }

Dword GetTickCount() { return ::GetTickCount(); }

bool OpenProcessToken(Dword desiredAccess, TokenHandle* token) {
  auto open = Advapi32Export<decltype(&::OpenProcessToken)>("OpenProcessToken");
  HANDLE opened = nullptr;
  if (!open) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return false;
  }
  if (!open(::GetCurrentProcess(), desiredAccess, &opened)) return false;
  *token = static_cast<TokenHandle>(reinterpret_cast<std::uintptr_t>(opened));
  return true;
}

bool GetTokenInformation(TokenHandle token, Dword informationClass, void* information, Dword length,
                         Dword* returnLength) {
  auto query = Advapi32Export<decltype(&::GetTokenInformation)>("GetTokenInformation");
  DWORD returned = 0;
  if (!query) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return false;
  }
  const BOOL ok = query(ToNative(token), static_cast<TOKEN_INFORMATION_CLASS>(informationClass),
                        information, length, &returned);
  *returnLength = returned;
  return ok;
}

bool CloseHandle(TokenHandle token) { return ::CloseHandle(ToNative(token)); }

bool SetDllDirectoryW(const char16_t* pathName) {
  using SetDirectoryFunction = BOOL(WINAPI*)(LPCWSTR);
  auto set = Kernel32Export<SetDirectoryFunction>("SetDllDirectoryW");
  if (!set) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return false;
  }
  return set(Wide(pathName));
}

bool SetDefaultDllDirectories(Dword directoryFlags) {
  using SetDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  auto set = Kernel32Export<SetDirectoriesFunction>("SetDefaultDllDirectories");
  if (!set) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return false;
  }
  return set(directoryFlags);
}

// Loaded DLLs stay to the process's end: the shell may leave work of its
// own running in SHELL32.
ModuleHandle LoadLibraryExA(const char* fileName, Dword flags) {
  return static_cast<ModuleHandle>(
      reinterpret_cast<std::uintptr_t>(::LoadLibraryExA(fileName, nullptr, flags)));
}

Dword GetModuleFileNameW(char16_t* buffer, Dword size) {
  auto name = Kernel32Export<decltype(&::GetModuleFileNameW)>("GetModuleFileNameW");
  return name ? name(nullptr, Wide(buffer), size) : 0;
}

Dword GetDriveTypeW(const char16_t* rootPathName) {
  auto type = Kernel32Export<decltype(&::GetDriveTypeW)>("GetDriveTypeW");
  return type ? type(Wide(rootPathName)) : DRIVE_UNKNOWN;
}

Dword GetSystemDirectoryW(char16_t* buffer, Dword size) {
  auto directory = Kernel32Export<decltype(&::GetSystemDirectoryW)>("GetSystemDirectoryW");
  return directory ? directory(Wide(buffer), size) : 0;
}

// The program's own image, which WOW64 does not redirect away from.
FileHandle CreateFileW(const char16_t* fileName, Dword desiredAccess, Dword shareMode,
                       Dword creationDisposition, Dword flagsAndAttributes) {
  auto create = Kernel32Export<decltype(&::CreateFileW)>("CreateFileW");
  HANDLE file = create ? create(Wide(fileName), desiredAccess, shareMode, nullptr,
                                creationDisposition, flagsAndAttributes, nullptr)
                       : INVALID_HANDLE_VALUE;
  return static_cast<FileHandle>(reinterpret_cast<std::uintptr_t>(file));
}

Dword GetFinalPathNameByHandleW(FileHandle file, char16_t* filePath, Dword size, Dword flags) {
  using FinalPathFunction = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
  auto final = Kernel32Export<FinalPathFunction>("GetFinalPathNameByHandleW");
  if (!final) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return 0;
  }
  return final(ToNative(file), Wide(filePath), size, flags);
}

std::int32_t CoInitializeEx(ModuleHandle ole32, Dword coInit) {
  auto initialize = ExportOf<decltype(&::CoInitializeEx)>(ToNative(ole32), "CoInitializeEx");
  return initialize ? initialize(nullptr, coInit) : E_NOINTERFACE;
}

void CoUninitialize(ModuleHandle ole32) {
  if (auto uninitialize =
          ExportOf<decltype(&::CoUninitialize)>(ToNative(ole32), "CoUninitialize")) {
    uninitialize();
  }
}

bool ShellExecuteExW(ModuleHandle shell32, ShellExecuteInfo* info) {
  auto execute = ExportOf<decltype(&::ShellExecuteExW)>(ToNative(shell32), "ShellExecuteExW");
  if (!execute) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return false;
  }
  SHELLEXECUTEINFOW native{};
  native.cbSize = sizeof native;
  native.fMask = info->Mask;
  native.hwnd = ToNative(info->Window);
  native.lpVerb = Wide(info->Verb);
  native.lpFile = Wide(info->File);
  native.lpParameters = Wide(info->Parameters);
  native.lpDirectory = Wide(info->Directory);
  native.nShow = info->Show;
  const BOOL started = execute(&native);
  info->Process = static_cast<ProcessHandle>(reinterpret_cast<std::uintptr_t>(native.hProcess));
  return started;
}

void SHChangeNotify(ModuleHandle shell32, Dword eventId, Dword flags) {
  if (auto notify = ExportOf<decltype(&::SHChangeNotify)>(ToNative(shell32), "SHChangeNotify")) {
    notify(static_cast<LONG>(eventId), flags, nullptr, nullptr);
  }
}

Dword WNetGetUniversalNameW(ModuleHandle mpr, const char16_t* localPath, char16_t* universalName,
                            Dword size) {
  auto get = ExportOf<decltype(&::WNetGetUniversalNameW)>(ToNative(mpr), "WNetGetUniversalNameW");
  if (!get) return ERROR_PROC_NOT_FOUND;
  // The name comes after the structure that points at it, in one block.
  union {
    UNIVERSAL_NAME_INFOW info;
    unsigned char bytes[sizeof(UNIVERSAL_NAME_INFOW) + 1024 * sizeof(wchar_t)];
  } answer{};
  DWORD bytes = sizeof answer;
  const DWORD status = get(Wide(localPath), UNIVERSAL_NAME_INFO_LEVEL, &answer, &bytes);
  if (status != NO_ERROR) return status;
  const wchar_t* name = answer.info.lpUniversalName;
  if (!name) return ERROR_BAD_NET_NAME;
  Dword length = 0;
  while (name[length] != L'\0') {
    if (length + 1 >= size) return ERROR_MORE_DATA;
    universalName[length] = static_cast<char16_t>(name[length]);
    ++length;
  }
  universalName[length] = u'\0';
  return NO_ERROR;
}

bool GetExitCodeProcess(ProcessHandle process, Dword* exitCode) {
  DWORD code = 0;
  const BOOL ok = ::GetExitCodeProcess(ToNative(process), &code);
  *exitCode = code;
  return ok;
}

bool CloseHandle(ProcessHandle process) { return ::CloseHandle(ToNative(process)); }

WindowHandle CreateWindowExA(Dword exStyle, const char* className, Dword style) {
  return static_cast<WindowHandle>(reinterpret_cast<std::uintptr_t>(::CreateWindowExA(
      exStyle, className, "", style, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr)));
}

bool SetForegroundWindow(WindowHandle window) { return ::SetForegroundWindow(ToNative(window)); }

bool DestroyWindow(WindowHandle window) { return ::DestroyWindow(ToNative(window)); }

Dword MsgWaitForMultipleObjects(ProcessHandle process, Dword milliseconds, Dword wakeMask) {
  HANDLE handles[] = {ToNative(process)};
  return ::MsgWaitForMultipleObjects(1, handles, FALSE, milliseconds, wakeMask);
}

// With no object, Windows answers WAIT_OBJECT_0 for messages: the seam
// answers WAIT_OBJECT_0 + 1 for them whatever it waits on.
Dword MsgWaitForMultipleObjects(MutexHandle mutex, Dword milliseconds, Dword wakeMask) {
  HANDLE handles[] = {ToNative(mutex)};
  const DWORD count = mutex == MutexHandle{} ? 0 : 1;
  const DWORD answer = ::MsgWaitForMultipleObjects(count, handles, FALSE, milliseconds, wakeMask);
  return count == 0 && answer == WAIT_OBJECT_0 ? WAIT_OBJECT_0 + 1 : answer;
}

bool PeekMessageA(WindowMessage* message, Dword removeMessage) {
  MSG native{};
  if (!::PeekMessageA(&native, nullptr, 0, 0, removeMessage)) return false;
  message->Window = static_cast<WindowHandle>(reinterpret_cast<std::uintptr_t>(native.hwnd));
  message->Message = native.message;
  message->WParam = native.wParam;
  message->LParam = native.lParam;
  message->Time = native.time;
  message->X = native.pt.x;
  message->Y = native.pt.y;
  return true;
}

std::intptr_t DispatchMessageA(const WindowMessage* message) {
  MSG native{};
  native.hwnd = ToNative(message->Window);
  native.message = message->Message;
  native.wParam = message->WParam;
  native.lParam = message->LParam;
  native.time = message->Time;
  native.pt.x = message->X;
  native.pt.y = message->Y;
  return ::DispatchMessageA(&native);
}

void* HeapAlloc(std::size_t bytes) { return ::HeapAlloc(::GetProcessHeap(), 0, bytes); }

bool HeapFree(void* memory) { return ::HeapFree(::GetProcessHeap(), 0, memory); }

void ExitProcess(Dword exitCode) { ::ExitProcess(exitCode); }

}  // namespace WindowsOps
