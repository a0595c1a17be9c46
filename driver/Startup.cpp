#include <array>

#include "constants/Cp1252Text.h"
#include "dialogue/Dialogue.h"
#include "driver/Pivane.h"
#include "platform/WindowsOps.h"

using namespace WindowsOps;

constinit bool SilentMode = false;
constinit bool InstallOnly = false;
constinit bool UninstallOnly = false;
constinit bool ElevatedCopy = false;
constinit Text SystemDir;

namespace {

constexpr auto Win3RefusalText = Cp1252("Ce programme ne peut pas être utilisé sous Windows 3.x !");
constexpr Dword SystemDirBufferSize = 261;

bool IsSeparator(char c) {
  auto byte = static_cast<unsigned char>(c);
  return byte >= 1 && byte <= 32;
}

// /I, /U and the copy's word are compared in ASCII, folding a to z alone:
// under a Turkish locale CharUpperBuffA may make i the dotted capital I,
// and a logon script's /s /i would become a plain /S, a toggle.
bool IsSwitch(const Text& argument, std::string_view word) {
  const std::string_view view = argument.View();
  if (!argument.Ok() || view.size() != word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    const char upper = word[i];
    const bool letter = upper >= 'A' && upper <= 'Z';
    if (view[i] != upper && !(letter && view[i] == upper + ('a' - 'A'))) return false;
  }
  return true;
}

}  // namespace

void PivaneMain() {
  KeepDllSearchInTheSystem();
  const bool switchesRead = ParseSwitches();
  // Every branch below may show a box, and a box loads DLLs by name: what
  // the search would still take from the program's folder comes first from
  // the system directory. Without that directory nothing can be loaded by
  // its path, and the box that says so loads what it loads.
  const bool systemDirRead = ReadSystemDirectory();
  RunRights = ReadTokenRights();
  if (systemDirRead) LoadNamedDllsFromTheSystem();
  RunOutcome outcome = RunOutcome::Failed;
  if (!switchesRead) {
    // Without every argument read, /S may have gone unseen: nothing is
    // touched, and the failure is said unless silence was asked for.
    ShowOperationError();
  } else if (InstallOnly && UninstallOnly) {
    ShowOperationError();
    outcome = RunOutcome::BothAsked;
  } else if (IsWindows3()) {
    ShowWin3Refusal();
  } else if (!systemDirRead) {
    // Without the system directory every path would start at the root of
    // the current drive; touch nothing and say the operation failed.
    ShowOperationError();
  } else {
    outcome = RunToggle();
  }
  ExitProcess(ExitCodeFor(outcome));
}

// Plain runs end with 0 whatever happened, as callers have always seen
// them; /I and /U give scripts the outcome.
Dword ExitCodeFor(RunOutcome outcome) {
  static_assert(static_cast<Dword>(RunOutcome::BothAsked) == ERROR_INVALID_PARAMETER);
  if (!InstallOnly && !UninstallOnly) return 0;
  return static_cast<Dword>(outcome);
}

// Splits the command line as the program has always read it: separators
// are bytes 1 to 32 and "" pairs where an argument would begin; quoted
// stretches join their neighbours; backslashes mean nothing. Stepping with
// CharNextA keeps the trail byte of a double-byte character from being
// taken for a quote or a separator. Memory grows with the line, not with
// its square: each argument is gathered in one scratch block as long as the
// line, and kept at its own length.
TextList SplitCommandLine(const char* commandLine) {
  TextList arguments;
  Text scratch = Text::Filled(std::string_view(commandLine).size(), '\0');
  char* bytes = scratch.Bytes();
  if (bytes == nullptr) {
    arguments.Add(Text::Refused());
    return arguments;
  }
  const char* position = commandLine;
  for (;;) {
    for (;;) {
      if (IsSeparator(*position)) {
        position = CharNextA(position);
      } else if (position[0] == '"' && position[1] == '"') {
        position = CharNextA(CharNextA(position));
      } else {
        break;
      }
    }
    if (*position == '\0') break;

    std::size_t length = 0;
    bool quoted = false;
    while (*position != '\0' && (quoted || !IsSeparator(*position))) {
      const char* next = CharNextA(position);
      if (next == position) break;
      if (*position == '"' && next == position + 1) {
        quoted = !quoted;
      } else {
        while (position != next && *position != '\0') bytes[length++] = *position++;
      }
      position = next;
    }
    // Only a lone quote at the very end comes out empty; it ends the list.
    if (length == 0) break;
    arguments.Add(Text(std::string_view(bytes, length)));
    if (!arguments.Ok()) break;
  }
  return arguments;
}

bool ParseSwitches() {
  const char* commandLine = GetCommandLineA();
  if (commandLine == nullptr) return true;
  const TextList arguments = SplitCommandLine(commandLine);
  bool read = arguments.Ok();
  for (std::size_t i = 1; i < arguments.Size(); ++i) {
    const Text upper = UpperCopy(arguments[i]);
    if (!upper.Ok()) read = false;
    if (upper == "/S") SilentMode = true;
    if (IsSwitch(arguments[i], "/I")) InstallOnly = true;
    if (IsSwitch(arguments[i], "/U")) UninstallOnly = true;
    if (IsSwitch(arguments[i], CopySwitch)) ElevatedCopy = true;
  }
  return read;
}

bool IsWindows3() { return (GetVersion() & 0xFF) == 3; }

void ShowWin3Refusal() {
  MessageBoxA(WindowHandle{}, Win3RefusalText.CStr(), BoxCaption, MB_ICONERROR);
}

Text StripTrailingBackslashes(Text text) {
  std::string_view view = text.View();
  while (!view.empty() && view.back() == '\\') view.remove_suffix(1);
  text.Truncate(view.size());
  return text;
}

bool ReadSystemDirectory() {
  std::array<char, SystemDirBufferSize> buffer{};
  Dword length = GetSystemDirectoryA(buffer.data(), SystemDirBufferSize);
  buffer.back() = '\0';
  SystemDir = StripTrailingBackslashes(Text(std::string_view(buffer.data())));
  // 0 is a failure; a length of the buffer's size or more is the size a
  // longer directory would need, and the buffer holds none of it.
  return length != 0 && length < SystemDirBufferSize && SystemDir.Ok() && !SystemDir.Empty();
}
