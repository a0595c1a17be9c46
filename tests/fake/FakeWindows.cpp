#include "tests/fake/FakeWindows.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace Fake {
namespace {

using namespace WindowsOps;

Machine TheMachine;

struct OpenFile {
  std::string Path;
  bool Writing = false;
  std::size_t Position = 0;
};

std::map<std::uintptr_t, RegistryKey*> KeyHandles;
std::map<std::uintptr_t, OpenFile> FileHandles;
std::set<std::uintptr_t> FindHandles;
// Every live heap block's size, across machines: a block may outlive the
// machine it came from, and the program's globals free theirs after every
// static of this file has gone, so this one never goes.
std::map<void*, std::size_t>& BlockSizes() {
  static auto* sizes = new std::map<void*, std::size_t>;
  return *sizes;
}
std::uintptr_t NextHandle = 0x100;

constexpr Status ERROR_BAD_PATHNAME = 161;
// Any error that the program does not look for.
constexpr Dword ERROR_PROCESS_DIED = 0xDEAD;
constexpr Dword ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr Dword WAIT_FAILED = 0xFFFFFFFF;
constexpr std::uintptr_t LockHandle = 0x4C4B;
constexpr char IconSizeKey[] = "Control Panel\\Desktop\\WindowMetrics";
constexpr char IconSizeValue[] = "Shell Icon Size";

unsigned char Lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

bool IsLeadByte(unsigned char c) {
  return TheMachine.DoubleByteCodePage && ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC));
}

// Counts the call, logs it and says whether it fails: because the test
// asked it to, or because the process has died, when nothing it does may
// change the machine.
bool Record(const std::string& operation, const std::string& argument = {}) {
  if (!TheMachine.Dead && TheMachine.DiesAtCall &&
      static_cast<int>(TheMachine.Calls.size()) + 1 == *TheMachine.DiesAtCall) {
    TheMachine.Dead = true;
  }
  if (TheMachine.Dead) {
    TheMachine.LastError = ERROR_PROCESS_DIED;
    return true;
  }
  int number = ++TheMachine.CallCounts[operation];
  TheMachine.Calls.push_back(argument.empty() ? operation : operation + " " + argument);
  auto failing = TheMachine.Failing.find(operation);
  return failing != TheMachine.Failing.end() && failing->second.contains(number);
}

RegistryKey* RootOf(KeyHandle key) {
  if (key == HKEY_LOCAL_MACHINE) return &TheMachine.MachineRoot;
  if (key == HKEY_CURRENT_USER) return &TheMachine.UserRoot;
  auto open = KeyHandles.find(static_cast<std::uintptr_t>(key));
  return open == KeyHandles.end() ? nullptr : open->second;
}

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

KeyHandle NewKeyHandle(RegistryKey* key) {
  std::uintptr_t handle = NextHandle++;
  KeyHandles[handle] = key;
  ++TheMachine.OpenKeys;
  return static_cast<KeyHandle>(handle);
}

File* FindFile(const std::string& path) {
  auto found = TheMachine.Files.find(path);
  return found == TheMachine.Files.end() ? nullptr : &found->second;
}

OpenFile* FindOpenFile(FileHandle file) {
  auto open = FileHandles.find(static_cast<std::uintptr_t>(file));
  return open == FileHandles.end() ? nullptr : &open->second;
}

std::string Snippet(const unsigned char* data, Dword size) {
  return data ? std::string(reinterpret_cast<const char*>(data), size) : std::string();
}

}  // namespace

bool NoCase::operator()(const std::string& a, const std::string& b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return Lower(static_cast<unsigned char>(x)) < Lower(static_cast<unsigned char>(y));
  });
}

Machine& Windows() { return TheMachine; }

void Reset() {
  TheMachine = Machine{};
  KeyHandles.clear();
  FileHandles.clear();
  FindHandles.clear();
}

void FailCall(const std::string& operation, int callNumber) {
  TheMachine.Failing[operation].insert(callNumber);
}

void EndProcess() {
  if (TheMachine.Lock == LockHolder::Us) TheMachine.Lock = LockHolder::DeadRun;
  KeyHandles.clear();
  FileHandles.clear();
  FindHandles.clear();
  TheMachine.OpenKeys = TheMachine.OpenFiles = TheMachine.OpenFinds = 0;
}

