// The command-line rules over the real GetCommandLineA, CharNextA and
// CharUpperBuffA. Under LC_ALL=ja_JP.UTF-8 Wine's ANSI code page is 932, and
// the same tests then check double-byte stepping.
#include <windows.h>
// <windows.h> comes first: the other SDK headers build on it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "driver/Pivane.h"
#include "tests/TextSupport.h"

namespace {

bool DoubleByte() { return ::GetACP() == 932; }

TEST(CommandLineWine, CodePageIsTheOneAskedFor) {
  const char* expected = std::getenv("PIVANE_EXPECT_CODE_PAGE");
  EXPECT_EQ(::GetACP(), expected ? std::strtoul(expected, nullptr, 10) : 1252u);
}

// Runs this program as a child that parses the given arguments; true when
// the child found the switch.
bool ChildIsSilent(const std::string& arguments) {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string commandLine = "\"" + std::string(path) + "\" --parse-switches-child " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessA(path, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    ADD_FAILURE() << "CreateProcessA failed: " << ::GetLastError();
    return false;
  }
  ::WaitForSingleObject(process.hProcess, 60000);
  DWORD code = 2;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  EXPECT_LE(code, 1u) << arguments;
  return code == 1;
}

TEST(CommandLineWine, RealCommandLineSetsSilentModeOnlyForTheSwitch) {
  const std::pair<const char*, bool> cases[] = {
      {"/S", true},        {"/s", true},     {"\"/S\"", true},   {"/\"\"s", true},
      {"x \"\" /S", true}, {"\t/S\t", true}, {"/SILENT", false}, {"-S S /S2", false},
  };
  for (const auto& [arguments, silent] : cases) {
    EXPECT_EQ(ChildIsSilent(arguments), silent) << arguments;
  }
}

TEST(CommandLineWine, TrailByteIsNeverAQuoteOrSeparator) {
  std::vector<std::string> expected = DoubleByte() ? std::vector<std::string>{"p", "\x81\"", "/S"}
                                                   : std::vector<std::string>{"p", "\x81 /S"};
  EXPECT_EQ(SplitCommandLine("p \x81\" /S"), expected);
}

TEST(CommandLineWine, UpperCasingFollowsTheCodePage) {
  std::string text = DoubleByte() ? "/s\x81\x61" : "/s\xE9\xFF";
  ::CharUpperBuffA(text.data(), static_cast<DWORD>(text.size()));
  EXPECT_EQ(text, DoubleByte() ? "/S\x81\x61" : "/S\xC9\x9F");
}

}  // namespace
