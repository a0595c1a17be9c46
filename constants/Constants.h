// The seven texts the program keeps scrambled. Each is unscrambled with
// UnscrambleText at the moment it is used.
#pragma once

#include "constants/ScrambledText.h"

// Machine-wide key whose value "4" the shell reads as its open-folder icon.
extern const ScrambledText<62> IconKeyPath;
// Per-user key and value holding the shell's icon size; changing it and
// telling the windows makes the shell re-read its icons.
extern const ScrambledText<35> RefreshKeyPath;
extern const ScrambledText<15> RefreshValueName;
// The system's own open-folder icon, relative to the system directory.
extern const ScrambledText<13> RestoreReference;
// The icon library this release writes, and the earlier release's.
extern const ScrambledText<10> IconLibraryName;
extern const ScrambledText<10> OldLibraryName;
// Last line of the completion message.
extern const ScrambledText<22> TrailerLine;
