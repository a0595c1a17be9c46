// Proves at compile time that the program's own constants carry the SDK's
// values. Ours are copied under other names before <windows.h> turns the
// Win32 names into macros.
#include <cstdint>

#include "platform/WindowsConstants.h"

namespace Ours {
using namespace WindowsOps;
constexpr auto UserRoot = static_cast<std::uintptr_t>(HKEY_CURRENT_USER);
constexpr auto MachineRoot = static_cast<std::uintptr_t>(HKEY_LOCAL_MACHINE);
constexpr auto QueryValue = KEY_QUERY_VALUE;
constexpr auto SetValue = KEY_SET_VALUE;
constexpr auto NonVolatile = REG_OPTION_NON_VOLATILE;
constexpr auto None = REG_NONE;
constexpr auto Sz = REG_SZ;
constexpr auto ExpandSz = REG_EXPAND_SZ;
constexpr auto Binary = REG_BINARY;
constexpr auto DwordType = REG_DWORD;
constexpr auto Success = ERROR_SUCCESS;
constexpr auto FileNotFound = ERROR_FILE_NOT_FOUND;
constexpr auto AccessDenied = ERROR_ACCESS_DENIED;
constexpr auto MoreData = ERROR_MORE_DATA;
constexpr auto FileExists = ERROR_FILE_EXISTS;
constexpr auto AccessDeniedCode = ERROR_ACCESS_DENIED_CODE;
constexpr auto InvalidParameter = ERROR_INVALID_PARAMETER;
constexpr auto PathNotFound = ERROR_PATH_NOT_FOUND;
constexpr auto InvalidName = ERROR_INVALID_NAME;
constexpr auto BadPathname = ERROR_BAD_PATHNAME;
constexpr auto Cancelled = ERROR_CANCELLED;
constexpr auto TokenQuery = TOKEN_QUERY;
constexpr auto ElevationClass = TokenElevation;
constexpr auto NoCloseProcess = SEE_MASK_NOCLOSEPROCESS;
constexpr auto NoAsync = SEE_MASK_NOASYNC;
constexpr auto NoUi = SEE_MASK_FLAG_NO_UI;
constexpr auto NoZoneChecks = SEE_MASK_NOZONECHECKS;
constexpr auto Remote = DRIVE_REMOTE;
constexpr auto NoError = NO_ERROR;
constexpr auto SearchSystem32 = LOAD_LIBRARY_SEARCH_SYSTEM32;
constexpr auto AssocChanged = SHCNE_ASSOCCHANGED;
constexpr auto IdList = SHCNF_IDLIST;
constexpr auto Popup = WS_POPUP;
constexpr auto ToolWindow = WS_EX_TOOLWINDOW;
constexpr auto AlteredSearchPath = LOAD_WITH_ALTERED_SEARCH_PATH;
constexpr auto ShareDelete = FILE_SHARE_DELETE;
constexpr auto VolumeNameDos = VOLUME_NAME_DOS;
constexpr auto ApartmentThreaded = COINIT_APARTMENTTHREADED;
constexpr auto DisableOle1Dde = COINIT_DISABLE_OLE1DDE;
constexpr auto AllInput = QS_ALLINPUT;
constexpr auto Remove = PM_REMOVE;
constexpr auto WaitFailed = WAIT_FAILED;
constexpr auto NoRootDir = DRIVE_NO_ROOT_DIR;
constexpr auto SetForeground = MB_SETFOREGROUND;
constexpr auto ShowNormal = SW_SHOWNORMAL;
constexpr auto WaitObject0 = WAIT_OBJECT_0;
constexpr auto WaitAbandoned = WAIT_ABANDONED;
constexpr auto WaitTimeout = WAIT_TIMEOUT;
constexpr auto Infinite = INFINITE;
constexpr auto Broadcast = static_cast<std::uintptr_t>(HWND_BROADCAST);
constexpr auto WinIniChange = WM_WININICHANGE;
constexpr auto AbortIfHung = SMTO_ABORTIFHUNG;
constexpr auto NormalSend = SMTO_NORMAL;
constexpr auto YesNo = MB_YESNO;
constexpr auto IconError = MB_ICONERROR;
constexpr auto IconQuestion = MB_ICONQUESTION;
constexpr auto IconInformation = MB_ICONINFORMATION;
constexpr auto Yes = IDYES;
constexpr auto No = IDNO;
constexpr auto Read = GENERIC_READ;
constexpr auto Write = GENERIC_WRITE;
constexpr auto ShareRead = FILE_SHARE_READ;
constexpr auto ShareWrite = FILE_SHARE_WRITE;
constexpr auto CreateNew = CREATE_NEW;
constexpr auto OpenExisting = OPEN_EXISTING;
constexpr auto ReadOnly = FILE_ATTRIBUTE_READONLY;
constexpr auto Hidden = FILE_ATTRIBUTE_HIDDEN;
constexpr auto System = FILE_ATTRIBUTE_SYSTEM;
constexpr auto Directory = FILE_ATTRIBUTE_DIRECTORY;
constexpr auto Archive = FILE_ATTRIBUTE_ARCHIVE;
constexpr auto Normal = FILE_ATTRIBUTE_NORMAL;
constexpr auto InvalidFileSize = INVALID_FILE_SIZE;
constexpr auto InvalidHandle = static_cast<std::uintptr_t>(INVALID_HANDLE_VALUE);
}  // namespace Ours

