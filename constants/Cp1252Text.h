// Fixed texts written in the sources as UTF-8 and turned, at compile time,
// into the Windows-1252 bytes the platform receives. Used to initialise
// constexpr values only, so a character that Windows-1252 cannot hold
// stops the build.
#pragma once

#include <cstddef>
#include <string_view>

template <std::size_t Capacity>
struct Cp1252Text {
  char Bytes[Capacity]{};
  std::size_t Length = 0;

  constexpr std::string_view View() const { return {Bytes, Length}; }
  constexpr std::size_t Size() const { return Length; }
  // The bytes after the text are zero, so it is always NUL-terminated.
  constexpr const char* CStr() const { return Bytes; }
  constexpr char operator[](std::size_t index) const { return Bytes[index]; }
  friend constexpr bool operator==(const Cp1252Text& text, std::string_view other) {
    return text.View() == other;
  }
  friend constexpr bool operator==(const Cp1252Text& text, const Cp1252Text& other) {
    return text.View() == other.View();
  }
};

namespace Cp1252Detail {

// Never defined, and not constexpr: a text that reaches one of these stops
// the compile-time evaluation, and so the build, with its name as the reason.
void CharacterNotInWindows1252();
void MalformedOrUnsupportedUtf8();

// The code points of 0x80 to 0x9F in Windows-1252; 0 marks the five unused.
inline constexpr char16_t HighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

constexpr unsigned char ToByte(char32_t codePoint) {
  if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
    return static_cast<unsigned char>(codePoint);
  }
  for (unsigned i = 0; i < 32; ++i) {
    if (HighControls[i] != 0 && HighControls[i] == codePoint) {
      return static_cast<unsigned char>(0x80 + i);
    }
  }
  CharacterNotInWindows1252();
  return 0;
}

}  // namespace Cp1252Detail

// The UTF-16 character a Windows-1252 byte stands for, by the code page's
// own table: the five bytes it leaves unused become the C1 controls of the
// same number, as MultiByteToWideChar gives them.
constexpr char16_t Cp1252ToUtf16(char byte) {
  const auto code = static_cast<unsigned char>(byte);
  const char16_t mapped = code >= 0x80 && code < 0xA0 ? Cp1252Detail::HighControls[code - 0x80] : 0;
  return mapped != 0 ? mapped : code;
}

template <std::size_t N>
constexpr Cp1252Text<N> Cp1252(const char (&utf8)[N]) {
  Cp1252Text<N> text;
  for (std::size_t i = 0; i + 1 < N;) {
    auto lead = static_cast<unsigned char>(utf8[i]);
    char32_t codePoint = 0;
    std::size_t extra = 0;
    if (lead < 0x80) {
      codePoint = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      codePoint = lead & 0x1F;
      extra = 1;
    } else if ((lead & 0xF0) == 0xE0) {
      codePoint = lead & 0x0F;
      extra = 2;
    } else {
      Cp1252Detail::MalformedOrUnsupportedUtf8();
    }
    for (std::size_t k = 1; k <= extra; ++k) {
      auto trail = static_cast<unsigned char>(utf8[i + k]);
      if ((trail & 0xC0) != 0x80) Cp1252Detail::MalformedOrUnsupportedUtf8();
      codePoint = (codePoint << 6) | (trail & 0x3F);
    }
    text.Bytes[text.Length++] = static_cast<char>(Cp1252Detail::ToByte(codePoint));
    i += extra + 1;
  }
  return text;
}