void NewProcess() {
  Machine& m = TheMachine;
  m.Boxes.clear();
  m.Broadcasts.clear();
  m.Calls.clear();
  m.Failing.clear();
  m.CallCounts.clear();
  m.WriteLimit.reset();
  m.Meanwhile = nullptr;
  m.ExitCode.reset();
  m.LastError = 0;
  m.DiesAtCall.reset();
  m.Dead = false;
  m.RefusedAllocation.reset();
}

RegistryKey& CreateKey(RegistryKey& root, const std::string& path) {
  RegistryKey* key = &root;
  for (const std::string& part : SplitPath(path)) key = &key->Subkeys[part];
  return *key;
}

RegistryKey* FindKey(RegistryKey& root, const std::string& path) {
  RegistryKey* key = &root;
  for (const std::string& part : SplitPath(path)) {
    auto sub = key->Subkeys.find(part);
    if (sub == key->Subkeys.end()) return nullptr;
    key = &sub->second;
  }
  return key;
}

void SetValue(RegistryKey& root, const std::string& path, const std::string& name, Dword type,
              const std::string& data) {
  CreateKey(root, path).Values[name] = RegistryValue{type, data};
}

std::optional<RegistryValue> GetValue(RegistryKey& root, const std::string& path,
                                      const std::string& name) {
  RegistryKey* key = FindKey(root, path);
  if (!key) return std::nullopt;
  auto value = key->Values.find(name);
  if (value == key->Values.end()) return std::nullopt;
  return value->second;
}

int CallIndex(const std::string& prefix) {
  const auto& calls = TheMachine.Calls;
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].starts_with(prefix)) return static_cast<int>(i);
  }
  return -1;
}

int CallCount(const std::string& prefix) {
  return static_cast<int>(
      std::count_if(TheMachine.Calls.begin(), TheMachine.Calls.end(),
                    [&](const std::string& c) { return c.starts_with(prefix); }));
}

}  // namespace Fake

// --- The operations, as the program sees them --------------------------------

