#include "tests/fake/FakeWindows.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Fake {
namespace {

using namespace WindowsOps;

Machine TheMachine;

struct OpenFile {
  std::string Path;
  bool Reading = false;
  bool Writing = false;
  std::size_t Position = 0;
};

// An open key keeps the access it was opened with; null once the key is
// deleted under it.
struct OpenKey {
  RegistryKey* Key = nullptr;
  Dword Access = 0;
  bool Machine = false;  // under HKEY_LOCAL_MACHINE
};

std::map<std::uintptr_t, OpenKey> KeyHandles;
std::map<std::uintptr_t, OpenFile> FileHandles;
std::set<std::uintptr_t> FindHandles;
// Each mutex handle of this process, with the name it has in the object
// manager.
std::map<std::uintptr_t, std::string> MutexHandles;
// Every live heap block's size, across machines: a block may outlive the
// machine it came from, and the program's globals free theirs after every
// static of this file has gone, so this one never goes.
std::map<void*, std::size_t>& BlockSizes() {
  static auto* sizes = new std::map<void*, std::size_t>;
  return *sizes;
}
std::uintptr_t NextHandle = 0x100;
// The exit code of the copy that ShellExecuteExA started last.
Dword CopyExitCode = 0;

constexpr Status BAD_PATHNAME = 161;
constexpr Status KEY_DELETED = 1018;
// Any error that the program does not look for.
constexpr Dword ERROR_PROCESS_DIED = 0xDEAD;
constexpr Dword ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr Dword ERROR_SHARING_VIOLATION = 32;
constexpr Dword ERROR_ALREADY_EXISTS = 183;
constexpr Dword ERROR_NOT_OWNER = 288;
constexpr Dword WAIT_FAILED = 0xFFFFFFFF;
constexpr Dword DeniedCode = static_cast<Dword>(ERROR_ACCESS_DENIED);
constexpr Dword NotFoundCode = static_cast<Dword>(ERROR_FILE_NOT_FOUND);
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

// The 9x family checks no rights.
bool NineX() { return TheMachine.Version & 0x80000000u; }

bool Allows(Dword granted, Dword asked) { return NineX() || (asked & ~granted) == 0; }

// A limited account, or a token that is not elevated, changes nothing of
// the machine's own.
bool MayChangeTheMachine() {
  return NineX() || (!TheMachine.LimitedAccount && TheMachine.Elevated != false);
}

// What the user may do with a key: its own rights, and under
// HKEY_LOCAL_MACHINE no more than reading where the machine is not his.
Dword RightsOn(const RegistryKey& key, bool machine) {
  return machine && !MayChangeTheMachine() ? key.Rights & ReadRights : key.Rights;
}

bool InSystemDirectory(const std::string& path) {
  const std::optional<std::string>& directory = TheMachine.SystemDirectory;
  return directory && path.size() > directory->size() &&
         !NoCase()(path.substr(0, directory->size()), *directory) &&
         !NoCase()(*directory, path.substr(0, directory->size())) &&
         path[directory->size()] == '\\';
}

// A root key is open with every right; any other handle with its own.
std::optional<OpenKey> OpenedKey(KeyHandle key) {
  if (key == HKEY_LOCAL_MACHINE) return OpenKey{&TheMachine.MachineRoot, AllRights, true};
  if (key == HKEY_CURRENT_USER) return OpenKey{&TheMachine.UserRoot, AllRights, false};
  auto open = KeyHandles.find(static_cast<std::uintptr_t>(key));
  if (open == KeyHandles.end()) return std::nullopt;
  return open->second;
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

KeyHandle NewKeyHandle(RegistryKey* key, Dword access, bool machine) {
  std::uintptr_t handle = NextHandle++;
  KeyHandles[handle] = OpenKey{key, access, machine};
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

bool OpenByUs(const std::string& path) {
  return std::any_of(FileHandles.begin(), FileHandles.end(), [&](const auto& open) {
    return !NoCase()(open.second.Path, path) && !NoCase()(path, open.second.Path);
  });
}

// Where a name lives in the object manager: the global namespace, or a
// session's. Session 0's namespace is the global one, and a system
// without namespaces has only that one and takes no backslash.
std::optional<std::string> ObjectName(const std::string& name, Dword session) {
  const bool namespaces = TheMachine.Namespaces;
  std::string rest = name;
  const std::size_t slash = name.find('\\');
  if (slash != std::string::npos) {
    if (!namespaces) return std::nullopt;
    const std::string space = name.substr(0, slash);
    rest = name.substr(slash + 1);
    if (space == "Global") return "Global\\" + rest;
    if (space != "Local") return std::nullopt;
  }
  if (!namespaces || session == 0) return "Global\\" + rest;
  return "Session" + std::to_string(session) + "\\" + rest;
}

// The other run that holds the named mutex at that moment, if any.
OtherRun* HolderAt(const std::string& objectName, Dword ms) {
  for (OtherRun& run : TheMachine.OtherRuns) {
    if (run.EndsAtMs && *run.EndsAtMs <= ms) continue;
    for (const std::string& held : run.Holds) {
      if (ObjectName(held, run.Session) == objectName) return &run;
    }
  }
  return nullptr;
}

// Moves the clock on: other runs whose time has come end, and names left
// pending by a delete go once their scanner lets go.
void AdvanceClock(Dword ms) {
  Machine& m = TheMachine;
  m.ClockMs = std::max(m.ClockMs, ms);
  for (OtherRun& run : m.OtherRuns) {
    if (run.Ended || !run.EndsAtMs || *run.EndsAtMs > m.ClockMs) continue;
    run.Ended = true;
    if (run.Does) run.Does();
  }
  std::erase_if(m.Files, [&](const auto& entry) {
    return entry.second.DeletePending && m.ClockMs >= entry.second.ScannedUntilMs.value_or(0);
  });
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
  MutexHandles.clear();
}

void FailCall(const std::string& operation, int callNumber) {
  TheMachine.Failing[operation].insert(callNumber);
}

// No other run of the model waits on this one's mutexes, so what it owned
// is abandoned to no one: with its last handle gone, the mutex is gone.
void EndProcess() {
  KeyHandles.clear();
  FileHandles.clear();
  FindHandles.clear();
  MutexHandles.clear();
  TheMachine.OwnedMutexes.clear();
  TheMachine.OurWindows.clear();
  TheMachine.OpenKeys = TheMachine.OpenFiles = TheMachine.OpenFinds = TheMachine.OpenMutexes = 0;
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
  m.MutexNames.clear();
  m.Started.clear();
  m.DllSearchRestricted = m.MayTakeForeground = false;
  m.OurWindows.clear();
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
    if (c == 'i' && Windows().TurkishCasing) {
      c = 0xDD;
    } else if (c >= 'a' && c <= 'z') {
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
  Windows().MayTakeForeground = true;
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
  std::optional<OpenKey> open = OpenedKey(key);
  if (!open) return ERROR_FILE_NOT_FOUND;
  if (!open->Key) return KEY_DELETED;
  if (subKey[0] == '\\') return BAD_PATHNAME;
  RegistryKey* current = open->Key;
  for (const std::string& part : SplitPath(subKey)) {
    auto sub = current->Subkeys.find(part);
    if (sub == current->Subkeys.end()) {
      if (!Allows(RightsOn(*current, open->Machine), CreateSubKeyRight)) return ERROR_ACCESS_DENIED;
      sub = current->Subkeys.emplace(part, RegistryKey{}).first;
    }
    current = &sub->second;
  }
  if (!Allows(RightsOn(*current, open->Machine), samDesired)) return ERROR_ACCESS_DENIED;
  *result = NewKeyHandle(current, samDesired, open->Machine);
  return ERROR_SUCCESS;
}

Status RegOpenKeyExA(KeyHandle key, const char* subKey, Dword samDesired, KeyHandle* result) {
  if (Record("RegOpenKeyExA", subKey)) return ERROR_ACCESS_DENIED;
  std::optional<OpenKey> open = OpenedKey(key);
  if (!open) return ERROR_FILE_NOT_FOUND;
  if (!open->Key) return KEY_DELETED;
  if (subKey[0] == '\\') return BAD_PATHNAME;
  RegistryKey* found = FindKey(*open->Key, subKey);
  if (!found) return ERROR_FILE_NOT_FOUND;
  if (!Allows(RightsOn(*found, open->Machine), samDesired)) return ERROR_ACCESS_DENIED;
  *result = NewKeyHandle(found, samDesired, open->Machine);
  return ERROR_SUCCESS;
}

namespace {

// The open key behind a handle, where the handle grants the right asked;
// otherwise the status that the call fails with.
Status KeyFor(KeyHandle key, Dword right, RegistryKey*& found, bool* machine = nullptr) {
  std::optional<OpenKey> open = OpenedKey(key);
  if (!open) return ERROR_FILE_NOT_FOUND;
  if (!open->Key) return KEY_DELETED;
  if (!Allows(open->Access, right)) return ERROR_ACCESS_DENIED;
  found = open->Key;
  if (machine) *machine = open->Machine;
  return ERROR_SUCCESS;
}

Status QueryValue(KeyHandle key, const char* valueName, Dword* type, unsigned char* data,
                  Dword* dataSize) {
  if (Record("RegQueryValueExA", valueName)) return ERROR_ACCESS_DENIED;
  RegistryKey* open = nullptr;
  if (Status status = KeyFor(key, KEY_QUERY_VALUE, open); status != ERROR_SUCCESS) return status;
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
  RegistryKey* open = nullptr;
  if (Status status = KeyFor(key, KEY_SET_VALUE, open); status != ERROR_SUCCESS) return status;
  open->Values[valueName] = RegistryValue{type, Snippet(data, dataSize)};
  return ERROR_SUCCESS;
}

Status RegDeleteValueA(KeyHandle key, const char* valueName) {
  if (Record("RegDeleteValueA", valueName)) return ERROR_ACCESS_DENIED;
  RegistryKey* open = nullptr;
  if (Status status = KeyFor(key, KEY_SET_VALUE, open); status != ERROR_SUCCESS) return status;
  return open->Values.erase(valueName) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

Status RegQueryInfoKeyA(KeyHandle key, Dword* subKeys, Dword* values) {
  if (Record("RegQueryInfoKeyA")) return ERROR_ACCESS_DENIED;
  RegistryKey* open = nullptr;
  if (Status status = KeyFor(key, KEY_QUERY_VALUE, open); status != ERROR_SUCCESS) return status;
  *subKeys = static_cast<Dword>(open->Subkeys.size());
  *values = static_cast<Dword>(open->Values.size());
  return ERROR_SUCCESS;
}

Status RegDeleteKeyA(KeyHandle key, const char* subKey) {
  if (Record("RegDeleteKeyA", subKey)) return ERROR_ACCESS_DENIED;
  RegistryKey* root = nullptr;
  bool machine = false;
  if (Status status = KeyFor(key, 0, root, &machine); status != ERROR_SUCCESS) return status;
  std::vector<std::string> parts = SplitPath(subKey);
  if (parts.empty()) return BAD_PATHNAME;
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
  if (!Allows(RightsOn(doomed->second, machine), DeleteRight)) return ERROR_ACCESS_DENIED;
  // NT keeps a key with subkeys; 95, 98 and ME delete them with it.
  if (!NineX() && !doomed->second.Subkeys.empty()) return ERROR_ACCESS_DENIED;
  for (auto& open : KeyHandles) {
    if (open.second.Key == &doomed->second) open.second.Key = nullptr;
  }
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
  const std::uint64_t size = file->Contents.size();
  findData->FileSizeHigh = static_cast<Dword>(size >> 32);
  findData->FileSizeLow = static_cast<Dword>(size);
  std::uintptr_t handle = NextHandle++;
  FindHandles.insert(handle);
  ++Windows().OpenFinds;
  return static_cast<FindHandle>(handle);
}

// Fails a file call with the error Windows gives.
template <typename Result>
Result FailWith(Dword error, Result result) {
  Windows().LastError = error;
  return result;
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

Dword GetLastError() { return Windows().LastError; }

Dword GetFileSize(FileHandle file, Dword* fileSizeHigh) {
  OpenFile* open = FindOpenFile(file);
  if (Record("GetFileSize") || !open || !FindFile(open->Path)) return INVALID_FILE_SIZE;
  const std::uint64_t size = FindFile(open->Path)->Contents.size();
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

// Named mutexes, as the object manager keeps them: by namespace and name,
// for as long as a handle to them is open.
MutexHandle CreateMutexA(const char* name) {
  Machine& m = Windows();
  if (Record("CreateMutexA", name)) return FailWith(ERROR_NOT_ENOUGH_MEMORY, MutexHandle{});
  m.MutexNames.push_back(name);
  if (m.MutexesRefused) return FailWith(ERROR_NOT_ENOUGH_MEMORY, MutexHandle{});
  const std::optional<std::string> object = ObjectName(name, m.Session);
  if (!object) return FailWith(ERROR_PATH_NOT_FOUND, MutexHandle{});
  const OtherRun* holder = HolderAt(*object, m.ClockMs);
  if (holder && holder->AnotherUsers) return FailWith(DeniedCode, MutexHandle{});
  const bool exists =
      holder || std::any_of(MutexHandles.begin(), MutexHandles.end(),
                            [&](const auto& open) { return open.second == *object; });
  const std::uintptr_t handle = NextHandle++;
  MutexHandles[handle] = *object;
  ++m.OpenMutexes;
  m.LastError = exists ? ERROR_ALREADY_EXISTS : 0;
  return static_cast<MutexHandle>(handle);
}

// The mutex is ours once every run that holds it has ended; abandoned
// where the last of them died holding it while this run waited.
Dword WaitForSingleObject(MutexHandle mutex, Dword milliseconds) {
  Machine& m = Windows();
  if (Record("WaitForSingleObject", std::to_string(milliseconds))) return WAIT_FAILED;
  auto open = MutexHandles.find(static_cast<std::uintptr_t>(mutex));
  if (open == MutexHandles.end()) return WAIT_FAILED;
  std::optional<Dword> free = m.ClockMs;
  const OtherRun* last = nullptr;
  while (const OtherRun* holder = HolderAt(open->second, *free)) {
    last = holder;
    free = holder->EndsAtMs;
    if (!free) break;
  }
  if (!free || (milliseconds != INFINITE && *free > m.ClockMs + milliseconds)) {
    // A wait without end on a run that never ends would hang the test.
    if (milliseconds == INFINITE) return WAIT_FAILED;
    AdvanceClock(m.ClockMs + milliseconds);
    return WAIT_TIMEOUT;
  }
  AdvanceClock(*free);
  m.OwnedMutexes.insert(open->second);
  return last && last->Dies ? WAIT_ABANDONED : WAIT_OBJECT_0;
}

bool ReleaseMutex(MutexHandle mutex) {
  if (Record("ReleaseMutex")) return false;
  auto open = MutexHandles.find(static_cast<std::uintptr_t>(mutex));
  if (open == MutexHandles.end() || Windows().OwnedMutexes.erase(open->second) == 0) {
    return FailWith(ERROR_NOT_OWNER, false);
  }
  return true;
}

bool CloseHandle(MutexHandle mutex) {
  if (Record("CloseHandle", "(mutex)")) return false;
  if (MutexHandles.erase(static_cast<std::uintptr_t>(mutex)) == 0) return false;
  --Windows().OpenMutexes;
  return true;
}

void Sleep(Dword milliseconds) {
  if (Record("Sleep", std::to_string(milliseconds))) return;
  AdvanceClock(Windows().ClockMs + milliseconds);
}

Dword GetTickCount() {
  Record("GetTickCount");
  return Windows().ClockMs;
}

// The token: none on 95, 98 and ME; before Vista it knows no elevation.
constexpr std::uintptr_t TokenValue = 0x70C3;
constexpr std::uintptr_t CopyValue = 0xC0B1;
constexpr ModuleHandle Shell32Module{0x5E11};
constexpr ModuleHandle MprModule{0x3B90};
std::u16string CopyParameters;
constexpr Dword ERROR_CALL_NOT_IMPLEMENTED = 120;
constexpr Dword ERROR_PROC_NOT_FOUND = 127;
constexpr Dword ERROR_INVALID_HANDLE = 6;

bool OpenProcessToken(Dword, TokenHandle* token) {
  if (Record("OpenProcessToken")) return FailWith(DeniedCode, false);
  if (NineX()) return FailWith(ERROR_CALL_NOT_IMPLEMENTED, false);
  *token = TokenHandle{TokenValue};
  return true;
}

bool GetTokenInformation(TokenHandle token, Dword informationClass, void* information, Dword length,
                         Dword* returnLength) {
  if (Record("GetTokenInformation") || token != TokenHandle{TokenValue}) {
    return FailWith(ERROR_INVALID_HANDLE, false);
  }
  if (informationClass != TokenElevation || !Windows().Elevated) {
    return FailWith(ERROR_INVALID_PARAMETER, false);
  }
  if (length < sizeof(Dword)) return FailWith(ERROR_INVALID_PARAMETER, false);
  const Dword elevated = *Windows().Elevated ? 1 : 0;
  std::memcpy(information, &elevated, sizeof elevated);
  *returnLength = sizeof elevated;
  return true;
}

bool CloseHandle(TokenHandle token) {
  return !Record("CloseHandle", "(token)") && token == TokenHandle{TokenValue};
}

Dword GetModuleFileNameW(char16_t* buffer, Dword size) {
  if (Record("GetModuleFileNameW")) return 0;
  const std::u16string& name = Windows().ModuleFileName;
  const std::size_t copied = std::min<std::size_t>(name.size(), size);
  std::copy_n(name.data(), copied, buffer);
  if (copied < size) buffer[copied] = u'\0';
  return static_cast<Dword>(copied);
}

constexpr Dword DRIVE_FIXED = 3;
constexpr Dword ERROR_NOT_CONNECTED = 2250;

Dword GetDriveTypeW(const char16_t* rootPathName) {
  Record("GetDriveTypeW");
  return Windows().NetworkDrives.contains(rootPathName[0]) ? DRIVE_REMOTE : DRIVE_FIXED;
}

bool SetDefaultDllDirectories(Dword directoryFlags) {
  if (Record("SetDefaultDllDirectories") || !Windows().DllDirectoriesCall) {
    return FailWith(ERROR_PROC_NOT_FOUND, false);
  }
  Windows().DllSearchRestricted = directoryFlags == LOAD_LIBRARY_SEARCH_SYSTEM32;
  return true;
}

// A module is known by its file name alone: the tests read the path asked
// for in Calls.
ModuleHandle LoadLibraryA(const char* fileName) {
  if (Record("LoadLibraryA", fileName)) return FailWith(NotFoundCode, ModuleHandle{});
  std::string name = fileName;
  name = name.substr(name.rfind('\\') + 1);
  if (!NoCase()(name, "shell32.dll") && !NoCase()("shell32.dll", name)) return Shell32Module;
  if (!NoCase()(name, "mpr.dll") && !NoCase()("mpr.dll", name)) return MprModule;
  return FailWith(NotFoundCode, ModuleHandle{});
}

// Windows' prompt for rights takes the input, and the copy starts once the
// user allows it; it runs while it is waited for.
bool ShellExecuteExW(ModuleHandle shell32, ShellExecuteInfo* info) {
  Machine& m = Windows();
  const std::u16string started =
      std::u16string(info->Verb) + u" " + info->File + u" " + info->Parameters;
  if (Record("ShellExecuteExW")) return FailWith(DeniedCode, false);
  if (m.Prompt == ElevationPrompt::Unavailable || shell32 != Shell32Module) {
    return FailWith(ERROR_PROC_NOT_FOUND, false);
  }
  const auto window = static_cast<std::uintptr_t>(info->Window);
  const bool ownerInFront = m.OurWindows.contains(window) && m.ForegroundWindow == window;
  m.MayTakeForeground = false;
  if (m.Prompt == ElevationPrompt::No) return FailWith(ERROR_CANCELLED, false);
  m.Started.push_back({started, info->Mask, ownerInFront, !m.OwnedMutexes.empty()});
  CopyParameters = info->Parameters;
  info->Process =
      (info->Mask & SEE_MASK_NOCLOSEPROCESS) ? ProcessHandle{CopyValue} : ProcessHandle{};
  return true;
}

void SHChangeNotify(ModuleHandle shell32, Dword eventId, Dword flags) {
  char notice[24];
  std::snprintf(notice, sizeof notice, "%08X %X", eventId, flags);
  Record("SHChangeNotify", shell32 == Shell32Module ? notice : "(no SHELL32)");
}

Dword WNetGetUniversalNameW(ModuleHandle mpr, const char16_t* localPath, char16_t* universalName,
                            Dword size) {
  if (Record("WNetGetUniversalNameW") || mpr != MprModule) return ERROR_PROC_NOT_FOUND;
  auto drive = Windows().NetworkDrives.find(localPath[0]);
  if (drive == Windows().NetworkDrives.end()) return ERROR_NOT_CONNECTED;
  const std::u16string name = drive->second + (localPath + 2);
  if (name.size() >= size) return static_cast<Dword>(ERROR_MORE_DATA);
  std::copy_n(name.c_str(), name.size() + 1, universalName);
  return NO_ERROR;
}

Dword WaitForSingleObject(ProcessHandle process, Dword) {
  if (Record("WaitForSingleObject", "(process)")) return WAIT_FAILED;
  if (process != ProcessHandle{CopyValue}) return WAIT_FAILED;
  Machine& m = Windows();
  m.Started.back().WindowsWhileCopyRan = m.OurWindows.size();
  CopyExitCode = m.Copy ? m.Copy(CopyParameters) : 0;
  return WAIT_OBJECT_0;
}

bool GetExitCodeProcess(ProcessHandle process, Dword* exitCode) {
  if (Record("GetExitCodeProcess") || process != ProcessHandle{CopyValue}) {
    return FailWith(ERROR_INVALID_HANDLE, false);
  }
  *exitCode = CopyExitCode;
  return true;
}

bool CloseHandle(ProcessHandle process) {
  return !Record("CloseHandle", "(process)") && process == ProcessHandle{CopyValue};
}

// Kept out of Calls: the program's calls stay as they read without them.
// A window of ours: the foreground only where the process may set it.
WindowHandle CreateWindowExA(Dword, const char* className, Dword) {
  if (Record("CreateWindowExA", className)) return FailWith(DeniedCode, WindowHandle{});
  const std::uintptr_t window = NextHandle++;
  Windows().OurWindows.insert(window);
  return WindowHandle{window};
}

bool SetForegroundWindow(WindowHandle window) {
  Machine& m = Windows();
  const auto handle = static_cast<std::uintptr_t>(window);
  if (Record("SetForegroundWindow") || !m.OurWindows.contains(handle) || !m.MayTakeForeground) {
    return false;
  }
  m.ForegroundWindow = handle;
  return true;
}

// Success clears the last error, as some of Windows' calls do.
bool DestroyWindow(WindowHandle window) {
  if (Record("DestroyWindow") || !Windows().OurWindows.erase(static_cast<std::uintptr_t>(window))) {
    return FailWith(ERROR_INVALID_HANDLE, false);
  }
  Windows().LastError = 0;
  return true;
}

bool AllowSetForegroundWindow(Dword processId) {
  char process[12];
  std::snprintf(process, sizeof process, "%X", processId);
  return !Record("AllowSetForegroundWindow", process) && Windows().MayTakeForeground;
}

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
