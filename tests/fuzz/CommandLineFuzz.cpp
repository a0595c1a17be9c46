// Any bytes as the command line, under a single-byte and a double-byte code
// page: the split never reads past the text, and SilentMode is set exactly
// when some argument after the program's name upper-cases to "/S".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "driver/Pivane.h"
#include "tests/fake/FakeWindows.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  Fake::Reset();
  Fake::Windows().DoubleByteCodePage = data[0] & 1;
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  text = text.substr(0, text.find('\0'));

  // An exact-size copy, so that any read past the NUL is caught.
  auto exact = std::make_unique<char[]>(text.size() + 1);
  text.copy(exact.get(), text.size());
  exact[text.size()] = '\0';
  const auto arguments = SplitCommandLine(exact.get());

  std::size_t total = 0;
  bool expectSilent = false;
  if (!arguments.Ok()) std::abort();
  for (std::size_t i = 0; i < arguments.Size(); ++i) {
    if (arguments[i].Empty()) std::abort();  // an empty argument ends the list
    total += arguments[i].Size();
    std::string upper(arguments[i].View());
    WindowsOps::CharUpperBuffA(upper.data(), static_cast<WindowsOps::Dword>(upper.size()));
    if (i > 0 && upper == "/S") expectSilent = true;
  }
  if (total > text.size()) std::abort();

  Fake::Windows().CommandLine = text;
  SilentMode = false;
  ParseSwitches();
  if (SilentMode != expectSilent) std::abort();
  return 0;
}
