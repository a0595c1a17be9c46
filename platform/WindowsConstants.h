// The Win32 constants the program uses, with their Win32 values.
//
// <windows.h> defines most of these names as macros, so this header must
// never be seen after it in one translation unit; win32/ConstantsMatch_win.cpp
// checks each value against the SDK's.
#pragma once

#include "platform/WindowsTypes.h"

namespace WindowsOps {

inline constexpr KeyHandle HKEY_CURRENT_USER{0x80000001u};
inline constexpr KeyHandle HKEY_LOCAL_MACHINE{0x80000002u};

inline constexpr Dword KEY_QUERY_VALUE = 0x0001;
inline constexpr Dword KEY_SET_VALUE = 0x0002;
inline constexpr Dword REG_OPTION_NON_VOLATILE = 0;
inline constexpr Dword REG_NONE = 0;
inline constexpr Dword REG_SZ = 1;
inline constexpr Dword REG_EXPAND_SZ = 2;
inline constexpr Dword REG_BINARY = 3;
inline constexpr Dword REG_DWORD = 4;
inline constexpr Status ERROR_SUCCESS = 0;
inline constexpr Status ERROR_FILE_NOT_FOUND = 2;
inline constexpr Status ERROR_ACCESS_DENIED = 5;
inline constexpr Status ERROR_MORE_DATA = 234;
inline constexpr Dword ERROR_FILE_EXISTS = 80;
// As GetLastError gives it, where the Reg* functions return it as a Status.
inline constexpr Dword ERROR_ACCESS_DENIED_CODE = 5;
inline constexpr Dword ERROR_PATH_NOT_FOUND = 3;
inline constexpr Dword ERROR_INVALID_PARAMETER = 87;
inline constexpr Dword ERROR_INVALID_NAME = 123;
inline constexpr Dword ERROR_BAD_PATHNAME = 161;
inline constexpr Dword ERROR_CANCELLED = 1223;

inline constexpr Dword WAIT_OBJECT_0 = 0;
inline constexpr Dword WAIT_FAILED = 0xFFFFFFFF;
inline constexpr Dword WAIT_ABANDONED = 0x80;
inline constexpr Dword WAIT_TIMEOUT = 0x102;
inline constexpr Dword INFINITE = 0xFFFFFFFF;

inline constexpr Dword TOKEN_QUERY = 0x0008;
inline constexpr Dword TokenElevation = 20;  // a TOKEN_INFORMATION_CLASS
inline constexpr Dword SEE_MASK_NOCLOSEPROCESS = 0x0040;
inline constexpr Dword SEE_MASK_NOASYNC = 0x0100;
inline constexpr Dword SEE_MASK_FLAG_NO_UI = 0x0400;
inline constexpr Dword SEE_MASK_NOZONECHECKS = 0x00800000;
inline constexpr Dword DRIVE_NO_ROOT_DIR = 1;
inline constexpr Dword DRIVE_REMOTE = 4;
inline constexpr Dword NO_ERROR = 0;
inline constexpr Dword LOAD_WITH_ALTERED_SEARCH_PATH = 0x0008;
inline constexpr Dword LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x0800;
inline constexpr Dword FILE_SHARE_DELETE = 4;
inline constexpr Dword VOLUME_NAME_DOS = 0;
inline constexpr Dword COINIT_APARTMENTTHREADED = 0x2;
inline constexpr Dword COINIT_DISABLE_OLE1DDE = 0x4;
// As Vista and 7 know it: the SDK's for 8 and later adds touch and pointer
// input, which those systems refuse with ERROR_INVALID_PARAMETER.
inline constexpr Dword QS_ALLINPUT = 0x04FF;
inline constexpr Dword PM_REMOVE = 0x0001;
inline constexpr Dword SHCNE_ASSOCCHANGED = 0x08000000;
inline constexpr Dword SHCNF_IDLIST = 0;
inline constexpr Dword WS_POPUP = 0x80000000;
inline constexpr Dword WS_EX_TOOLWINDOW = 0x00000080;
inline constexpr int SW_SHOWNORMAL = 1;

inline constexpr WindowHandle HWND_BROADCAST{0xFFFF};
inline constexpr Dword WM_WININICHANGE = 0x001A;
inline constexpr Dword SMTO_NORMAL = 0x0000;
inline constexpr Dword SMTO_ABORTIFHUNG = 0x0002;

inline constexpr Dword MB_YESNO = 0x04;
inline constexpr Dword MB_ICONERROR = 0x10;
inline constexpr Dword MB_ICONQUESTION = 0x20;
inline constexpr Dword MB_ICONINFORMATION = 0x40;
inline constexpr Dword MB_SETFOREGROUND = 0x10000;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

inline constexpr Dword GENERIC_READ = 0x80000000;
inline constexpr Dword GENERIC_WRITE = 0x40000000;
inline constexpr Dword FILE_SHARE_READ = 1;
inline constexpr Dword FILE_SHARE_WRITE = 2;
// The only two dispositions: the program never empties or replaces a file.
inline constexpr Dword CREATE_NEW = 1;
inline constexpr Dword OPEN_EXISTING = 3;
inline constexpr Dword FILE_ATTRIBUTE_READONLY = 0x01;
inline constexpr Dword FILE_ATTRIBUTE_HIDDEN = 0x02;
inline constexpr Dword FILE_ATTRIBUTE_SYSTEM = 0x04;
inline constexpr Dword FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr Dword FILE_ATTRIBUTE_ARCHIVE = 0x20;
inline constexpr Dword FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr Dword INVALID_FILE_SIZE = 0xFFFFFFFF;
inline constexpr FileHandle INVALID_HANDLE_VALUE{~std::uintptr_t{0}};
inline constexpr FindHandle INVALID_FIND_HANDLE{~std::uintptr_t{0}};

}  // namespace WindowsOps
