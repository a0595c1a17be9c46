#include "deploy/ShellRefresh.h"

#include "constants/Constants.h"
#include "platform/WindowsOps.h"

using namespace WindowsOps;

constinit RegCtrl::StoredValue SavedRefreshValue;

namespace {

// A window that stops answering must not hold the program: each broadcast
// waits at most this long for any one window, and one that gave up counts
// as sent.
constexpr Dword BroadcastTimeoutMs = 3000;

void BroadcastSettingsChange() {
  SendMessageTimeoutA(HWND_BROADCAST, WM_WININICHANGE, 0, 0, SMTO_ABORTIFHUNG, BroadcastTimeoutMs,
                      nullptr);
}

}  // namespace

// The size is the user's: it is left exactly as it was found, type and
// bytes, or no value where there was none. What cannot be read, and so
// could not be put back, is not changed at all.
void RefreshShellIcons() {
  const bool saved =
      RegCtrl::GetRegValue(HKEY_CURRENT_USER, UnscrambleText(RefreshKeyPath).View(),
                           UnscrambleText(RefreshValueName).View(), SavedRefreshValue);
  if (saved) {
    RegCtrl::PutRegString(HKEY_CURRENT_USER, UnscrambleText(RefreshKeyPath).View(),
                          UnscrambleText(RefreshValueName).View(), "16");
  }
  BroadcastSettingsChange();
  if (saved) {
    RegCtrl::PutRegValue(HKEY_CURRENT_USER, UnscrambleText(RefreshKeyPath).View(),
                         UnscrambleText(RefreshValueName).View(), SavedRefreshValue);
  }
  BroadcastSettingsChange();
}
