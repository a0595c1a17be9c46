#include "deploy/IconLibrary.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "constants/Constants.h"
#include "deploy/IconLibraryImage.h"
#include "platform/WindowsOps.h"

using namespace WindowsOps;

namespace {

constexpr Dword ReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr Dword ShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
// A file that our install cut off was created normal: one that carries any
// of these was set so by someone, often to keep a program from placing a
// file of that name, and is never ours.
constexpr Dword SetBySomeone =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
// After our own delete, an on-access scanner that holds the file (sharing
// delete) keeps its name pending until it lets go, and the name refuses a
// new file meanwhile: it is asked again this often, for half a second.
constexpr int CreateAttemptsAfterDelete = 6;
constexpr Dword CreateRetryMs = 100;

// An open file, closed when it goes unless Close() already did.
class ScopedFile {
 public:
  explicit ScopedFile(FileHandle handle) : Handle(handle) {}
  ScopedFile(ScopedFile&& other) noexcept
      : Handle(std::exchange(other.Handle, INVALID_HANDLE_VALUE)) {}
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

ScopedFile OpenFile(const Text& path, Dword disposition, Dword access = ReadWrite) {
  return ScopedFile(
      CreateFileA(path.CStr(), access, ShareReadWrite, disposition, FILE_ATTRIBUTE_NORMAL));
}

// The directory entry of the file at path; none for a missing file or a
// directory.
std::optional<FindData> FileEntryOf(const Text& path) {
  FindData found;
  FindHandle find = FindFirstFileA(path.CStr(), &found);
  if (find == INVALID_FIND_HANDLE) return std::nullopt;
  FindClose(find);
  if (found.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
  return found;
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

// What an install cut off while it wrote leaves: a file shorter than the
// library whose bytes are the library's first ones, the empty file
// included. Only such a file is read, and only to tell this.
bool IsCutOffLibrary(const Text& path, const FindData& entry) {
  if (entry.FileSizeHigh != 0 || entry.FileSizeLow >= IconLibrarySize) return false;
  if (entry.FileAttributes & SetBySomeone) return false;
  ScopedFile file = OpenFile(path, OPEN_EXISTING, GENERIC_READ);
  if (!file.IsOpen()) return false;
  Text contents = Text::Filled(IconLibrarySize, '\0');
  char* bytes = contents.Bytes();
  Dword count = 0;
  if (bytes == nullptr || !ReadFile(file.Get(), bytes, IconLibrarySize, &count)) return false;
  return count < IconLibrarySize &&
         std::equal(bytes, bytes + count, reinterpret_cast<const char*>(IconLibraryImage.data()));
}

Text CurrentLibraryPath(const Text& dir) {
  return Join({dir, "\\", UnscrambleText(IconLibraryName).View()});
}

std::uint64_t SizeIn(const FindData& entry) {
  return (std::uint64_t{entry.FileSizeHigh} << 32) | entry.FileSizeLow;
}

ScopedFile CreateNewFile(const Text& path, bool justDeleted) {
  for (int attempt = 1;; ++attempt) {
    ScopedFile file = OpenFile(path, CREATE_NEW);
    if (file.IsOpen() || !justDeleted || attempt == CreateAttemptsAfterDelete ||
        GetLastError() != ERROR_ACCESS_DENIED_CODE) {
      return file;
    }
    Sleep(CreateRetryMs);
  }
}

// Only a name that nothing holds is created: a file that appeared since it
// was looked for is never emptied, but judged as any file found there. The
// library counts as written only once it is on the disk: after a power cut,
// data not yet flushed reads back as zeros (or old clusters), and a file of
// the library's size is accepted whatever it holds.
bool WriteNewLibrary(const Text& path, bool justDeleted) {
  bool written = false;
  bool closed = false;
  {
    ScopedFile file = CreateNewFile(path, justDeleted);
    if (!file.IsOpen()) {
      return GetLastError() == ERROR_FILE_EXISTS && SizeOf(path) == IconLibrarySize;
    }
    Dword count = 0;
    written = WriteFile(file.Get(), IconLibraryImage.data(), IconLibrarySize, &count) &&
              count == IconLibrarySize && FlushFileBuffers(file.Get());
    closed = file.Close();
  }
  // A truncated library would be taken for a foreign file by every later
  // install, so a write that failed or came up short takes its file away.
  if (!written) DeleteFileA(path.CStr());
  return written && closed;
}

}  // namespace

// A path that memory was refused for is a library that could not be had.
bool DeployIconLibrary(const Text& dir) {
  const Text path = CurrentLibraryPath(dir);
  if (!path.Ok()) return false;
  if (const std::optional<FindData> entry = FileEntryOf(path)) {
    if (!IsCutOffLibrary(path, *entry)) return SizeOf(path) == IconLibrarySize;
    // Made anew, never written over in place.
    if (!DeleteFileA(path.CStr())) return false;
    return WriteNewLibrary(path, true);
  }
  return WriteNewLibrary(path, false);
}

bool IsLibraryInPlace(const Text& dir) {
  const Text path = CurrentLibraryPath(dir);
  if (!path.Ok()) return false;
  const std::optional<FindData> entry = FileEntryOf(path);
  return entry && SizeIn(*entry) == IconLibrarySize;
}

// Whether a file is ours is decided from its directory entry, before
// anything is done to it: a file of another size is never changed, and
// only one shorter than the library is read, to tell a library cut off in
// the writing. A path that memory was refused for is a file that could not
// be removed.
void RemoveLibraryFile(RemovalTarget target, const Text& dir) {
  const bool current = target == RemovalTarget::CurrentLibrary;
  const Text path = Join(
      {dir, "\\",
       current ? UnscrambleText(IconLibraryName).View() : UnscrambleText(OldLibraryName).View()});
  if (!path.Ok()) return;
  const std::uint64_t expectedSize = current ? IconLibrarySize : OldLibrarySize;

  const std::optional<FindData> entry = FileEntryOf(path);
  if (!entry || (SizeIn(*entry) != expectedSize && !(current && IsCutOffLibrary(path, *entry)))) {
    return;
  }
  // Read-only would stop the delete; hidden and system go with it.
  const Dword attributes = entry->FileAttributes;
  const bool cleared =
      (attributes & SetBySomeone) && SetFileAttributesA(path.CStr(), FILE_ATTRIBUTE_ARCHIVE);
  if (DeleteFileA(path.CStr())) return;
  // Not removable: it keeps the attributes it had.
  if (cleared) SetFileAttributesA(path.CStr(), attributes);
}
