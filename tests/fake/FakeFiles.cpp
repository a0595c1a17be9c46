// Files: finding, creating, opening, reading, writing and flushing them,
// their sizes and attributes, their deletion, the names a delete leaves
// pending while a scanner holds the file, and the system directory that
// only a user who may change the machine changes. The clock that ends a
// pending delete is in FakeProcesses.cpp.
#include <algorithm>
#include <cstring>

#include "tests/fake/FakeInternal.h"

namespace Fake {

bool InSystemDirectory(const std::string& path) {
  const std::optional<std::string>& directory = TheMachine.SystemDirectory;
  return directory && path.size() > directory->size() &&
         NoCase::Equal(path.substr(0, directory->size()), *directory) &&
         path[directory->size()] == '\\';
}

namespace {

File* FindFile(const std::string& path) {
  auto found = TheMachine.Files.find(path);
  return found == TheMachine.Files.end() ? nullptr : &found->second;
}

std::uint64_t SizeOf(const File& file) {
  return (std::uint64_t{file.SizeHigh} << 32) + file.Contents.size();
}

OpenFile* FindOpenFile(FileHandle file) {
  auto open = FileHandles.find(static_cast<std::uintptr_t>(file));
  return open == FileHandles.end() ? nullptr : &open->second;
}

bool OpenByUs(const std::string& path) {
  return std::any_of(FileHandles.begin(), FileHandles.end(),
                     [&](const auto& open) { return NoCase::Equal(open.second.Path, path); });
}

}  // namespace
}  // namespace Fake

