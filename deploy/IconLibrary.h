// Writing, accepting and removing the icon library in a directory. Files
// are told apart by name and size, except one shorter than the library
// whose bytes are the library's first ones, and which is neither read-only,
// hidden nor system: that is a library whose writing was cut off, and it is
// ours.
#pragma once

#include "platform/Text.h"

enum class RemovalTarget {
  CurrentLibrary,  // this release's library, 5120 bytes
  OldLibrary,      // the earlier release's, 7680 bytes
};

inline constexpr unsigned OldLibrarySize = 7680;

// True when dir holds the library afterwards: a file of exactly the
// library's size already there and openable for writing, or a new one of
// which every byte was written (where a library cut off stood, after it
// was deleted).
bool DeployIconLibrary(const Text& dir);

// True when a file of the library's size stands under its name in dir, as
// its directory entry says: the file is not opened.
bool IsLibraryInPlace(const Text& dir);

// Deletes the target's file in dir when it has the target's size, or is
// the current library cut off; leaves any other file as it found it,
// attributes included.
void RemoveLibraryFile(RemovalTarget target, const Text& dir);
