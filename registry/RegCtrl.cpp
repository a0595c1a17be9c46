#include "registry/RegCtrl.h"

#include <optional>
#include <utility>
#include <vector>

#include "platform/WindowsOps.h"

namespace RegCtrl {
namespace {

using namespace WindowsOps;

// The registry object: one root, full access asked for whether reading or
// writing, and at most one open key, closed (never flushed) when it goes.
class RegistryKey {
 public:
  explicit RegistryKey(KeyHandle root) : Root(root) {}
  ~RegistryKey() {
    if (Current) RegCloseKey(*Current);
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  bool Open(std::string_view keyPath, bool mayCreate) {
    if (keyPath.starts_with('\\')) keyPath.remove_prefix(1);
    const std::string path(keyPath);
    KeyHandle opened{};
    Status status =
        mayCreate && !path.empty()
            ? RegCreateKeyExA(Root, path.c_str(), REG_OPTION_NON_VOLATILE, Access, &opened)
            : RegOpenKeyExA(Root, path.c_str(), Access, &opened);
    if (status != ERROR_SUCCESS) return false;
    Current = opened;
    return true;
  }

  KeyHandle Key() const { return *Current; }

 private:
  static constexpr Dword Access = KEY_ALL_ACCESS;
  KeyHandle Root;
  std::optional<KeyHandle> Current;
};

// The text a string value holds: its bytes up to the first NUL, or all of
// them where the stored data carries none.
std::string TextOf(const std::vector<unsigned char>& data, Dword size) {
  const auto* begin = reinterpret_cast<const char*>(data.data());
  std::string_view stored(begin, size < data.size() ? size : data.size());
  return std::string(stored.substr(0, stored.find('\0')));
}

}  // namespace

bool PutRegString(KeyHandle root, std::string_view keyPath, std::string_view valueName,
                  std::string_view value) {
  try {
    RegistryKey key(root);
    if (!key.Open(keyPath, true)) return false;
    const std::string name(valueName);
    const std::string data(value);  // c_str() brings the one NUL the value is stored with
    return RegSetValueExA(key.Key(), name.c_str(), REG_SZ,
                          reinterpret_cast<const unsigned char*>(data.c_str()),
                          static_cast<Dword>(data.size() + 1)) == ERROR_SUCCESS;
  } catch (...) {
    return false;
  }
}

bool GetRegString(KeyHandle root, std::string_view keyPath, std::string_view valueName,
                  std::string& value) {
  try {
    RegistryKey key(root);
    if (!key.Open(keyPath, false)) return false;
    const std::string name(valueName);
    Dword type = 0;
    Dword size = 0;
    if (RegQueryValueExA(key.Key(), name.c_str(), &type, nullptr, &size) != ERROR_SUCCESS) {
      return false;
    }
    std::string text;
    // The size is asked again: the value may have changed since the first
    // query, and an unanswerable or empty size reads as the empty text.
    if (RegQueryValueExA(key.Key(), name.c_str(), nullptr, nullptr, &size) == ERROR_SUCCESS &&
        size != 0) {
      std::vector<unsigned char> data(size);
      Dword filled = size;
      if (RegQueryValueExA(key.Key(), name.c_str(), &type, data.data(), &filled) != ERROR_SUCCESS) {
        return false;
      }
      if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
      text = TextOf(data, filled);
    }
    value = std::move(text);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace RegCtrl