namespace WindowsOps {

using namespace Fake;

namespace {

FindHandle FindFirst(const char* fileName, FindData* findData) {
  File* file = FindFile(fileName);
  if (Record("FindFirstFileA", fileName) || Windows().RedirectionFails) {
    Windows().LastError = DeniedCode;
    return INVALID_FIND_HANDLE;
  }
  if (!file) {
    Windows().LastError = NotFoundCode;
    return INVALID_FIND_HANDLE;
  }
  findData->FileAttributes =
      file->Attributes | (file->Directory ? FILE_ATTRIBUTE_DIRECTORY : Dword{0});
  const std::uint64_t size = SizeOf(*file);
  findData->FileSizeHigh = static_cast<Dword>(size >> 32);
  findData->FileSizeLow = static_cast<Dword>(size);
  std::uintptr_t handle = NextHandle++;
  FindHandles.insert(handle);
  ++Windows().OpenFinds;
  return static_cast<FindHandle>(handle);
}

}  // namespace

FindHandle FindFirstFileA(const char* fileName, FindData* findData) {
  const FindHandle find = FindFirst(fileName, findData);
  if (Windows().Meanwhile) Windows().Meanwhile("FindFirstFileA");
  return find;
}

bool FindClose(FindHandle find) {
  if (Record("FindClose")) return false;
  if (FindHandles.erase(static_cast<std::uintptr_t>(find)) == 0) return false;
  --Windows().OpenFinds;
  return true;
}

FileHandle CreateFileA(const char* fileName, Dword desiredAccess, Dword shareMode,
                       Dword creationDisposition, Dword) {
  if (Record("CreateFileA", fileName) || Windows().RedirectionFails) {
    return FailWith(DeniedCode, INVALID_HANDLE_VALUE);
  }
  File* file = FindFile(fileName);
  // A name whose delete is pending refuses every open and create.
  if (file && file->DeletePending) return FailWith(DeniedCode, INVALID_HANDLE_VALUE);
  // CREATE_NEW never opens what is there, not even a directory.
  if (file && creationDisposition == CREATE_NEW) {
    return FailWith(ERROR_FILE_EXISTS, INVALID_HANDLE_VALUE);
  }
  const bool writing = desiredAccess & GENERIC_WRITE;
  if ((writing || creationDisposition == CREATE_NEW) && InSystemDirectory(fileName) &&
      !MayChangeTheMachine()) {
    return FailWith(DeniedCode, INVALID_HANDLE_VALUE);
  }
  if (file) {
    if (file->Directory) return FailWith(DeniedCode, INVALID_HANDLE_VALUE);
    if (writing && (file->Attributes & FILE_ATTRIBUTE_READONLY)) {
      return FailWith(DeniedCode, INVALID_HANDLE_VALUE);
    }
    // The holder shares nothing but reading, so any sharer must leave
    // writing to it alone, and may not write itself.
    if (file->HeldElsewhere && (writing || (shareMode & FILE_SHARE_WRITE) == 0)) {
      return FailWith(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
    }
    if (file->WrittenElsewhere && (shareMode & FILE_SHARE_WRITE) == 0) {
      return FailWith(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
    }
  }
  if (creationDisposition == OPEN_EXISTING) {
    if (!file) return FailWith(NotFoundCode, INVALID_HANDLE_VALUE);
  } else if (creationDisposition == CREATE_NEW) {
    file = &Windows().Files[fileName];
  } else {
    // No other disposition: none of them leaves an existing file alone.
    return FailWith(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  }
  std::uintptr_t handle = NextHandle++;
  FileHandles[handle] = OpenFile{fileName, (desiredAccess & GENERIC_READ) != 0, writing};
  ++Windows().OpenFiles;
  Windows().LastError = 0;
  return static_cast<FileHandle>(handle);
}

Dword GetFileSize(FileHandle file, Dword* fileSizeHigh) {
  OpenFile* open = FindOpenFile(file);
  if (Record("GetFileSize") || !open || !FindFile(open->Path)) return INVALID_FILE_SIZE;
  const std::uint64_t size = SizeOf(*FindFile(open->Path));
  if (fileSizeHigh) *fileSizeHigh = static_cast<Dword>(size >> 32);
  return static_cast<Dword>(size);
}

bool ReadFile(FileHandle file, void* buffer, Dword bytesToRead, Dword* bytesRead) {
  OpenFile* open = FindOpenFile(file);
  *bytesRead = 0;
  if (Record("ReadFile") || !open || !FindFile(open->Path)) return false;
  if (!open->Reading) return FailWith(DeniedCode, false);
  const std::string& contents = FindFile(open->Path)->Contents;
  const std::size_t count = std::min<std::size_t>(
      bytesToRead, contents.size() - std::min(open->Position, contents.size()));
  std::memcpy(buffer, contents.data() + open->Position, count);
  open->Position += count;
  *bytesRead = static_cast<Dword>(count);
  return true;
}

bool WriteFile(FileHandle file, const void* buffer, Dword bytesToWrite, Dword* bytesWritten) {
  OpenFile* open = FindOpenFile(file);
  *bytesWritten = 0;
  if (Record("WriteFile") || !open || !FindFile(open->Path)) return false;
  if (!open->Writing) return FailWith(DeniedCode, false);
  Dword count = std::min(bytesToWrite, Windows().WriteLimit.value_or(bytesToWrite));
  FindFile(open->Path)->Contents.append(static_cast<const char*>(buffer), count);
  *bytesWritten = count;
  return true;
}

// Only a handle open for writing may flush.
bool FlushFileBuffers(FileHandle file) {
  OpenFile* open = FindOpenFile(file);
  if (Record("FlushFileBuffers") || !open) return false;
  return open->Writing || FailWith(DeniedCode, false);
}

bool CloseHandle(FileHandle file) {
  bool fails = Record("CloseHandle");
  if (Windows().Dead) return false;
  // A failed close still releases the handle, as on Windows.
  if (FileHandles.erase(static_cast<std::uintptr_t>(file)) == 0) return false;
  --Windows().OpenFiles;
  return !fails;
}

bool SetFileAttributesA(const char* fileName, Dword fileAttributes) {
  File* file = FindFile(fileName);
  if (Record("SetFileAttributesA", fileName + std::string("=") + std::to_string(fileAttributes)) ||
      Windows().RedirectionFails) {
    return FailWith(DeniedCode, false);
  }
  if (!file) return FailWith(NotFoundCode, false);
  if (file->DeletePending || (InSystemDirectory(fileName) && !MayChangeTheMachine())) {
    return FailWith(DeniedCode, false);
  }
  file->Attributes = fileAttributes & ~FILE_ATTRIBUTE_DIRECTORY;
  return true;
}

// A file open here or elsewhere without delete sharing stays; one that a
// scanner holds sharing delete goes only when the scanner lets go.
bool DeleteFileA(const char* fileName) {
  File* file = FindFile(fileName);
  if (Record("DeleteFileA", fileName) || Windows().RedirectionFails) {
    return FailWith(DeniedCode, false);
  }
  if (!file) return FailWith(NotFoundCode, false);
  if (file->Directory || file->DeletePending || (file->Attributes & FILE_ATTRIBUTE_READONLY) ||
      (InSystemDirectory(fileName) && !MayChangeTheMachine())) {
    return FailWith(DeniedCode, false);
  }
  if (file->HeldElsewhere || OpenByUs(fileName)) return FailWith(ERROR_SHARING_VIOLATION, false);
  if (file->ScannedUntilMs && Windows().ClockMs < *file->ScannedUntilMs) {
    file->DeletePending = true;
    return true;
  }
  Windows().Files.erase(fileName);
  return true;
}

}  // namespace WindowsOps
