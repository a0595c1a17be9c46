// A whole run against a fuzzed machine: files of any size and attributes
// under the two library names, registry values of any type, keys that
// refuse access, boxes answered or failing, calls that fail, short writes,
// memory refused.
// The run must end with exit code 0 and every handle released, delete no
// file but the two libraries and those only at their own sizes (or, for
// the current one, cut off in the writing), and never leave the value
// naming a whole library it has just deleted.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "deploy/IconLibraryImage.h"
#include "deploy/ShellRefresh.h"
#include "driver/Pivane.h"
#include "tests/fake/FakeWindows.h"
#include "tests/fake/FreshProcess.h"

namespace {

using namespace WindowsOps;

const std::string Dir = "C:\\WINDOWS\\system32";
const std::string Library = Dir + "\\pivane.dll";
const std::string OldLibrary = Dir + "\\pivact.dll";
const std::string Other = Dir + "\\shell32.dll";
const std::string IconKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Icons";
const std::string IconSizeKey = "Control Panel\\Desktop\\WindowMetrics";

const char* const Operations[] = {"CreateFileA",      "GetFileSize",     "WriteFile",
                                  "CloseHandle",      "DeleteFileA",     "SetFileAttributesA",
                                  "FindFirstFileA",   "RegCreateKeyExA", "RegOpenKeyExA",
                                  "RegQueryValueExA", "RegSetValueExA",  "MessageBoxA",
                                  "FlushFileBuffers", "ReadFile",        "RegQueryInfoKeyA"};

void MaybeFile(FuzzedDataProvider& input, const std::string& path) {
  if (!input.ConsumeBool()) return;
  const std::size_t sizes[] = {0, 5119, 5120, 5121, 7680, 100};
  Fake::File file;
  file.Contents = std::string(input.PickValueInArray(sizes), 'x');
  file.Attributes = input.ConsumeIntegral<std::uint8_t>() & 0x27;
  file.Directory = input.ConsumeIntegralInRange(0, 7) == 0;
  file.HeldElsewhere = input.ConsumeIntegralInRange(0, 3) == 0;
  Fake::Windows().Files[path] = file;
}

void MaybeValue(FuzzedDataProvider& input, Fake::RegistryKey& root, const std::string& key,
                const std::string& name, const std::string& likely) {
  if (!input.ConsumeBool()) return;
  const Dword type = input.ConsumeIntegralInRange<Dword>(0, 7);
  std::string data = input.ConsumeBool() ? likely : input.ConsumeRandomLengthString(64);
  Fake::SetValue(root, key, name, type, data);
  Fake::FindKey(root, key)->Rights =
      input.PickValueInArray({Fake::AllRights, Fake::AllRights, Fake::ReadRights, Dword{0}});
}

// What an install cut off while it wrote leaves: created normal, never
// read-only, hidden or system.
bool CutOffLibrary(const Fake::File& file) {
  const std::string& contents = file.Contents;
  return (file.Attributes & 0x07) == 0 && contents.size() < IconLibraryImage.size() &&
         std::equal(contents.begin(), contents.end(), IconLibraryImage.begin());
}

bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  Fake::StartFreshProcess();

  Fake::Windows().CommandLine = input.ConsumeBool() ? "pivane.exe /S" : "pivane.exe";
  MaybeFile(input, Library);
  MaybeFile(input, OldLibrary);
  MaybeFile(input, Other);
  MaybeValue(input, Fake::Windows().MachineRoot, IconKey, "4", Library + ",0" + '\0');
  MaybeValue(input, Fake::Windows().UserRoot, IconSizeKey, "Shell Icon Size", "24");
  for (int answer = input.ConsumeIntegralInRange(0, 2); answer > 0; --answer) {
    Fake::Windows().BoxAnswers.push_back(input.ConsumeBool() ? IDYES : IDNO);
  }
  if (input.ConsumeBool())
    Fake::Windows().WriteLimit = input.ConsumeIntegralInRange<Dword>(0, 5120);
  for (int failures = input.ConsumeIntegralInRange(0, 3); failures > 0; --failures) {
    Fake::FailCall(input.PickValueInArray(Operations), input.ConsumeIntegralInRange(1, 4));
  }
  // Memory refused at one allocation, or (at 0) never.
  Fake::Windows().RefusedAllocation = input.ConsumeIntegralInRange(0, 40);

  const auto before = Fake::Windows().Files;
  PivaneMain();

  const Fake::Machine& after = Fake::Windows();
  if (after.ExitCode != 0u) std::abort();
  if (after.OpenKeys != 0 || after.OpenFiles != 0 || after.OpenFinds != 0) std::abort();
  for (const auto& [path, file] : before) {
    if (after.Files.contains(path)) continue;
    const bool ours = (path == Library && (file.Contents.size() == 5120 || CutOffLibrary(file))) ||
                      (path == OldLibrary && file.Contents.size() == 7680);
    if (!ours || file.Directory) {
      std::fprintf(stderr, "deleted %s of %zu bytes\n", path.c_str(), file.Contents.size());
      std::abort();
    }
    // A library cut off names no icon either way; a whole one must not go
    // while the value still names it.
    if (path == Library && file.Contents.size() == 5120) {
      auto value = Fake::GetValue(Fake::Windows().MachineRoot, IconKey, "4");
      if (value &&
          SameIgnoringAsciiCase(value->Data.substr(0, value->Data.find('\0')), Library + ",0")) {
        std::abort();
      }
    }
  }
  return 0;
}
