// Any type, size and bytes for the machine-wide value "4" and the per-user
// icon size value: the reader
// never reads past the data, leaves the caller's text alone when it says
// false, and the option counts as installed only when the text equals the
// installed form without regard to case.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/Pivane.h"
#include "registry/RegCtrl.h"
#include "tests/TextSupport.h"
#include "tests/fake/FakeWindows.h"

namespace {

const std::string IconKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Icons";
const std::string IconSizeKey = "Control Panel\\Desktop\\WindowMetrics";

// Windows-1252 upper case, written apart from the model's.
char Upper(char c) {
  auto byte = static_cast<unsigned char>(c);
  if ((byte >= 'a' && byte <= 'z') || (byte >= 0xE0 && byte <= 0xFE && byte != 0xF7))
    byte -= 0x20;
  else if (byte == 0x9A || byte == 0x9C || byte == 0x9E)
    byte -= 0x10;
  else if (byte == 0xFF)
    byte = 0x9F;
  return static_cast<char>(byte);
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Upper(x) == Upper(y); });
}

// Stores the bytes as the value, of the type the first byte picks, and
// checks what GetRegString makes of it.
void CheckRead(Fake::RegistryKey& root, WindowsOps::KeyHandle rootHandle, const std::string& key,
               const std::string& name, const std::uint8_t* data, std::size_t size) {
  if (size < 1) return;
  const WindowsOps::Dword type = data[0] % 8;
  const std::string stored(reinterpret_cast<const char*>(data + 1), size - 1);
  Fake::SetValue(root, key, name, type, stored);

  Text value = "sentinel";
  const bool read = RegCtrl::GetRegString(rootHandle, key, name, value);
  const bool isString = type == WindowsOps::REG_SZ || type == WindowsOps::REG_EXPAND_SZ;
  if (read != (isString || stored.empty())) std::abort();
  if (!read && !(value == "sentinel")) std::abort();
  if (read && !(value == stored.substr(0, stored.find('\0')))) std::abort();
  if (Fake::Windows().OpenKeys != 0) std::abort();
}

}  // namespace

// The input is split in two: the machine-wide value "4", then the per-user
// icon size value.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Fake::Reset();
  const std::size_t half = size / 2;
  CheckRead(Fake::Windows().UserRoot, WindowsOps::HKEY_CURRENT_USER, IconSizeKey, "Shell Icon Size",
            data + half, size - half);
  CheckRead(Fake::Windows().MachineRoot, WindowsOps::HKEY_LOCAL_MACHINE, IconKey, "4", data, half);

  Text value;
  const bool read = RegCtrl::GetRegString(WindowsOps::HKEY_LOCAL_MACHINE, IconKey, "4", value);
  SystemDir = "C:\\WINDOWS\\system32";
  const bool installed = DetectOptionState();
  if (installed != (read && SameIgnoringCase(Str(value), Str(InstalledReference)))) std::abort();
  return 0;
}
