// The machine as a whole: its version, system directory, command line,
// code page and heap; and the model's own machinery, which every other
// file of it uses: the call log and the failures asked for (Record,
// FailWith), new machines and processes and the end of one, the registry
// as tests arrange and read it, and the last error.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "tests/fake/FakeInternal.h"

namespace Fake {

Machine TheMachine;

std::map<std::uintptr_t, OpenKey> KeyHandles;
std::map<std::uintptr_t, OpenFile> FileHandles;
std::set<std::uintptr_t> FindHandles;
// Each mutex handle of this process, with the name it has in the object
// manager.
std::map<std::uintptr_t, std::string> MutexHandles;
std::uintptr_t NextHandle = 0x100;

namespace {

// Every live heap block's size, across machines: a block may outlive the
// machine it came from, and the program's globals free theirs after every
// static of this file has gone, so this one never goes.
std::map<void*, std::size_t>& BlockSizes() {
  static auto* sizes = new std::map<void*, std::size_t>;
  return *sizes;
}

unsigned char Lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

bool IsLeadByte(unsigned char c) {
  return TheMachine.DoubleByteCodePage && ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC));
}

}  // namespace

bool Record(const std::string& operation, const std::string& argument) {
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
  TheMachine.OpenKeys = TheMachine.OpenFiles = TheMachine.OpenFinds = TheMachine.OpenMutexes =
      TheMachine.OpenTokens = TheMachine.OpenProcesses = 0;
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
  m.DllDirectory.reset();
  m.ComApartments = 0;
  m.OurWindows.clear();
  m.Posted.clear();
  m.PostedNew = false;
  m.PeeksKept = 0;
  m.Sends = 0;
  m.LastSentMs = 0;
  m.SentWaiting = m.Unanswered = 0;
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

Dword GetACP() {
  Record("GetACP");
  return Windows().AnsiCodePage;
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

Dword GetLastError() { return Windows().LastError; }

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

}  // namespace WindowsOps
