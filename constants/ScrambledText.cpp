#include "constants/ScrambledText.h"

std::size_t UnscrambleRecord(std::span<const std::uint8_t> record, char* bytes) {
  // Records are built with a length within their capacity; the bound only
  // keeps a damaged one from being read past its end.
  std::size_t length = record.empty() ? 0 : record[0];
  if (length > record.size() - 1) length = record.empty() ? 0 : record.size() - 1;
  for (std::size_t i = 0; i < length; ++i) {
    bytes[i] = static_cast<char>(record[i + 1] ^ ScrambleKey);
  }
  return length;
}
