#include "registry/RegCtrl.h"

#include <optional>
#include <utility>

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

  bool Open(TextPart keyPath, bool mayCreate) {
    std::string_view view = keyPath.View;
    if (view.starts_with('\\')) view.remove_prefix(1);
    const Text path = Join({{view, keyPath.Ok}});
    if (!path.Ok()) return false;
    KeyHandle opened{};
    Status status =
        mayCreate && !path.Empty()
            ? RegCreateKeyExA(Root, path.CStr(), REG_OPTION_NON_VOLATILE, Access, &opened)
            : RegOpenKeyExA(Root, path.CStr(), Access, &opened);
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
Text TextOf(const Text& data, Dword filled) {
  std::string_view stored = data.View();
  if (filled < stored.size()) stored.remove_suffix(stored.size() - filled);
  const std::size_t end = stored.find('\0');
  if (end != std::string_view::npos) stored.remove_suffix(stored.size() - end);
  return Text(stored);
}

}  // namespace

bool PutRegString(KeyHandle root, TextPart keyPath, TextPart valueName, TextPart value) {
  RegistryKey key(root);
  if (!key.Open(keyPath, true)) return false;
  const Text name = Join({valueName});
  const Text data = Join({value});  // its NUL is the one the value is stored with
  if (!name.Ok() || !data.Ok()) return false;
  return RegSetValueExA(key.Key(), name.CStr(), REG_SZ,
                        reinterpret_cast<const unsigned char*>(data.CStr()),
                        static_cast<Dword>(data.Size() + 1)) == ERROR_SUCCESS;
}

bool GetRegString(KeyHandle root, TextPart keyPath, TextPart valueName, Text& value) {
  RegistryKey key(root);
  if (!key.Open(keyPath, false)) return false;
  const Text name = Join({valueName});
  if (!name.Ok()) return false;
  Dword type = 0;
  Dword size = 0;
  if (RegQueryValueExA(key.Key(), name.CStr(), &type, nullptr, &size) != ERROR_SUCCESS) {
    return false;
  }
  Text text;
  // The size is asked again: the value may have changed since the first
  // query, and an unanswerable or empty size reads as the empty text.
  if (RegQueryValueExA(key.Key(), name.CStr(), nullptr, nullptr, &size) == ERROR_SUCCESS &&
      size != 0) {
    Text data = Text::Filled(size, '\0');
    char* bytes = data.Bytes();
    if (bytes == nullptr) return false;
    Dword filled = size;
    if (RegQueryValueExA(key.Key(), name.CStr(), &type, reinterpret_cast<unsigned char*>(bytes),
                         &filled) != ERROR_SUCCESS) {
      return false;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    text = TextOf(data, filled);
    if (!text.Ok()) return false;
  }
  value = std::move(text);
  return true;
}

}  // namespace RegCtrl
