#include <optional>

#include "constants/Constants.h"
#include "deploy/IconLibrary.h"
#include "deploy/ShellRefresh.h"
#include "dialogue/Dialogue.h"
#include "dialogue/Messages.h"
#include "driver/Pivane.h"
#include "platform/WindowsOps.h"
#include "registry/RegCtrl.h"

using namespace WindowsOps;

namespace {

// A reference that memory was refused for is a failed write.
bool PointIconAt(const Text& reference) {
  return RegCtrl::PutRegString(HKEY_LOCAL_MACHINE, UnscrambleText(IconKeyPath).View(), "4",
                               reference);
}

// No box to ask with is a change that could not start. Oui is the last
// input, which lets the run bring the prompt's window to the front.
std::optional<RunOutcome> Refused(Answer answer, const PromptWindow& window) {
  if (answer == Answer::Yes) {
    window.TakeForeground();
    return std::nullopt;
  }
  return answer == Answer::No ? RunOutcome::Declined : RunOutcome::Failed;
}

// After the value changed, by this run or by its copy. The copy with
// rights tells the shell alone: its HKEY_CURRENT_USER may be another
// account's (an administrator's name typed at Windows' prompt, or the
// separate account of Administrator Protection), and the run that started
// it refreshes its own user's icons once it ends.
void RefreshIcons() {
  if (!ElevatedCopy) RefreshShellIcons();
  TellShellIconsChanged();
}

// As /I or /U would find it already so.
bool IsAsAsked(bool install) {
  const bool installed = DetectOptionState();
  return install ? installed && IsLibraryInPlace(SystemDir) : !installed;
}

// Where the run has no rights to change the machine, a copy of it with
// them does the work; this run, the user's own, then refreshes the icons of
// its user (the copy's may be another account's) and says it is done. Its
// lock is free while the copy runs, which takes its own.
RunOutcome RunElevated(RunLock& lock, bool install, const PromptWindow& window) {
  lock.Release();
  switch (RunElevatedCopy(install, window.Window)) {
    case CopyOutcome::Cancelled:
      // Refused at Windows' own prompt: nothing changed, nothing more said.
      return RunOutcome::Declined;
    case CopyOutcome::Failed:
      ShowOperationError(BoxPlace::InFront);
      return RunOutcome::Failed;
    case CopyOutcome::Done:
      break;
  }
  // An exit code of 0 is not proof: a copy that could not read its
  // switches ends so, as a plain run, having changed nothing. Without the
  // lock the state is still read (a read changes nothing), and the icons
  // wait for the next refresh.
  const bool held = lock.Take(window.Window) == RunLockOutcome::Held;
  if (held) ReplayRefreshRecord();
  if (!IsAsAsked(install)) {
    ShowOperationError(BoxPlace::InFront);
    return RunOutcome::Failed;
  }
  if (held) RefreshIcons();
  ShowCompletion(install ? InstalledOutcome.View() : RestoredOutcome.View(), BoxPlace::InFront);
  return RunOutcome::Done;
}

// Without rights a run changes nothing of the machine's itself. An
// interactive one hands the work to a copy with them; a silent one never
// asks (a prompt from a script is wrong, and deployment tools already run
// with rights), and the copy is silent, so it never asks in its turn.
std::optional<RunOutcome> WithoutRights(RunLock& lock, bool install, const PromptWindow& window) {
  if (RunRights != TokenRights::Limited) return std::nullopt;
  if (SilentMode) return RunOutcome::Failed;
  return RunElevated(lock, install, window);
}

}  // namespace

RunOutcome RunToggle() {
  RunLock lock;
  if (lock.Take() != RunLockOutcome::Held) {
    // Nothing is read or changed without the lock; a silent run that gave
    // up waiting for another ends quietly.
    ShowOperationError();
    return RunOutcome::Failed;
  }
  // A record in the copy's hive is not its user's to replay.
  if (!ElevatedCopy) ReplayRefreshRecord();
  const bool installed = DetectOptionState();
  // Already as asked: nothing is written, opened or broadcast. Under /I
  // that takes the library in place as well as the value naming it.
  if (InstallOnly && installed && IsLibraryInPlace(SystemDir)) {
    ShowAlreadySo(AlreadyInstalled.View());
    return RunOutcome::Done;
  }
  if (UninstallOnly && !installed) {
    ShowAlreadySo(AlreadyUninstalled.View());
    return RunOutcome::Done;
  }
  const bool install = InstallOnly || (!UninstallOnly && !installed);
  return install ? RunInstall(lock) : RunUninstall(lock);
}

// The library is in place before the value names it.
RunOutcome RunInstall(RunLock& lock) {
  const PromptWindow window;
  if (auto refused = Refused(AskUserFor(InstallQuestion.View()), window)) return *refused;
  if (auto done = WithoutRights(lock, true, window)) return *done;
  if (!DeployIconLibrary(SystemDir)) {
    ShowConflict();
    return RunOutcome::Failed;
  }
  if (!PointIconAt(InstalledReference)) {
    ShowOperationError();
    return RunOutcome::Failed;
  }
  RemoveLibraryFile(RemovalTarget::OldLibrary, SystemDir);
  RefreshIcons();
  ShowCompletion(InstalledOutcome.View());
  return RunOutcome::Done;
}

// The value points away before the library goes, and always at the
// system's own icon, whatever it held before the install.
RunOutcome RunUninstall(RunLock& lock) {
  const PromptWindow window;
  if (auto refused = Refused(AskUserFor(UninstallQuestion.View()), window)) return *refused;
  if (auto done = WithoutRights(lock, false, window)) return *done;
  InstalledReference = Join({SystemDir, "\\", UnscrambleText(RestoreReference).View()});
  if (!PointIconAt(InstalledReference)) {
    ShowOperationError();
    return RunOutcome::Failed;
  }
  RemoveLibraryFile(RemovalTarget::CurrentLibrary, SystemDir);
  RefreshIcons();
  ShowCompletion(RestoredOutcome.View());
  return RunOutcome::Done;
}
