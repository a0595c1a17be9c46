// Two self-contained registry helpers: write or read one string value under
// a root key. Each call opens and closes its own key and answers true or
// false; no error leaves either, and memory refused, or a failed text
// handed in, is one more false answer.
#pragma once

#include "platform/Text.h"
#include "platform/WindowsTypes.h"

namespace RegCtrl {

// Writes value as REG_SZ (with its terminating NUL), creating missing keys.
bool PutRegString(WindowsOps::KeyHandle root, TextPart keyPath, TextPart valueName, TextPart value);

// Reads a REG_SZ or REG_EXPAND_SZ value as stored (not expanded); a value
// of size 0 of any type reads as the empty text. value is assigned only
// when the answer is true.
bool GetRegString(WindowsOps::KeyHandle root, TextPart keyPath, TextPart valueName, Text& value);

}  // namespace RegCtrl
