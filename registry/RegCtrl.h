// Two self-contained registry helpers: write or read one string value under
// a root key. Each call opens and closes its own key and answers true or
// false; no error leaves either.
#pragma once

#include <string>
#include <string_view>

#include "platform/WindowsTypes.h"

namespace RegCtrl {

// Writes value as REG_SZ (with its terminating NUL), creating missing keys.
bool PutRegString(WindowsOps::KeyHandle root, std::string_view keyPath, std::string_view valueName,
                  std::string_view value);

// Reads a REG_SZ or REG_EXPAND_SZ value as stored (not expanded); a value
// of size 0 of any type reads as the empty text. value is assigned only
// when the answer is true.
bool GetRegString(WindowsOps::KeyHandle root, std::string_view keyPath, std::string_view valueName,
                  std::string& value);

}  // namespace RegCtrl
