// Writing, accepting and removing the icon library in a directory. Files
// are told apart by name and size alone; their contents are never read.
#pragma once

#include "platform/Text.h"

enum class RemovalTarget {
  CurrentLibrary,  // this release's library, 5120 bytes
  OldLibrary,      // the earlier release's, 7680 bytes
};

inline constexpr unsigned OldLibrarySize = 7680;

// True when dir holds the library afterwards: a file of exactly the
// library's size already there and openable for writing, or a new one of
// which every byte was written.
bool DeployIconLibrary(const Text& dir);

// Deletes the target's file in dir when it has the target's size; leaves
// any other file as it found it, attributes included.
void RemoveLibraryFile(RemovalTarget target, const Text& dir);
