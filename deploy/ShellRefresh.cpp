#include "deploy/ShellRefresh.h"

#include "constants/Constants.h"
#include "platform/WindowsOps.h"
#include "registry/RegCtrl.h"

using namespace WindowsOps;

constinit Text SavedRefreshValue = "32";

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

void RefreshShellIcons() {
  RegCtrl::GetRegString(HKEY_CURRENT_USER, UnscrambleText(RefreshKeyPath).View(),
                        UnscrambleText(RefreshValueName).View(), SavedRefreshValue);
  RegCtrl::PutRegString(HKEY_CURRENT_USER, UnscrambleText(RefreshKeyPath).View(),
                        UnscrambleText(RefreshValueName).View(), "16");
  BroadcastSettingsChange();
  RegCtrl::PutRegString(HKEY_CURRENT_USER, UnscrambleText(RefreshKeyPath).View(),
                        UnscrambleText(RefreshValueName).View(), SavedRefreshValue);
  BroadcastSettingsChange();
}
