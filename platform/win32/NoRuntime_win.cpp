// What a program linked without any C runtime must still supply: the few
// functions the compiler calls on its own (to copy, fill, search, compare
// and measure memory) and the one it names for destructors of globals. Copying
// and filling go to KERNEL32's own exports, which every Windows from 95 on
// has; nothing here comes from msvcrt.dll.
//
// No <windows.h> here: it turns these KERNEL32 names into macros for the
// very C functions they stand in for.
#include <cstddef>

extern "C" {

__declspec(dllimport) void __stdcall RtlMoveMemory(void* destination, const void* source,
                                                   unsigned long length);
__declspec(dllimport) void __stdcall RtlFillMemory(void* destination, unsigned long length,
                                                   unsigned char fill);
__declspec(dllimport) int __stdcall lstrlenA(const char* text);

void* memcpy(void* destination, const void* source, std::size_t length) {
  RtlMoveMemory(destination, source, length);
  return destination;
}

void* memmove(void* destination, const void* source, std::size_t length) {
  RtlMoveMemory(destination, source, length);
  return destination;
}

void* memset(void* destination, int fill, std::size_t length) {
  RtlFillMemory(destination, length, static_cast<unsigned char>(fill));
  return destination;
}

int memcmp(const void* first, const void* second, std::size_t length) {
  const auto* a = static_cast<const unsigned char*>(first);
  const auto* b = static_cast<const unsigned char*>(second);
  for (std::size_t i = 0; i < length; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

void* memchr(const void* memory, int byte, std::size_t length) {
  const auto* bytes = static_cast<const unsigned char*>(memory);
  for (std::size_t i = 0; i < length; ++i) {
    if (bytes[i] == static_cast<unsigned char>(byte)) return const_cast<unsigned char*>(bytes + i);
  }
  return nullptr;
}

std::size_t strlen(const char* text) { return static_cast<std::size_t>(lstrlenA(text)); }

// The compiler registers each global's destructor through atexit from a
// constructor that nothing runs here: the process ends through ExitProcess,
// which destroys nothing, so there is nothing to register.
int atexit(void (*)(void)) { return 0; }

}  // extern "C"
