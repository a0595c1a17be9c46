#include "constants/Constants.h"
#include "driver/Pivane.h"
#include "platform/WindowsOps.h"
#include "registry/RegCtrl.h"

using namespace WindowsOps;

constinit Text InstalledReference;
constinit Text CurrentReference;

// A copy that memory was refused for is failed, and equals nothing.
Text UpperCopy(const Text& text) {
  Text upper = text;
  if (upper.Empty()) return upper;
  char* bytes = upper.Bytes();
  if (bytes == nullptr) return Text::Refused();
  CharUpperBuffA(bytes, static_cast<Dword>(upper.Size()));
  return upper;
}

// Installed means the value holds exactly what an install writes, in any
// case. The library file itself is not looked at.
bool DetectOptionState() {
  InstalledReference = Join({SystemDir, "\\", UnscrambleText(IconLibraryName).View(), ",0"});
  CurrentReference.Clear();
  // A value that cannot be read leaves CurrentReference empty: not
  // installed. So does memory refused on the way.
  RegCtrl::GetRegString(HKEY_LOCAL_MACHINE, UnscrambleText(IconKeyPath).View(), "4",
                        CurrentReference);
  return UpperCopy(CurrentReference) == UpperCopy(InstalledReference);
}
