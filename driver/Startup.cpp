#include <array>

#include "constants/Cp1252Text.h"
#include "dialogue/Dialogue.h"
#include "driver/Pivane.h"
#include "platform/WindowsOps.h"

using namespace WindowsOps;

bool SilentMode = false;
std::string SystemDir;

namespace {

constexpr auto Win3RefusalText = Cp1252("Ce programme ne peut pas être utilisé sous Windows 3.x !");
constexpr Dword SystemDirBufferSize = 261;

bool IsSeparator(char c) {
  auto byte = static_cast<unsigned char>(c);
  return byte >= 1 && byte <= 32;
}

}  // namespace

void PivaneMain() {
  ParseSwitches();
  if (IsWindows3()) {
    ShowWin3Refusal();
  } else if (!ReadSystemDirectory()) {
    // Without the system directory every path would start at the root of
    // the current drive; touch nothing and say the operation failed.
    ShowOperationError();
  } else if (DetectOptionState()) {
    RunUninstall();
  } else {
    RunInstall();
  }
  ExitProcess(0);
}

// Splits the command line as the program has always read it: separators
// are bytes 1 to 32 and "" pairs where an argument would begin; quoted
// stretches join their neighbours; backslashes mean nothing. Stepping with
// CharNextA keeps the trail byte of a double-byte character from being
// taken for a quote or a separator.
std::vector<std::string> SplitCommandLine(const char* commandLine) {
  std::vector<std::string> arguments;
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

    std::string argument;
    bool quoted = false;
    while (*position != '\0' && (quoted || !IsSeparator(*position))) {
      const char* next = CharNextA(position);
      if (next == position) break;
      if (*position == '"' && next == position + 1) {
        quoted = !quoted;
      } else {
        argument.append(position, next);
      }
      position = next;
    }
    // Only a lone quote at the very end comes out empty; it ends the list.
    if (argument.empty()) break;
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

void ParseSwitches() {
  const char* commandLine = GetCommandLineA();
  if (commandLine == nullptr) return;
  const std::vector<std::string> arguments = SplitCommandLine(commandLine);
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    std::string upper = arguments[i];
    CharUpperBuffA(upper.data(), static_cast<Dword>(upper.size()));
    if (upper == "/S") SilentMode = true;
  }
}

bool IsWindows3() { return (GetVersion() & 0xFF) == 3; }

void ShowWin3Refusal() {
  MessageBoxA(WindowHandle{}, Win3RefusalText.CStr(), BoxCaption, MB_ICONERROR);
}

std::string StripTrailingBackslashes(std::string text) {
  while (!text.empty() && text.back() == '\\') text.pop_back();
  return text;
}

bool ReadSystemDirectory() {
  std::array<char, SystemDirBufferSize> buffer{};
  Dword length = GetSystemDirectoryA(buffer.data(), SystemDirBufferSize);
  buffer.back() = '\0';
  SystemDir = StripTrailingBackslashes(buffer.data());
  // 0 is a failure; a length of the buffer's size or more is the size a
  // longer directory would need, and the buffer holds none of it.
  return length != 0 && length < SystemDirBufferSize && !SystemDir.empty();
}
