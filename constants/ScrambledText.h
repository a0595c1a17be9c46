// Texts kept scrambled in the executable: a length byte, then the text's
// bytes combined by XOR with one key byte. The records are made from their
// plain texts at compile time, so the plain texts never reach the binary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "constants/Cp1252Text.h"

inline constexpr std::uint8_t ScrambleKey = 0xA7;

template <std::size_t Capacity>
struct ScrambledText {
  static_assert(Capacity <= 255, "the length byte holds at most 255");
  std::uint8_t Record[Capacity + 1]{};
};

// Never defined, and not constexpr: reaching it stops the build.
void TextLongerThanItsRecord();

template <std::size_t Capacity, std::size_t N>
consteval ScrambledText<Capacity> Scramble(const char (&utf8)[N]) {
  auto plain = Cp1252(utf8);
  if (plain.Length > Capacity) TextLongerThanItsRecord();
  ScrambledText<Capacity> scrambled;
  scrambled.Record[0] = static_cast<std::uint8_t>(plain.Length);
  for (std::size_t i = 0; i < plain.Length; ++i) {
    scrambled.Record[i + 1] = static_cast<std::uint8_t>(plain.Bytes[i]) ^ ScrambleKey;
  }
  return scrambled;
}

// Kept out of line, so that no caller can fold a record back into its plain
// text at compile time. Writes the text into bytes, which holds at least
// the record's size, and answers its length.
std::size_t UnscrambleRecord(std::span<const std::uint8_t> record, char* bytes);

// The record's text, unscrambled afresh at every call into a buffer of the
// record's own capacity: no memory is taken, so unscrambling cannot fail.
template <std::size_t Capacity>
Cp1252Text<Capacity + 1> UnscrambleText(const ScrambledText<Capacity>& text) {
  Cp1252Text<Capacity + 1> plain;
  plain.Length = UnscrambleRecord(text.Record, plain.Bytes);
  return plain;
}
