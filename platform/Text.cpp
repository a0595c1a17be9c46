#include "platform/Text.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <utility>

#include "platform/WindowsOps.h"

namespace {

// A block for length bytes and a NUL, or null when memory is refused.
char* NewBlock(std::size_t length) {
  if (length + 1 == 0) return nullptr;
  return static_cast<char*>(WindowsOps::HeapAlloc(length + 1));
}

}  // namespace

//--- Text

Text::Text(char* block, std::size_t length) {
  if (block == nullptr) {
    Failed = true;
    return;
  }
  block[length] = '\0';
  Begin = Owned = block;
  Length = length;
}

Text::Text(std::string_view text) : Text(NewBlock(text.size()), text.size()) {
  if (Owned != nullptr) std::copy_n(text.data(), text.size(), Owned);
}

Text::Text(const Text& other) {
  if (other.Owned != nullptr) {
    *this = Text(other.View());
    return;
  }
  // Over a literal, or failed: nothing of its own to copy.
  Begin = other.Begin;
  Length = other.Length;
  Failed = other.Failed;
}

Text::Text(Text&& other) noexcept
    : Begin(std::exchange(other.Begin, "")),
      Length(std::exchange(other.Length, 0)),
      Owned(std::exchange(other.Owned, nullptr)),
      Failed(std::exchange(other.Failed, false)) {}

Text& Text::operator=(const Text& other) {
  if (this != &other) *this = Text(other);
  return *this;
}

Text& Text::operator=(Text&& other) noexcept {
  if (this != &other) {
    Release();
    Begin = std::exchange(other.Begin, "");
    Length = std::exchange(other.Length, 0);
    Owned = std::exchange(other.Owned, nullptr);
    Failed = std::exchange(other.Failed, false);
  }
  return *this;
}

Text::~Text() { Release(); }

void Text::Release() {
  if (Owned != nullptr) WindowsOps::HeapFree(Owned);
  Owned = nullptr;
}

Text Text::Refused() { return Text(nullptr, 0); }

Text Text::Filled(std::size_t length, char byte) {
  Text text(NewBlock(length), length);
  if (text.Owned != nullptr) std::fill_n(text.Owned, length, byte);
  return text;
}

char* Text::Bytes() {
  if (Failed) return nullptr;
  // A text over a literal takes a copy of its own first.
  if (Owned == nullptr) *this = Text(View());
  return Owned;
}

void Text::Truncate(std::size_t length) {
  if (Failed || length >= Length) return;
  if (Owned == nullptr) {
    *this = Text(std::string_view(Begin, length));
  } else {
    Owned[length] = '\0';
    Length = length;
  }
}

Text Join(std::initializer_list<TextPart> parts) {
  std::size_t length = 0;
  for (const TextPart& part : parts) {
    // A length past what memory can hold is memory refused.
    if (!part.Ok || part.View.size() > SIZE_MAX - length) return Text::Refused();
    length += part.View.size();
  }
  Text joined(NewBlock(length), length);
  if (!joined.Ok()) return joined;
  char* end = joined.Owned;
  for (const TextPart& part : parts) end = std::copy_n(part.View.data(), part.View.size(), end);
  return joined;
}

//--- TextList

TextList::TextList(TextList&& other) noexcept
    : Items(std::exchange(other.Items, nullptr)),
      Count(std::exchange(other.Count, 0)),
      Capacity(std::exchange(other.Capacity, 0)),
      Failed(std::exchange(other.Failed, false)) {}

TextList::~TextList() {
  for (std::size_t i = 0; i < Count; ++i) Items[i].~Text();
  if (Items != nullptr) WindowsOps::HeapFree(Items);
}

void TextList::Add(Text text) {
  if (Failed || !text.Ok()) {
    Failed = true;
    return;
  }
  if (Count == Capacity) {
    // A list too long to double in memory's bounds cannot grow.
    if (Capacity > SIZE_MAX / 2 / sizeof(Text)) {
      Failed = true;
      return;
    }
    const std::size_t capacity = Capacity == 0 ? 4 : Capacity * 2;
    auto* items = static_cast<Text*>(WindowsOps::HeapAlloc(capacity * sizeof(Text)));
    if (items == nullptr) {
      Failed = true;
      return;
    }
    for (std::size_t i = 0; i < Count; ++i) {
      new (&items[i]) Text(std::move(Items[i]));
      Items[i].~Text();
    }
    if (Items != nullptr) WindowsOps::HeapFree(Items);
    Items = items;
    Capacity = capacity;
  }
  new (&Items[Count++]) Text(std::move(text));
}
