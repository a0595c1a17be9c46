// The icon library the program writes: a resource-only 32-bit DLL whose one
// icon group, ICON_1, holds an open folder at 16x16 and 32x32. The build
// makes it from resources/ and embeds it as plain constant data.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The size is how the program recognises its own file on disk.
inline constexpr std::size_t IconLibrarySize = 5120;

extern const std::array<std::uint8_t, IconLibrarySize> IconLibraryImage;