namespace WindowsOps {

using namespace Fake;

Dword GetVersion() {
  Record("GetVersion");
  return Windows().Version;
}

Dword GetSystemDirectoryA(char* buffer, Dword size) {
  Record("GetSystemDirectoryA");
  if (!Windows().SystemDirectory || Windows().RedirectionFails) return 0;
  const std::string& directory = *Windows().SystemDirectory;
  // Too small: the buffer is left alone and the size needed comes back.
  if (directory.size() + 1 > size) return static_cast<Dword>(directory.size() + 1);
  std::memcpy(buffer, directory.c_str(), directory.size() + 1);
  return static_cast<Dword>(directory.size());
}

const char* GetCommandLineA() {
  Record("GetCommandLineA");
  return Windows().CommandLine.c_str();
}

const char* CharNextA(const char* position) {
  if (*position == '\0') return position;
  if (IsLeadByte(static_cast<unsigned char>(position[0])) && position[1] != '\0') {
    return position + 2;
  }
  return position + 1;
}

Dword CharUpperBuffA(char* text, Dword length) {
  for (Dword i = 0; i < length; ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (IsLeadByte(c) && i + 1 < length) {
      ++i;  // the trail byte belongs to the character, not to the alphabet
      continue;
    }
    if (c >= 'a' && c <= 'z') {
      c -= 32;
    } else if (!Windows().DoubleByteCodePage) {
      // Windows-1252 letters with an upper case.
      if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        c -= 0x20;
      else if (c == 0x9A || c == 0x9C || c == 0x9E)
        c -= 0x10;
      else if (c == 0xFF)
        c = 0x9F;
    }
    text[i] = static_cast<char>(c);
  }
  return length;
}

int MessageBoxA(WindowHandle owner, const char* text, const char* caption, Dword style) {
  bool fails = Record("MessageBoxA", text);
  if (Windows().Dead) return 0;
  Windows().Boxes.push_back(Box{text, caption, style, static_cast<std::uintptr_t>(owner)});
  if (fails) return 0;
  if (Windows().BoxAnswers.empty()) return IDYES;
  int answer = Windows().BoxAnswers.front();
  Windows().BoxAnswers.pop_front();
  return answer;
}

std::intptr_t SendMessageTimeoutA(WindowHandle window, Dword message, std::uintptr_t, std::intptr_t,
                                  Dword flags, Dword timeoutMs, std::uintptr_t* result) {
  if (Record("SendMessageTimeoutA")) return 0;
  Windows().Broadcasts.push_back(
      Broadcast{static_cast<std::uintptr_t>(window), message, flags, timeoutMs,
                GetValue(Windows().UserRoot, IconSizeKey, IconSizeValue)});
  if (result) *result = 0;
  return 1;
}

Status RegCreateKeyExA(KeyHandle key, const char* subKey, Dword, Dword samDesired,
                       KeyHandle* result) {
  if (Record("RegCreateKeyExA", subKey)) return ERROR_ACCESS_DENIED;
  RegistryKey* current = RootOf(key);
  if (!current) return ERROR_FILE_NOT_FOUND;
  if (subKey[0] == '\\') return ERROR_BAD_PATHNAME;
  for (const std::string& part : SplitPath(subKey)) {
    auto sub = current->Subkeys.find(part);
    if (sub == current->Subkeys.end()) {
      if (!(current->Rights & CreateSubKeyRight)) return ERROR_ACCESS_DENIED;
      sub = current->Subkeys.emplace(part, RegistryKey{}).first;
    }
    current = &sub->second;
  }
  if (samDesired & ~current->Rights) return ERROR_ACCESS_DENIED;
  *result = NewKeyHandle(current);
  return ERROR_SUCCESS;
}

Status RegOpenKeyExA(KeyHandle key, const char* subKey, Dword samDesired, KeyHandle* result) {
  if (Record("RegOpenKeyExA", subKey)) return ERROR_ACCESS_DENIED;
  RegistryKey* root = RootOf(key);
  if (!root) return ERROR_FILE_NOT_FOUND;
  if (subKey[0] == '\\') return ERROR_BAD_PATHNAME;
  RegistryKey* found = FindKey(*root, subKey);
  if (!found) return ERROR_FILE_NOT_FOUND;
  if (samDesired & ~found->Rights) return ERROR_ACCESS_DENIED;
  *result = NewKeyHandle(found);
  return ERROR_SUCCESS;
}

namespace {

Status QueryValue(KeyHandle key, const char* valueName, Dword* type, unsigned char* data,
                  Dword* dataSize) {
  if (Record("RegQueryValueExA", valueName)) return ERROR_ACCESS_DENIED;
  RegistryKey* open = RootOf(key);
  if (!open) return ERROR_FILE_NOT_FOUND;
  auto value = open->Values.find(valueName);
  if (value == open->Values.end()) return ERROR_FILE_NOT_FOUND;
  const RegistryValue& stored = value->second;
  if (type) *type = stored.Type;
  if (!dataSize) return ERROR_SUCCESS;
  const auto size = static_cast<Dword>(stored.Data.size());
  if (data && *dataSize < size) {
    *dataSize = size;
    return ERROR_MORE_DATA;
  }
  if (data) std::memcpy(data, stored.Data.data(), size);
  *dataSize = size;
  return ERROR_SUCCESS;
}

}  // namespace

Status RegQueryValueExA(KeyHandle key, const char* valueName, Dword* type, unsigned char* data,
                        Dword* dataSize) {
  const Status status = QueryValue(key, valueName, type, data, dataSize);
  if (Windows().Meanwhile) Windows().Meanwhile("RegQueryValueExA");
  return status;
}

Status RegSetValueExA(KeyHandle key, const char* valueName, Dword type, const unsigned char* data,
                      Dword dataSize) {
  if (Record("RegSetValueExA", std::string(valueName) + "=" + Snippet(data, dataSize))) {
    return ERROR_ACCESS_DENIED;
  }
  RegistryKey* open = RootOf(key);
  if (!open) return ERROR_FILE_NOT_FOUND;
  open->Values[valueName] = RegistryValue{type, Snippet(data, dataSize)};
  return ERROR_SUCCESS;
}

Status RegDeleteValueA(KeyHandle key, const char* valueName) {
  if (Record("RegDeleteValueA", valueName)) return ERROR_ACCESS_DENIED;
  RegistryKey* open = RootOf(key);
  if (!open) return ERROR_FILE_NOT_FOUND;
  return open->Values.erase(valueName) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

Status RegDeleteKeyA(KeyHandle key, const char* subKey) {
  if (Record("RegDeleteKeyA", subKey)) return ERROR_ACCESS_DENIED;
  RegistryKey* root = RootOf(key);
  if (!root) return ERROR_FILE_NOT_FOUND;
  std::vector<std::string> parts = SplitPath(subKey);
  if (parts.empty()) return ERROR_BAD_PATHNAME;
  const std::string last = parts.back();
  parts.pop_back();
  RegistryKey* parent = root;
  for (const std::string& part : parts) {
    auto sub = parent->Subkeys.find(part);
    if (sub == parent->Subkeys.end()) return ERROR_FILE_NOT_FOUND;
    parent = &sub->second;
  }
  auto doomed = parent->Subkeys.find(last);
  if (doomed == parent->Subkeys.end()) return ERROR_FILE_NOT_FOUND;
  // As on NT: a key with subkeys stays.
  if (!doomed->second.Subkeys.empty()) return ERROR_ACCESS_DENIED;
  parent->Subkeys.erase(doomed);
  return ERROR_SUCCESS;
}

Status RegCloseKey(KeyHandle key) {
  if (Record("RegCloseKey")) return ERROR_ACCESS_DENIED;
  if (KeyHandles.erase(static_cast<std::uintptr_t>(key)) == 0) return ERROR_FILE_NOT_FOUND;
  --Windows().OpenKeys;
  return ERROR_SUCCESS;
}

namespace {

FindHandle FindFirst(const char* fileName, FindData* findData) {
  File* file = FindFile(fileName);
  if (Record("FindFirstFileA", fileName) || Windows().RedirectionFails || !file) {
    return INVALID_FIND_HANDLE;
  }
  findData->FileAttributes =
      file->Attributes | (file->Directory ? FILE_ATTRIBUTE_DIRECTORY : Dword{0});
  const std::uint64_t size = file->Contents.size();
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
  if (Record("CreateFileA", fileName)) return INVALID_HANDLE_VALUE;
  Windows().LastError = 0;
  if (Windows().RedirectionFails) return INVALID_HANDLE_VALUE;
  File* file = FindFile(fileName);
  // CREATE_NEW never opens what is there, not even a directory.
  if (file && creationDisposition == CREATE_NEW) {
    Windows().LastError = ERROR_FILE_EXISTS;
    return INVALID_HANDLE_VALUE;
  }
  const bool writing = desiredAccess & GENERIC_WRITE;
  if (file) {
    if (file->Directory) return INVALID_HANDLE_VALUE;
    if (writing && (file->Attributes & FILE_ATTRIBUTE_READONLY)) return INVALID_HANDLE_VALUE;
    // The holder shares nothing but reading, so any sharer must leave
    // writing to it alone, and may not write itself.
    if (file->HeldElsewhere && (writing || (shareMode & FILE_SHARE_WRITE) == 0)) {
      return INVALID_HANDLE_VALUE;
    }
  }
  if (creationDisposition == OPEN_EXISTING) {
    if (!file) return INVALID_HANDLE_VALUE;
  } else if (creationDisposition == CREATE_NEW) {
    file = &Windows().Files[fileName];
  } else {
    // No other disposition: none of them leaves an existing file alone.
    return INVALID_HANDLE_VALUE;
  }
  std::uintptr_t handle = NextHandle++;
  FileHandles[handle] = OpenFile{fileName, writing};
  ++Windows().OpenFiles;
  return static_cast<FileHandle>(handle);
}

Dword GetLastError() { return Windows().LastError; }

Dword GetFileSize(FileHandle file, Dword* fileSizeHigh) {
  OpenFile* open = FindOpenFile(file);
  if (Record("GetFileSize") || !open) return INVALID_FILE_SIZE;
  const std::uint64_t size = FindFile(open->Path)->Contents.size();
  if (fileSizeHigh) *fileSizeHigh = static_cast<Dword>(size >> 32);
  return static_cast<Dword>(size);
}

bool ReadFile(FileHandle file, void* buffer, Dword bytesToRead, Dword* bytesRead) {
  OpenFile* open = FindOpenFile(file);
  *bytesRead = 0;
  if (Record("ReadFile") || !open) return false;
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
  if (Record("WriteFile") || !open || !open->Writing) return false;
  Dword count = std::min(bytesToWrite, Windows().WriteLimit.value_or(bytesToWrite));
  FindFile(open->Path)->Contents.append(static_cast<const char*>(buffer), count);
  *bytesWritten = count;
  return true;
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
      Windows().RedirectionFails || !file) {
    return false;
  }
  file->Attributes = fileAttributes & ~FILE_ATTRIBUTE_DIRECTORY;
  return true;
}

bool DeleteFileA(const char* fileName) {
  File* file = FindFile(fileName);
  if (Record("DeleteFileA", fileName) || Windows().RedirectionFails || !file) return false;
  if (file->Directory || file->HeldElsewhere || (file->Attributes & FILE_ATTRIBUTE_READONLY)) {
    return false;
  }
  Windows().Files.erase(fileName);
  return true;
}

// The run lock. One process at a time holds it; the model's other run, if
// any, holds it until the clock reaches the moment it ends.
MutexHandle CreateMutexA(const char* name) {
  Machine& m = Windows();
  if (Record("CreateMutexA", name)) return MutexHandle{};
  m.LockName = name;
  if (m.LockRefused) {
    m.LastError = ERROR_NOT_ENOUGH_MEMORY;
    return MutexHandle{};
  }
  const bool otherRunGoesOn =
      m.Lock == LockHolder::OtherRun && (!m.OtherRunEndsAtMs || m.ClockMs < *m.OtherRunEndsAtMs);
  if (m.LockOfAnotherUser && otherRunGoesOn) {
    m.LastError = static_cast<Dword>(ERROR_ACCESS_DENIED);
    return MutexHandle{};
  }
  m.LastError = 0;
  return MutexHandle{LockHandle};
}

Dword WaitForSingleObject(MutexHandle mutex, Dword milliseconds) {
  Machine& m = Windows();
  if (Record("WaitForSingleObject", std::to_string(milliseconds)) ||
      mutex != MutexHandle{LockHandle}) {
    return WAIT_FAILED;
  }
  if (m.Lock == LockHolder::OtherRun) {
    const bool ends = m.OtherRunEndsAtMs &&
                      (milliseconds == INFINITE || *m.OtherRunEndsAtMs <= m.ClockMs + milliseconds);
    if (!ends) {
      // A wait without end on a run that never ends would hang the test.
      if (milliseconds == INFINITE) return WAIT_FAILED;
      m.ClockMs += milliseconds;
      return WAIT_TIMEOUT;
    }
    m.ClockMs = std::max(m.ClockMs, *m.OtherRunEndsAtMs);
    if (m.OtherRunDoes) m.OtherRunDoes();
    m.Lock = LockHolder::None;
  }
  const bool abandoned = m.Lock == LockHolder::DeadRun;
  m.Lock = LockHolder::Us;
  return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
}

bool ReleaseMutex(MutexHandle mutex) {
  if (Record("ReleaseMutex") || mutex != MutexHandle{LockHandle}) return false;
  if (Windows().Lock != LockHolder::Us) return false;
  Windows().Lock = LockHolder::None;
  return true;
}

bool CloseHandle(MutexHandle mutex) {
  return !Record("CloseHandle", "(mutex)") && mutex == MutexHandle{LockHandle};
}

void Sleep(Dword milliseconds) {
  if (Record("Sleep", std::to_string(milliseconds))) return;
  Windows().ClockMs += milliseconds;
}

// Kept out of Calls: the program's calls stay as they read without them.
void* HeapAlloc(std::size_t bytes) {
  if (++Windows().Allocations == Windows().RefusedAllocation) return nullptr;
  void* block = std::malloc(bytes);
  BlockSizes()[block] = bytes;
  ++Windows().HeapBlocks;
  Windows().HeapBytes += bytes;
  Windows().PeakHeapBytes = std::max(Windows().PeakHeapBytes, Windows().HeapBytes);
  return block;
}

bool HeapFree(void* memory) {
  --Windows().HeapBlocks;
  auto block = BlockSizes().find(memory);
  if (block != BlockSizes().end()) {
    Windows().HeapBytes -= std::min(Windows().HeapBytes, block->second);
    BlockSizes().erase(block);
  }
  std::free(memory);
  return true;
}

void ExitProcess(Dword exitCode) {
  if (Record("ExitProcess")) return;
  Windows().ExitCode = exitCode;
}

}  // namespace WindowsOps
