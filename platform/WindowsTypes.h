// The program's own portable types for the Windows operations it uses. They
// carry the Win32 meanings and widths without <windows.h>, so that the logic
// builds and is tested on any platform.
#pragma once

#include <cstdint>

namespace WindowsOps {

using Dword = std::uint32_t;  // DWORD
using Status = std::int32_t;  // LONG, as the Reg* functions return it

// Opaque handles. Distinct types keep a key from being passed as a file.
enum class KeyHandle : std::uintptr_t {};
enum class FileHandle : std::uintptr_t {};
enum class FindHandle : std::uintptr_t {};
enum class WindowHandle : std::uintptr_t {};
enum class MutexHandle : std::uintptr_t {};
enum class ProcessHandle : std::uintptr_t {};
enum class TokenHandle : std::uintptr_t {};
enum class ModuleHandle : std::uintptr_t {};

// What FindFirstFileA reports of the entry it found: its attributes and
// its size, as the directory holds them.
struct FindData {
  Dword FileAttributes = 0;
  Dword FileSizeHigh = 0;
  Dword FileSizeLow = 0;
};

// What ShellExecuteExW is given, and the process it hands back. UTF-16,
// as Windows names files: an ANSI path loses what its code page lacks.
struct ShellExecuteInfo {
  Dword Mask = 0;
  WindowHandle Window{};
  const char16_t* Verb = nullptr;
  const char16_t* File = nullptr;
  const char16_t* Parameters = nullptr;
  const char16_t* Directory = nullptr;
  int Show = 0;
  ProcessHandle Process{};
};

// A message as PeekMessageA takes it out of the thread's queue and
// DispatchMessageA hands it on: MSG's fields, in its order.
struct WindowMessage {
  WindowHandle Window{};
  Dword Message = 0;
  std::uintptr_t WParam = 0;
  std::intptr_t LParam = 0;
  Dword Time = 0;
  std::int32_t X = 0;
  std::int32_t Y = 0;
};

}  // namespace WindowsOps
