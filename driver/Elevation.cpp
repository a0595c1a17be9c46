// Vista to 11: with User Account Control on, a double-click runs a program
// without administrator rights, an administrator's included, unless the
// program asks Windows for them; pivane.exe has no manifest to ask with. So
// an interactive run whose token is not elevated asks as installers do: once
// the user has answered Oui, it starts itself again with the "runas" verb,
// silent and told what to do, and waits for that copy. The copy reads the
// state afresh under its own lock, and being silent never asks in its turn.
#include <array>

#include "driver/Pivane.h"
#include "platform/WindowsOps.h"

using namespace WindowsOps;

namespace {

// The longest path GetModuleFileNameA gives whole, and its NUL.
constexpr Dword ModulePathSize = 261;

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

}  // namespace

// The token says so itself, whatever version a compatibility mode
// reports. Where the query, or the calls behind it, are missing (95 to XP,
// which have no such token), the run goes on as it always has.
bool TokenIsLimited() {
  ScopedHandle<TokenHandle> token;
  if (!OpenProcessToken(TOKEN_QUERY, &token.Value)) return false;
  Dword elevated = 0;
  Dword returned = 0;
  return GetTokenInformation(token.Value, TokenElevation, &elevated, sizeof elevated, &returned) &&
         returned == sizeof elevated && elevated == 0;
}

CopyOutcome RunElevatedCopy(bool install) {
  std::array<char, ModulePathSize> path{};
  const Dword length = GetModuleFileNameA(path.data(), ModulePathSize);
  if (length == 0 || length >= ModulePathSize) return CopyOutcome::Failed;
  ShellExecuteInfo copy;
  copy.Mask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  copy.Verb = "runas";
  copy.File = path.data();
  copy.Parameters = install ? "/S /I" : "/S /U";
  copy.Show = SW_SHOWNORMAL;
  if (!ShellExecuteExA(&copy)) {
    return GetLastError() == ERROR_CANCELLED ? CopyOutcome::Cancelled : CopyOutcome::Failed;
  }
  const ScopedHandle<ProcessHandle> process(copy.Process);
  if (process.Value == ProcessHandle{}) return CopyOutcome::Failed;
  Dword code = 1;
  if (WaitForSingleObject(process.Value, INFINITE) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(process.Value, &code)) {
    return CopyOutcome::Failed;
  }
  return code == 0 ? CopyOutcome::Done : CopyOutcome::Failed;
}
