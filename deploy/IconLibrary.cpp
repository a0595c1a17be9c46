#include "deploy/IconLibrary.h"

#include <optional>
#include <utility>

#include "constants/Constants.h"
#include "deploy/IconLibraryImage.h"
#include "platform/WindowsOps.h"

using namespace WindowsOps;

namespace {

constexpr Dword ReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr Dword ShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

// An open file, closed when it goes unless Close() already did.
class ScopedFile {
 public:
  explicit ScopedFile(FileHandle handle) : Handle(handle) {}
  ~ScopedFile() { Close(); }
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;

  bool IsOpen() const { return Handle != INVALID_HANDLE_VALUE; }
  FileHandle Get() const { return Handle; }
  bool Close() {
    if (!IsOpen()) return false;
    return CloseHandle(std::exchange(Handle, INVALID_HANDLE_VALUE));
  }

 private:
  FileHandle Handle;
};

ScopedFile OpenFile(const Text& path, Dword disposition) {
  return ScopedFile(
      CreateFileA(path.CStr(), ReadWrite, ShareReadWrite, disposition, FILE_ATTRIBUTE_NORMAL));
}

// The attributes of the file at path; none for a missing file or a
// directory.
std::optional<Dword> FileAttributesOf(const Text& path) {
  FindData found;
  FindHandle find = FindFirstFileA(path.CStr(), &found);
  if (find == INVALID_FIND_HANDLE) return std::nullopt;
  FindClose(find);
  if (found.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
  return found.FileAttributes;
}

// The size of the file at path, opened for reading and writing and closed
// again; none when any of that fails. A file of 4 GiB or more never has
// the size of a library.
std::optional<std::uint64_t> SizeOf(const Text& path) {
  ScopedFile file = OpenFile(path, OPEN_EXISTING);
  if (!file.IsOpen()) return std::nullopt;
  Dword high = 0;
  Dword low = GetFileSize(file.Get(), &high);
  bool closed = file.Close();
  if (low == INVALID_FILE_SIZE || !closed) return std::nullopt;
  return (std::uint64_t{high} << 32) | low;
}

bool WriteNewLibrary(const Text& path) {
  bool written = false;
  bool closed = false;
  bool created = false;
  {
    ScopedFile file = OpenFile(path, CREATE_ALWAYS);
    if (!file.IsOpen()) return false;
    // A file that appeared since it was looked for is not this call's.
    created = GetLastError() != ERROR_ALREADY_EXISTS;
    Dword count = 0;
    written = WriteFile(file.Get(), IconLibraryImage.data(), IconLibrarySize, &count) &&
              count == IconLibrarySize;
    closed = file.Close();
  }
  // A truncated library would be taken for a foreign file by every later
  // install, so a write that failed or came up short takes its file away.
  if (!written && created) DeleteFileA(path.CStr());
  return written && closed;
}

}  // namespace

// A path that memory was refused for is a library that could not be had.
bool DeployIconLibrary(const Text& dir) {
  const Text path = Join({dir, "\\", UnscrambleText(IconLibraryName).View()});
  if (!path.Ok()) return false;
  if (FileAttributesOf(path)) return SizeOf(path) == IconLibrarySize;
  return WriteNewLibrary(path);
}

// A path that memory was refused for is a file that could not be removed.
void RemoveLibraryFile(RemovalTarget target, const Text& dir) {
  const bool current = target == RemovalTarget::CurrentLibrary;
  const Text path = Join(
      {dir, "\\",
       current ? UnscrambleText(IconLibraryName).View() : UnscrambleText(OldLibraryName).View()});
  if (!path.Ok()) return;
  const std::uint64_t expectedSize = current ? IconLibrarySize : OldLibrarySize;

  const std::optional<Dword> attributes = FileAttributesOf(path);
  if (!attributes) return;
  // Read-only, hidden or system would stop the open or the delete.
  SetFileAttributesA(path.CStr(), FILE_ATTRIBUTE_ARCHIVE);
  if (SizeOf(path) == expectedSize && DeleteFileA(path.CStr())) return;
  // Not ours, or not removable: it keeps the attributes it had.
  SetFileAttributesA(path.CStr(), *attributes);
}
