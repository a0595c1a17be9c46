#include "constants/Constants.h"
#include "driver/Pivane.h"
#include "platform/WindowsOps.h"
#include "registry/RegCtrl.h"

using namespace WindowsOps;

std::string InstalledReference;
std::string CurrentReference;

namespace {

// Upper-cases a copy by the user's locale, as the shell compares paths.
std::string UpperCopy(const std::string& text) {
  std::string upper = text;
  if (!upper.empty()) CharUpperBuffA(upper.data(), static_cast<Dword>(upper.size()));
  return upper;
}

}  // namespace

// Installed means the value holds exactly what an install writes, in any
// case. The library file itself is not looked at.
bool DetectOptionState() {
  InstalledReference = SystemDir + "\\" + UnscrambleText(IconLibraryName) + ",0";
  CurrentReference.clear();
  // A value that cannot be read leaves CurrentReference empty: not installed.
  RegCtrl::GetRegString(HKEY_LOCAL_MACHINE, UnscrambleText(IconKeyPath), "4", CurrentReference);
  return UpperCopy(CurrentReference) == UpperCopy(InstalledReference);
}
