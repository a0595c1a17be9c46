// The Windows operations the program relies on, under their Win32 names and
// with the parameters it uses. win32/ implements them over the real API; the
// tests supply a model of Windows in their place.
//
// Reg* functions answer with their status; the others answer as their Win32
// namesakes do (a BOOL as bool, a handle, a size).
#pragma once

#include <cstddef>

#include "platform/WindowsTypes.h"

namespace WindowsOps {

Dword GetVersion();
// The system's ANSI code page: the one the A functions read their text in.
Dword GetACP();
Dword GetSystemDirectoryA(char* buffer, Dword size);
const char* GetCommandLineA();
const char* CharNextA(const char* position);
Dword CharUpperBuffA(char* text, Dword length);

int MessageBoxA(WindowHandle owner, const char* text, const char* caption, Dword style);
// 0 where the box could not be shown, as MessageBoxA.
int MessageBoxW(WindowHandle owner, const char16_t* text, const char16_t* caption, Dword style);
// Answers nonzero when every window handled the message or the wait gave up
// on a hung one; *result may be null.
std::intptr_t SendMessageTimeoutA(WindowHandle window, Dword message, std::uintptr_t wParam,
                                  std::intptr_t lParam, Dword flags, Dword timeoutMs,
                                  std::uintptr_t* result);
// The top-level windows, each handed to visit with context until it
// answers false; false where they cannot be listed.
using WindowVisitor = bool (*)(WindowHandle window, std::intptr_t context);
bool EnumWindows(WindowVisitor visit, std::intptr_t context);
// Those of one thread alone.
bool EnumThreadWindows(Dword threadId, WindowVisitor visit, std::intptr_t context);
// The thread that made a window; 0 for a window that is gone.
Dword GetWindowThreadProcessId(WindowHandle window);
WindowHandle FindWindowA(const char* className, const char* windowName);
// The shell's desktop window: looked up at run time, since it came with
// Windows 2000; null before it, and where no shell runs.
WindowHandle GetShellWindow();

Status RegCreateKeyExA(KeyHandle key, const char* subKey, Dword options, Dword samDesired,
                       KeyHandle* result);
Status RegOpenKeyExA(KeyHandle key, const char* subKey, Dword samDesired, KeyHandle* result);
Status RegQueryValueExA(KeyHandle key, const char* valueName, Dword* type, unsigned char* data,
                        Dword* dataSize);
Status RegSetValueExA(KeyHandle key, const char* valueName, Dword type, const unsigned char* data,
                      Dword dataSize);
Status RegDeleteValueA(KeyHandle key, const char* valueName);
Status RegDeleteKeyA(KeyHandle key, const char* subKey);
// How many subkeys and values the key holds.
Status RegQueryInfoKeyA(KeyHandle key, Dword* subKeys, Dword* values);
Status RegCloseKey(KeyHandle key);

FindHandle FindFirstFileA(const char* fileName, FindData* findData);
bool FindClose(FindHandle find);
FileHandle CreateFileA(const char* fileName, Dword desiredAccess, Dword shareMode,
                       Dword creationDisposition, Dword flagsAndAttributes);
// After CreateFileA: ERROR_FILE_EXISTS when CREATE_NEW met a file.
Dword GetLastError();
Dword GetFileSize(FileHandle file, Dword* fileSizeHigh);
bool ReadFile(FileHandle file, void* buffer, Dword bytesToRead, Dword* bytesRead);
bool WriteFile(FileHandle file, const void* buffer, Dword bytesToWrite, Dword* bytesWritten);
// Puts what was written on the disk before it counts as written.
bool FlushFileBuffers(FileHandle file);
bool CloseHandle(FileHandle file);
bool SetFileAttributesA(const char* fileName, Dword fileAttributes);
bool DeleteFileA(const char* fileName);

// A named mutex, not owned at first, with the default security: null where
// it could not be had, and then GetLastError says why (ERROR_ACCESS_DENIED:
// it exists and is another user's; ERROR_PATH_NOT_FOUND and the like: the
// system takes no namespace in the name).
MutexHandle CreateMutexA(const char* name);
// WAIT_OBJECT_0, WAIT_ABANDONED (taken over from a process that ended
// holding it), WAIT_TIMEOUT or WAIT_FAILED.
Dword WaitForSingleObject(MutexHandle mutex, Dword milliseconds);
bool ReleaseMutex(MutexHandle mutex);
bool CloseHandle(MutexHandle mutex);
void Sleep(Dword milliseconds);
// Milliseconds since the system started, wrapping after 49.7 days.
Dword GetTickCount();

// The program's own token and its rights. Looked up at run time: 95, 98
// and ME answer false, and Windows before Vista knows no TokenElevation.
bool OpenProcessToken(Dword desiredAccess, TokenHandle* token);
bool GetTokenInformation(TokenHandle token, Dword informationClass, void* information, Dword length,
                         Dword* returnLength);
bool CloseHandle(TokenHandle token);

// The DLL search. Each looked up at run time: SetDllDirectoryW from XP
// SP1, SetDefaultDllDirectories from 8, and on Vista and 7 with the update
// that added it; false, with ERROR_PROC_NOT_FOUND, where it is missing.
bool SetDllDirectoryW(const char16_t* pathName);
bool SetDefaultDllDirectories(Dword directoryFlags);
// Null where the DLL cannot be loaded.
ModuleHandle LoadLibraryExA(const char* fileName, Dword flags);

// Vista and later, each looked up at run time: where the token answers
// TokenElevation, these exist.
// The program's own executable, the kind of drive a root names, the
// system directory, and a file's final path (a handle opened by
// CreateFileW, closed with CloseHandle).
Dword GetModuleFileNameW(char16_t* buffer, Dword size);
Dword GetDriveTypeW(const char16_t* rootPathName);
Dword GetSystemDirectoryW(char16_t* buffer, Dword size);
FileHandle CreateFileW(const char16_t* fileName, Dword desiredAccess, Dword shareMode,
                       Dword creationDisposition, Dword flagsAndAttributes);
Dword GetFinalPathNameByHandleW(FileHandle file, char16_t* filePath, Dword size, Dword flags);
// OLE32's, from the module given: the COM apartment of this thread, as
// ShellExecuteExW asks for; an HRESULT, or E_NOINTERFACE where the call is
// not to be had. CoUninitialize only after a CoInitializeEx that succeeded.
std::int32_t CoInitializeEx(ModuleHandle ole32, Dword coInit);
void CoUninitialize(ModuleHandle ole32);
// SHELL32's, from the module given: false where it is not to be had, or
// the start failed (ERROR_CANCELLED: the user refused the rights asked for).
bool ShellExecuteExW(ModuleHandle shell32, ShellExecuteInfo* info);
void SHChangeNotify(ModuleHandle shell32, Dword eventId, Dword flags);
// MPR's: the UNC name of a file on a mapped drive, NUL-ended within size
// characters; NO_ERROR or why not.
Dword WNetGetUniversalNameW(ModuleHandle mpr, const char16_t* localPath, char16_t* universalName,
                            Dword size);
bool GetExitCodeProcess(ProcessHandle process, Dword* exitCode);
bool CloseHandle(ProcessHandle process);

// A window of the program's own, never shown, of a class the system
// registers; null where it cannot be made. Its thread answers what is sent
// to it while it waits for a process: WAIT_OBJECT_0 when the process has
// ended, WAIT_OBJECT_0 + 1 when messages came, that PeekMessageA then
// takes out (and answers those sent) and DispatchMessageA hands on.
WindowHandle CreateWindowExA(Dword exStyle, const char* className, Dword style);
bool SetForegroundWindow(WindowHandle window);
bool DestroyWindow(WindowHandle window);
Dword MsgWaitForMultipleObjects(ProcessHandle process, Dword milliseconds, Dword wakeMask);
// The same on a mutex, answering WAIT_ABANDONED where it was; on none (a
// null handle), the time or the messages alone.
Dword MsgWaitForMultipleObjects(MutexHandle mutex, Dword milliseconds, Dword wakeMask);
bool PeekMessageA(WindowMessage* message, Dword removeMessage);
std::intptr_t DispatchMessageA(const WindowMessage* message);

// The process heap. HeapAlloc answers null where memory is refused.
void* HeapAlloc(std::size_t bytes);
bool HeapFree(void* memory);

// Ends the process on Windows. A stand-in for Windows may return, so callers
// must not rely on it not returning.
void ExitProcess(Dword exitCode);

}  // namespace WindowsOps