#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

// Root keys and handles are pointer casts in the SDK, not constant
// expressions; their 32-bit values are compared as numbers.
static_assert(Ours::UserRoot == 0x80000001u && Ours::MachineRoot == 0x80000002u);
static_assert(Ours::Broadcast == 0xFFFF && Ours::InvalidHandle == ~std::uintptr_t{0});
static_assert(Ours::QueryValue == KEY_QUERY_VALUE && Ours::SetValue == KEY_SET_VALUE);
static_assert(Ours::NonVolatile == REG_OPTION_NON_VOLATILE);
static_assert(Ours::None == REG_NONE && Ours::Sz == REG_SZ && Ours::ExpandSz == REG_EXPAND_SZ);
static_assert(Ours::Binary == REG_BINARY && Ours::DwordType == REG_DWORD);
static_assert(Ours::Success == ERROR_SUCCESS && Ours::FileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(Ours::AccessDenied == ERROR_ACCESS_DENIED && Ours::MoreData == ERROR_MORE_DATA);
static_assert(Ours::FileExists == ERROR_FILE_EXISTS &&
              Ours::AccessDeniedCode == ERROR_ACCESS_DENIED);
static_assert(Ours::InvalidParameter == ERROR_INVALID_PARAMETER);
static_assert(Ours::PathNotFound == ERROR_PATH_NOT_FOUND &&
              Ours::InvalidName == ERROR_INVALID_NAME);
static_assert(Ours::BadPathname == ERROR_BAD_PATHNAME && Ours::Cancelled == ERROR_CANCELLED);
static_assert(Ours::TokenQuery == TOKEN_QUERY && Ours::ElevationClass == TokenElevation);
static_assert(Ours::NoCloseProcess == SEE_MASK_NOCLOSEPROCESS && Ours::NoAsync == SEE_MASK_NOASYNC);
static_assert(Ours::NoUi == SEE_MASK_FLAG_NO_UI && Ours::ShowNormal == SW_SHOWNORMAL);
static_assert(Ours::NoZoneChecks == SEE_MASK_NOZONECHECKS && Ours::Remote == DRIVE_REMOTE);
static_assert(Ours::NoError == NO_ERROR && Ours::SearchSystem32 == LOAD_LIBRARY_SEARCH_SYSTEM32);
static_assert(Ours::AssocChanged == SHCNE_ASSOCCHANGED && Ours::IdList == SHCNF_IDLIST);
static_assert(Ours::Popup == WS_POPUP && Ours::ToolWindow == WS_EX_TOOLWINDOW);
static_assert(Ours::SetForeground == MB_SETFOREGROUND);
static_assert(Ours::AlteredSearchPath == LOAD_WITH_ALTERED_SEARCH_PATH &&
              Ours::ShareDelete == FILE_SHARE_DELETE && Ours::VolumeNameDos == VOLUME_NAME_DOS);
static_assert(Ours::ApartmentThreaded == COINIT_APARTMENTTHREADED &&
              Ours::DisableOle1Dde == COINIT_DISABLE_OLE1DDE);
static_assert(Ours::AllInput == (QS_KEY | QS_MOUSE | QS_RAWINPUT | QS_POSTMESSAGE | QS_TIMER |
                                 QS_PAINT | QS_HOTKEY | QS_SENDMESSAGE) &&
              Ours::Remove == PM_REMOVE);
static_assert(Ours::WaitFailed == WAIT_FAILED && Ours::NoRootDir == DRIVE_NO_ROOT_DIR);
static_assert(Ours::WaitObject0 == WAIT_OBJECT_0 && Ours::WaitAbandoned == WAIT_ABANDONED);
static_assert(Ours::WaitTimeout == WAIT_TIMEOUT && Ours::Infinite == INFINITE);
static_assert(Ours::WinIniChange == WM_WININICHANGE && Ours::AbortIfHung == SMTO_ABORTIFHUNG);
static_assert(Ours::NormalSend == SMTO_NORMAL);
static_assert(Ours::YesNo == MB_YESNO && Ours::IconError == MB_ICONERROR);
static_assert(Ours::IconQuestion == MB_ICONQUESTION && Ours::IconInformation == MB_ICONINFORMATION);
static_assert(Ours::Yes == IDYES && Ours::No == IDNO);
static_assert(Ours::Read == GENERIC_READ && Ours::Write == GENERIC_WRITE);
static_assert(Ours::ShareRead == FILE_SHARE_READ && Ours::ShareWrite == FILE_SHARE_WRITE);
static_assert(Ours::CreateNew == CREATE_NEW && Ours::OpenExisting == OPEN_EXISTING);
static_assert(Ours::ReadOnly == FILE_ATTRIBUTE_READONLY && Ours::Hidden == FILE_ATTRIBUTE_HIDDEN);
static_assert(Ours::System == FILE_ATTRIBUTE_SYSTEM && Ours::Directory == FILE_ATTRIBUTE_DIRECTORY);
static_assert(Ours::Archive == FILE_ATTRIBUTE_ARCHIVE && Ours::Normal == FILE_ATTRIBUTE_NORMAL);
static_assert(Ours::InvalidFileSize == INVALID_FILE_SIZE);
