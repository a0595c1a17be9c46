#include "tests/unit/TestSupport.h"

namespace {

TEST(StripTrailingBackslashes, RemovesOnlyTrailingBackslashes) {
  const std::pair<std::string, std::string> cases[] = {
      {"C:\\WINDOWS\\system32\\\\", "C:\\WINDOWS\\system32"},
      {"C:\\WINDOWS\\system32", "C:\\WINDOWS\\system32"},
      {"C:\\", "C:"},
      {"\\\\\\", ""},
      {"", ""},
      {"\\\\server\\share\\", "\\\\server\\share"}};
  for (const auto& [input, expected] : cases) {
    EXPECT_EQ(StripTrailingBackslashes(Text(input)), expected) << "input: " << input;
  }
}

class StartupTest : public PivaneTest {};

// Windows 3.x reports major version 3, in either family.
TEST_F(StartupTest, RefusesWindows3WithOneBoxEvenWhenSilent) {
  for (WindowsOps::Dword version : {0x80000A03u, 0x00000003u, 0x5F0A0003u}) {
    for (const char* commandLine : {"pivane.exe", "pivane.exe /S"}) {
      SetUp();
      Windows().Version = version;
      Windows().CommandLine = commandLine;
      PivaneMain();
      ASSERT_EQ(Windows().Boxes.size(), 1u) << commandLine;
      EXPECT_EQ(Windows().Boxes[0].Text,
                "Ce programme ne peut pas \xEAtre utilis\xE9 sous Windows 3.x !");
      EXPECT_EQ(Windows().Boxes[0].Caption, "Pivane pour Windows 9x-XP");
      EXPECT_EQ(Windows().Boxes[0].Style, 0x10u);
      EXPECT_EQ(Windows().Boxes[0].Owner, 0u);
      EXPECT_EQ(Windows().ExitCode, 0u);
      // Nothing else but the DLL search kept to the system directory, first,
      // and what the DLLs loaded before a box need: no registry, no files.
      std::vector<std::string> calls = Windows().Calls;
      // A token opened on the NT family, which knows no elevation there.
      std::erase(calls, "GetTokenInformation");
      std::erase(calls, "CloseHandle (token)");
      EXPECT_EQ(calls, (std::vector<std::string>{
                           "GetVersion", "SetDefaultDllDirectories", "GetCommandLineA",
                           "GetSystemDirectoryA", "OpenProcessToken", "GetVersion",
                           "MessageBoxA " + Windows().Boxes[0].Text, "ExitProcess"}));
    }
  }
}

TEST_F(StartupTest, OtherMajorVersionsRun) {
  for (WindowsOps::Dword version : {0xC0000004u, 0xC0000A04u, 0x0A280105u, 0x1DB10106u}) {
    SetUp();
    Windows().Version = version;
    Windows().BoxAnswers = {WindowsOps::IDNO};
    PivaneMain();
    ASSERT_EQ(Windows().Boxes.size(), 1u);
    EXPECT_EQ(Windows().Boxes[0].Style, 0x24u) << "version " << std::hex << version;
    EXPECT_EQ(SystemDir, TestSystemDir);
    EXPECT_EQ(Windows().ExitCode, 0u);
  }
}

TEST_F(StartupTest, SystemDirectoryLosesItsTrailingBackslashes) {
  Windows().SystemDirectory = "C:\\WINDOWS\\system32\\\\";
  Windows().BoxAnswers = {WindowsOps::IDNO};
  PivaneMain();
  EXPECT_EQ(SystemDir, TestSystemDir);
  EXPECT_EQ(InstalledReference, InstalledForm);
}

// Without a system directory every path would begin at the root of the
// current drive: no flow runs, the failure is reported, nothing is touched.
// So it goes under WOW64 where redirection cannot be turned off, and the
// real system directory is out of reach (the last case, installed).
TEST_F(StartupTest, NoSystemDirectoryTouchesNothing) {
  const std::optional<std::string> directories[] = {
      std::nullopt, std::string(261, 'x'), std::string(300, 'x'), "\\", "\\\\", TestSystemDir};
  for (const auto& directory : directories) {
    for (bool silent : {false, true}) {
      SetUp();
      Windows().SystemDirectory = directory;
      Windows().CommandLine = silent ? "pivane.exe /S" : "pivane.exe";
      const bool redirectionFails = directory == TestSystemDir;
      if (redirectionFails) {
        Windows().RedirectionFails = true;
        Fake::SetValue(Windows().MachineRoot, IconKey, "4", WindowsOps::REG_SZ,
                       InstalledForm + '\0');
      }
      PivaneMain();
      const std::string label = redirectionFails ? "(redirection fails)"
                                : directory      ? *directory
                                                 : "(failure)";
      EXPECT_EQ(Windows().Boxes.size(), silent ? 0u : 1u) << label;
      if (!silent && !Windows().Boxes.empty()) {
        EXPECT_EQ(Windows().Boxes[0].Text, "Une erreur s'est produite durant l'op\xE9ration !");
        EXPECT_EQ(Windows().Boxes[0].Style, 0x10u);
      }
      for (const std::string& call : Windows().Calls) {
        EXPECT_FALSE(call.starts_with("Reg") || call.starts_with("CreateFile") ||
                     call.starts_with("FindFirstFile") || call.starts_with("DeleteFile") ||
                     call.starts_with("SetFileAttributes") || call.starts_with("SendMessage"))
            << label << ": " << call;
      }
      EXPECT_EQ(Windows().ExitCode, 0u);
    }
  }
}

// A directory of exactly 260 characters still fits the 261-character buffer.
TEST_F(StartupTest, LongestSystemDirectoryFits) {
  Windows().SystemDirectory = "C:\\" + std::string(257, 'd');
  EXPECT_TRUE(ReadSystemDirectory());
  EXPECT_EQ(SystemDir, *Windows().SystemDirectory);
}

}  // namespace
