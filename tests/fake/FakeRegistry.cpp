// The registry: keys and values under HKEY_LOCAL_MACHINE and
// HKEY_CURRENT_USER, the rights the user holds on each key, and the handles
// open on them (the Reg* calls).
#include <cstring>

#include "tests/fake/FakeInternal.h"

namespace Fake {
namespace {

bool Allows(Dword granted, Dword asked) { return NineX() || (asked & ~granted) == 0; }

// What the user may do with a key: its own rights, and under
// HKEY_LOCAL_MACHINE no more than reading where the machine is not his.
Dword RightsOn(const RegistryKey& key, bool machine) {
  return machine && !MayChangeTheMachine() ? key.Rights & ReadRights : key.Rights;
}

// A root key is open with every right; any other handle with its own.
std::optional<OpenKey> OpenedKey(KeyHandle key) {
  if (key == HKEY_LOCAL_MACHINE) return OpenKey{&TheMachine.MachineRoot, AllRights, true};
  if (key == HKEY_CURRENT_USER) return OpenKey{&TheMachine.UserRoot, AllRights, false};
  auto open = KeyHandles.find(static_cast<std::uintptr_t>(key));
  if (open == KeyHandles.end()) return std::nullopt;
  return open->second;
}

KeyHandle NewKeyHandle(RegistryKey* key, Dword access, bool machine) {
  std::uintptr_t handle = NextHandle++;
  KeyHandles[handle] = OpenKey{key, access, machine};
  ++TheMachine.OpenKeys;
  return static_cast<KeyHandle>(handle);
}

std::string Snippet(const unsigned char* data, Dword size) {
  return data ? std::string(reinterpret_cast<const char*>(data), size) : std::string();
}

}  // namespace
}  // namespace Fake

namespace WindowsOps {

using namespace Fake;

Status RegCreateKeyExA(KeyHandle key, const char* subKey, Dword options, Dword samDesired,
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
      sub->second.Volatile = options != REG_OPTION_NON_VOLATILE;
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

}  // namespace WindowsOps
