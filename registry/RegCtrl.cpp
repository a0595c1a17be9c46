#include "registry/RegCtrl.h"

#include <optional>
#include <utility>

#include "platform/WindowsOps.h"

namespace RegCtrl {
namespace {

using namespace WindowsOps;

// A value that keeps growing between the query of its size and the read of
// its bytes is read this many times at most; then the read fails.
constexpr int ReadAttempts = 4;
constexpr Status NotEnoughMemory = 8;

// A key path relative to its root: a leading backslash is dropped.
Text RelativePath(TextPart keyPath) {
  std::string_view view = keyPath.View;
  if (view.starts_with('\\')) view.remove_prefix(1);
  return Join({{view, keyPath.Ok}});
}

// The registry object: one root, the access that the call's one job needs
// (a limited user may read what he may not write), and at most one open
// key, closed (never flushed) when it goes.
class RegistryKey {
 public:
  RegistryKey(KeyHandle root, Dword access) : Root(root), Access(access) {}
  ~RegistryKey() {
    if (Current) RegCloseKey(*Current);
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // ERROR_SUCCESS, or why the key is not open.
  Status Open(TextPart keyPath, bool mayCreate) {
    const Text path = RelativePath(keyPath);
    if (!path.Ok()) return NotEnoughMemory;
    KeyHandle opened{};
    Status status =
        mayCreate && !path.Empty()
            ? RegCreateKeyExA(Root, path.CStr(), REG_OPTION_NON_VOLATILE, Access, &opened)
            : RegOpenKeyExA(Root, path.CStr(), Access, &opened);
    if (status == ERROR_SUCCESS) Current = opened;
    return status;
  }

  KeyHandle Key() const { return *Current; }

 private:
  KeyHandle Root;
  Dword Access;
  std::optional<KeyHandle> Current;
};

enum class Found { Value, NoValue, Unreadable };

// The value's type and bytes as stored. Another program may change it
// between the query of its size and the read of its bytes: one that grew
// in between is asked again, and any query that fails fails the read.
Found ReadValue(KeyHandle key, const Text& name, StoredValue& value) {
  Dword type = 0;
  Dword size = 0;
  Status status = RegQueryValueExA(key, name.CStr(), &type, nullptr, &size);
  for (int attempt = 0; attempt < ReadAttempts; ++attempt) {
    if (status == ERROR_FILE_NOT_FOUND) return Found::NoValue;
    if (status != ERROR_SUCCESS) return Found::Unreadable;
    Text data = Text::Filled(size, '\0');
    char* bytes = data.Bytes();
    if (bytes == nullptr) return Found::Unreadable;
    Dword filled = size;
    status =
        RegQueryValueExA(key, name.CStr(), &type, reinterpret_cast<unsigned char*>(bytes), &filled);
    if (status == ERROR_SUCCESS) {
      if (filled > size) return Found::Unreadable;
      data.Truncate(filled);
      value = StoredValue{true, type, std::move(data)};
      return Found::Value;
    }
    if (status == ERROR_MORE_DATA) {
      status = RegQueryValueExA(key, name.CStr(), &type, nullptr, &size);
    }
  }
  return Found::Unreadable;
}

// Opens the key for reading only and reads the value.
Found ReadValueAt(KeyHandle root, TextPart keyPath, TextPart valueName, StoredValue& value) {
  RegistryKey key(root, KEY_QUERY_VALUE);
  if (key.Open(keyPath, false) != ERROR_SUCCESS) return Found::Unreadable;
  const Text name = Join({valueName});
  if (!name.Ok()) return Found::Unreadable;
  return ReadValue(key.Key(), name, value);
}

}  // namespace

bool PutRegString(KeyHandle root, TextPart keyPath, TextPart valueName, TextPart value) {
  RegistryKey key(root, KEY_SET_VALUE);
  if (key.Open(keyPath, true) != ERROR_SUCCESS) return false;
  const Text name = Join({valueName});
  const Text data = Join({value});  // its NUL is the one the value is stored with
  if (!name.Ok() || !data.Ok()) return false;
  return RegSetValueExA(key.Key(), name.CStr(), REG_SZ,
                        reinterpret_cast<const unsigned char*>(data.CStr()),
                        static_cast<Dword>(data.Size() + 1)) == ERROR_SUCCESS;
}

bool GetRegString(KeyHandle root, TextPart keyPath, TextPart valueName, Text& value) {
  StoredValue stored;
  if (ReadValueAt(root, keyPath, valueName, stored) != Found::Value) return false;
  // A value of size 0 reads as the empty text, whatever its type.
  if (!stored.Data.Empty() && stored.Type != REG_SZ && stored.Type != REG_EXPAND_SZ) return false;
  // The text is the bytes up to the first NUL, or all of them.
  stored.Data.Truncate(stored.Data.View().find('\0'));
  if (!stored.Data.Ok()) return false;
  value = std::move(stored.Data);
  return true;
}

bool GetRegValue(KeyHandle root, TextPart keyPath, TextPart valueName, StoredValue& value) {
  StoredValue stored;
  switch (ReadValueAt(root, keyPath, valueName, stored)) {
    case Found::Value:
      value = std::move(stored);
      return true;
    case Found::NoValue:
      value = StoredValue{};
      return true;
    case Found::Unreadable:
      break;
  }
  return false;
}

bool PutRegValue(KeyHandle root, TextPart keyPath, TextPart valueName, const StoredValue& value,
                 bool mayCreate) {
  if (!value.Data.Ok()) return false;
  RegistryKey key(root, KEY_SET_VALUE);
  if (key.Open(keyPath, mayCreate) != ERROR_SUCCESS) return false;
  const Text name = Join({valueName});
  if (!name.Ok()) return false;
  if (!value.Exists) {
    // Gone already is as good as deleted.
    const Status status = RegDeleteValueA(key.Key(), name.CStr());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
  }
  return RegSetValueExA(key.Key(), name.CStr(), value.Type,
                        reinterpret_cast<const unsigned char*>(value.Data.CStr()),
                        static_cast<Dword>(value.Data.Size())) == ERROR_SUCCESS;
}

// RegDeleteKeyA takes subkeys with it on 95, 98 and ME, and values
// everywhere, so the key is looked into first. What another program adds
// between the look and the delete is beyond any call of these systems.
bool DeleteEmptyRegKey(KeyHandle root, TextPart keyPath) {
  const Text path = RelativePath(keyPath);
  if (!path.Ok() || path.Empty()) return false;
  {
    RegistryKey key(root, KEY_QUERY_VALUE);
    // A key that is not there is as good as deleted; one that cannot be
    // looked into stays.
    const Status opened = key.Open(path, false);
    if (opened != ERROR_SUCCESS) return opened == ERROR_FILE_NOT_FOUND;
    Dword subKeys = 0;
    Dword values = 0;
    if (RegQueryInfoKeyA(key.Key(), &subKeys, &values) != ERROR_SUCCESS || subKeys != 0 ||
        values != 0) {
      return false;
    }
  }
  const Status status = RegDeleteKeyA(root, path.CStr());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace RegCtrl
