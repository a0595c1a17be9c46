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

}  // namespace

// The library is in place before the value names it.
void RunInstall() {
  if (!AskUser(InstallQuestion.View())) return;
  if (!DeployIconLibrary(SystemDir)) {
    ShowConflict();
    return;
  }
  if (!PointIconAt(InstalledReference)) {
    ShowOperationError();
    return;
  }
  RemoveLibraryFile(RemovalTarget::OldLibrary, SystemDir);
  RefreshShellIcons();
  ShowCompletion(InstalledOutcome.View());
}

// The value points away before the library goes, and always at the
// system's own icon, whatever it held before the install.
void RunUninstall() {
  if (!AskUser(UninstallQuestion.View())) return;
  InstalledReference = Join({SystemDir, "\\", UnscrambleText(RestoreReference).View()});
  if (!PointIconAt(InstalledReference)) {
    ShowOperationError();
    return;
  }
  RemoveLibraryFile(RemovalTarget::CurrentLibrary, SystemDir);
  RefreshShellIcons();
  ShowCompletion(RestoredOutcome.View());
}
