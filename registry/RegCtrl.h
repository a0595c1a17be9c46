// Self-contained registry helpers: write or read one value under a root
// key. Each call opens and closes its own key, asks only for the access its
// one job needs, and answers true or false; no error leaves any of them,
// and memory refused, or a failed text handed in, is one more false answer.
#pragma once

#include "platform/Text.h"
#include "platform/WindowsTypes.h"

namespace RegCtrl {

// A value as it was stored: its type and bytes, or that there was none.
struct StoredValue {
  bool Exists = false;
  WindowsOps::Dword Type = 0;
  Text Data;
};

// Writes value as REG_SZ (with its terminating NUL), creating missing keys.
bool PutRegString(WindowsOps::KeyHandle root, TextPart keyPath, TextPart valueName, TextPart value);

// Reads a REG_SZ or REG_EXPAND_SZ value as stored (not expanded); a value
// of size 0 of any type reads as the empty text. value is assigned only
// when the answer is true.
bool GetRegString(WindowsOps::KeyHandle root, TextPart keyPath, TextPart valueName, Text& value);

// Reads a value exactly as stored, or finds that the key holds none. False
// when that cannot be told, a missing key included: what was there could
// not be put back. value is assigned only when the answer is true.
bool GetRegValue(WindowsOps::KeyHandle root, TextPart keyPath, TextPart valueName,
                 StoredValue& value);

// Puts back what GetRegValue read: the same type and bytes, or no value at
// all. Creates missing keys only where asked to.
bool PutRegValue(WindowsOps::KeyHandle root, TextPart keyPath, TextPart valueName,
                 const StoredValue& value, bool mayCreate = false);

// Deletes the key at keyPath where it holds no value and no subkey: a key
// that holds anything is someone's, and stays. True when it is gone, or was
// never there.
bool DeleteEmptyRegKey(WindowsOps::KeyHandle root, TextPart keyPath);

}  // namespace RegCtrl
