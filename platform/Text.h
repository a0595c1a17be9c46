// The program's own text and list of texts, over the process heap that
// WindowsOps gives: no C runtime stands behind them. A Text has value
// semantics and no length limit of its own, and its bytes are always
// followed by a NUL, so that it can go to Win32 as it is.
//
// Memory can be refused. An operation that cannot have it leaves its text
// (or list) failed, and a failed one stays failed through every later
// operation, copy or join, so that a caller looks once, with Ok(), before
// the text is used. A failed text is never equal to any text.
#pragma once

#include <concepts>
#include <cstddef>
#include <initializer_list>
#include <string_view>

struct TextPart;

namespace TextDetail {
// Never defined, and not constexpr: an array that reaches it stops the
// build with its name as the reason.
void NotAStringLiteral();
}  // namespace TextDetail

class Text {
 public:
  constexpr Text() = default;
  // Over a string literal: no memory is taken until the text is changed.
  // Only a constant whose one NUL is its last byte will do, so that no
  // buffer of the moment, no byte block without its NUL and no block of
  // several texts is ever taken for one; reading every byte at compile time
  // is what refuses a buffer that can change.
  template <std::size_t N>
  consteval Text(const char (&literal)[N]) : Begin(literal), Length(N - 1) {
    for (std::size_t i = 0; i + 1 < N; ++i) {
      if (literal[i] == '\0') TextDetail::NotAStringLiteral();
    }
    if (literal[N - 1] != '\0') TextDetail::NotAStringLiteral();
  }
  template <std::size_t N>
  Text(char (&buffer)[N]) = delete;
  explicit Text(std::string_view text);
  Text(const Text& other);
  Text(Text&& other) noexcept;
  Text& operator=(const Text& other);
  Text& operator=(Text&& other) noexcept;
  ~Text();

  bool Ok() const { return !Failed; }
  bool Empty() const { return Length == 0; }
  std::size_t Size() const { return Length; }
  std::string_view View() const { return {Begin, Length}; }
  const char* CStr() const { return Begin; }
  char operator[](std::size_t index) const { return Begin[index]; }

  // The text's own bytes, to change in place; null when it is failed or
  // memory for its own copy is refused.
  char* Bytes();
  // Keeps the first length bytes.
  void Truncate(std::size_t length);
  void Clear() { *this = Text(); }
  // A failed text for the caller to hand on.
  static Text Refused();
  // A text of length copies of byte, in a block of its own.
  static Text Filled(std::size_t length, char byte);

  friend Text Join(std::initializer_list<TextPart> parts);
  friend bool operator==(const Text& text, std::string_view other) {
    return text.Ok() && text.View() == other;
  }
  friend bool operator==(const Text& text, const char* other) {
    return text == std::string_view(other);
  }
  friend bool operator==(const Text& text, const Text& other) {
    return other.Ok() && text == other.View();
  }

 private:
  // Takes over a block of length bytes and a NUL; a null block is refused.
  Text(char* block, std::size_t length);
  void Release();

  const char* Begin = "";
  std::size_t Length = 0;
  char* Owned = nullptr;  // the heap block Begin points into, if any
  bool Failed = false;
};

// One part of a joined text: a view, and whether the text it came from is
// failed.
struct TextPart {
  TextPart(const Text& text) : View(text.View()), Ok(text.Ok()) {}
  TextPart(const char* text) : View(text) {}
  template <typename Viewable>
  requires std::convertible_to<const Viewable&, std::string_view> TextPart(const Viewable& view)
      : View(view) {}
  TextPart(std::string_view view, bool ok) : View(view), Ok(ok) {}

  std::string_view View;
  bool Ok = true;
};

// The parts one after the other, in one block; failed if any part is.
Text Join(std::initializer_list<TextPart> parts);

// A growing list of texts.
class TextList {
 public:
  constexpr TextList() = default;
  TextList(TextList&& other) noexcept;
  TextList& operator=(TextList&&) = delete;
  TextList(const TextList&) = delete;
  TextList& operator=(const TextList&) = delete;
  ~TextList();

  bool Ok() const { return !Failed; }
  std::size_t Size() const { return Count; }
  const Text& operator[](std::size_t index) const { return Items[index]; }
  // A failed text, or a list that cannot grow, fails the list.
  void Add(Text text);

 private:
  Text* Items = nullptr;
  std::size_t Count = 0;
  std::size_t Capacity = 0;
  bool Failed = false;
};
