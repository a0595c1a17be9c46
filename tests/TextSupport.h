// The program's texts as the tests compare and print them.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "constants/ScrambledText.h"
#include "platform/Text.h"

inline std::string Str(const Text& text) { return std::string(text.View()); }

inline bool operator==(const TextList& list, const std::vector<std::string>& expected) {
  if (!list.Ok() || list.Size() != expected.size()) return false;
  for (std::size_t i = 0; i < list.Size(); ++i) {
    if (!(list[i] == expected[i])) return false;
  }
  return true;
}

inline std::ostream& operator<<(std::ostream& out, const Text& text) {
  return text.Ok() ? out << '"' << text.View() << '"' : out << "(failed text)";
}

inline std::ostream& operator<<(std::ostream& out, const TextList& list) {
  out << (list.Ok() ? "{" : "(failed list) {");
  for (std::size_t i = 0; i < list.Size(); ++i) out << (i ? ", " : "") << list[i];
  return out << "}";
}

template <std::size_t Capacity>
std::ostream& operator<<(std::ostream& out, const Cp1252Text<Capacity>& text) {
  return out << '"' << text.View() << '"';
}
