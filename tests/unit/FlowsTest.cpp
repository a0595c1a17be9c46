#include "deploy/IconLibraryImage.h"
#include "platform/Wow64.h"
#include "tests/unit/TestSupport.h"

namespace {

using namespace WindowsOps;

const std::string Image(IconLibraryImage.begin(), IconLibraryImage.end());

class FlowsTest : public PivaneTest {
 protected:
  void Run(const char* commandLine = "pivane.exe") {
    Windows().CommandLine = commandLine;
    Windows().Calls.clear();
    Windows().Boxes.clear();
    Windows().Broadcasts.clear();
    SilentMode = false;
    PivaneMain();
    EXPECT_EQ(Windows().ExitCode, 0u);
    ExpectAllReleased();
  }

  void Installed() {
    Fake::SetValue(Windows().MachineRoot, IconKey, "4", REG_SZ, InstalledForm + '\0');
    Windows().Files[LibraryPath].Contents = Image;
  }

  std::vector<Dword> BoxStyles() const {
    std::vector<Dword> styles;
    for (const Fake::Box& box : Windows().Boxes) styles.push_back(box.Style);
    return styles;
  }

  static int Index(const std::string& prefix) { return Fake::CallIndex(prefix); }
};

TEST_F(FlowsTest, InstallWritesTheLibraryThenTheValueThenRefreshes) {
  Windows().Files[OldLibraryPath] = Fake::File{std::string(7680, 'o'), FILE_ATTRIBUTE_READONLY};
  Fake::SetValue(Windows().UserRoot, IconSizeKey, IconSizeValue, REG_SZ, std::string("24\0", 3));
  Run();

  EXPECT_EQ(IconValue(), Sz(InstalledForm));
  EXPECT_EQ(Windows().Files[LibraryPath].Contents, Image);
  EXPECT_FALSE(Windows().Files.contains(OldLibraryPath));
  EXPECT_EQ(BoxStyles(), (std::vector<Dword>{0x24, 0x40}));
  EXPECT_NE(Windows().Boxes[1].Text.find("modifi\xE9"
                                         "e."),
            std::string::npos);

  // The library exists before the value names it; the old library goes
  // after; the refresh follows the write and precedes the completion box.
  EXPECT_LT(Index("WriteFile"), Index("RegSetValueExA 4="));
  EXPECT_LT(Index("RegSetValueExA 4="), Index("DeleteFileA " + OldLibraryPath));
  EXPECT_LT(Index("DeleteFileA " + OldLibraryPath), Index("SendMessageTimeoutA"));
  EXPECT_LT(Index("SendMessageTimeoutA"), Index("MessageBoxA L'installation"));
  ASSERT_EQ(Windows().Broadcasts.size(), 2u);
  EXPECT_EQ(Windows().Broadcasts[0].IconSize, Sz("16"));
  EXPECT_EQ(Windows().Broadcasts[1].IconSize, Sz("24"));
}

TEST_F(FlowsTest, UninstallPointsAwayThenDeletesThenRefreshes) {
  Installed();
  Fake::CreateKey(Windows().UserRoot, IconSizeKey);
  Run();

  EXPECT_EQ(IconValue(), Sz(FallbackForm));
  EXPECT_EQ(InstalledReference, FallbackForm);
  EXPECT_FALSE(Windows().Files.contains(LibraryPath));
  EXPECT_EQ(BoxStyles(), (std::vector<Dword>{0x24, 0x40}));
  EXPECT_NE(Windows().Boxes[0].Text.find("d\xE9sinstaller ?"), std::string::npos);
  EXPECT_NE(Windows().Boxes[1].Text.find("restaur\xE9"
                                         "e."),
            std::string::npos);
  EXPECT_LT(Index("RegSetValueExA 4="), Index("DeleteFileA " + LibraryPath));
  EXPECT_LT(Index("DeleteFileA " + LibraryPath), Index("SendMessageTimeoutA"));
  EXPECT_LT(Index("SendMessageTimeoutA"), Index("MessageBoxA L'installation"));
  ASSERT_EQ(Windows().Broadcasts.size(), 2u);
  EXPECT_EQ(Windows().Broadcasts[0].IconSize, Sz("16"));
  EXPECT_EQ(Windows().Broadcasts[1].IconSize, std::nullopt);
}

TEST_F(FlowsTest, RunsToggleTheOption) {
  for (int run = 0; run < 4; ++run) {
    Run(run % 2 ? "pivane.exe" : "pivane.exe /S");
    const bool installed = run % 2 == 0;
    EXPECT_EQ(IconValue(), Sz(installed ? InstalledForm : FallbackForm)) << run;
    EXPECT_EQ(Windows().Files.contains(LibraryPath), installed) << run;
    EXPECT_EQ(Windows().Boxes.size(), run % 2 ? 2u : 0u) << run;
  }
}

// The value is written in the case in which the reference was built, and
// the uninstall always writes the fallback, not what was there before.
TEST_F(FlowsTest, WritesReferencesAsBuilt) {
  Windows().SystemDirectory = "C:\\WinNT\\System32";
  Fake::SetValue(Windows().MachineRoot, IconKey, "4", REG_SZ, "D:\\icons\\mine.ico,3");
  Run("pivane.exe /S");
  EXPECT_EQ(IconValue(), Sz("C:\\WinNT\\System32\\pivane.dll,0"));
  Run("pivane.exe /S");
  EXPECT_EQ(IconValue(), Sz("C:\\WinNT\\System32\\shell32.dll,4"));
}

TEST_F(FlowsTest, NoEndsEitherFlowWithNothingChanged) {
  for (bool installed : {false, true}) {
    SetUp();
    if (installed) Installed();
    const auto filesBefore = Windows().Files.size();
    const auto valueBefore = IconValue();
    Windows().BoxAnswers = {IDNO};
    Run();
    EXPECT_EQ(BoxStyles(), std::vector<Dword>{0x24});
    EXPECT_EQ(IconValue(), valueBefore);
    EXPECT_EQ(Windows().Files.size(), filesBefore);
    EXPECT_EQ(Fake::CallCount("RegSetValueExA"), 0);
    EXPECT_EQ(Fake::CallCount("CreateFileA"), 0);
    EXPECT_TRUE(Windows().Broadcasts.empty());
  }
}

TEST_F(FlowsTest, BoxThatCannotBeShownCountsAsNo) {
  Fake::FailCall("MessageBoxA", 1);
  Run();
  EXPECT_EQ(Windows().Boxes.size(), 1u);
  EXPECT_EQ(IconValue(), std::nullopt);
  EXPECT_TRUE(Windows().Files.empty());
}

struct FailureCase {
  const char* name;
  bool installed;
  std::function<void()> arrange;
  Dword errorStyle;     // 0: the flow completes
  std::string message;  // the start of the last box's text
};

class FlowFailureTest : public FlowsTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(FlowFailureTest, EndsAsTheTableSays) {
  const FailureCase& c = GetParam();
  if (c.installed) Installed();
  c.arrange();
  const auto valueBefore = IconValue();
  Run();
  ASSERT_EQ(Windows().Boxes.size(), 2u);
  EXPECT_EQ(Windows().Boxes[1].Style, c.errorStyle ? c.errorStyle : 0x40u);
  EXPECT_TRUE(Windows().Boxes[1].Text.starts_with(c.message)) << Windows().Boxes[1].Text;
  if (c.errorStyle) {
    // A failed flow changes no value and refreshes nothing.
    EXPECT_EQ(IconValue(), valueBefore);
    EXPECT_TRUE(Windows().Broadcasts.empty());
  } else {
    EXPECT_EQ(Windows().Broadcasts.size(), 2u);
  }
}

const std::string Conflict = "L'installation n'est pas possible";
const std::string Failure = "Une erreur s'est produite";
const std::string Done = "L'installation de Pivane est termin";

INSTANTIATE_TEST_SUITE_P(
    Table, FlowFailureTest,
    testing::Values(
        FailureCase{"ForeignFileConflicts", false,
                    [] { Fake::Windows().Files[LibraryPath].Contents = "small"; }, 0x10, Conflict},
        FailureCase{"LockedLibraryConflicts", false,
                    [] {
                      Fake::Windows().Files[LibraryPath] = Fake::File{Image, 0x20, false, true};
                    },
                    0x10, Conflict},
        FailureCase{"UnwritableLibraryConflicts", false, [] { Fake::FailCall("CreateFileA", 1); },
                    0x10, Conflict},
        FailureCase{
            "InstallValueRefused", false,
            [] { Fake::CreateKey(Fake::Windows().MachineRoot, IconKey).Rights = Fake::ReadRights; },
            0x10, Failure},
        FailureCase{"UninstallValueRefused", true, [] { Fake::FailCall("RegSetValueExA", 1); },
                    0x10, Failure},
        FailureCase{"OldLibraryStuckIsIgnored", false,
                    [] {
                      Fake::Windows().Files[OldLibraryPath] =
                          Fake::File{std::string(7680, 'o'), 0x20, false, true};
                    },
                    0, Done},
        FailureCase{"LibraryStuckIsIgnored", true,
                    [] { Fake::Windows().Files[LibraryPath].HeldElsewhere = true; }, 0, Done},
        FailureCase{"RefreshFailuresAreIgnored", false,
                    [] {
                      Fake::CreateKey(Fake::Windows().UserRoot, IconSizeKey).Rights =
                          Fake::ReadRights;
                    },
                    0, Done}),
    [](const testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

TEST_F(FlowsTest, InstallWithoutRightToTheValueKeepsTheWrittenLibrary) {
  Fake::CreateKey(Windows().MachineRoot, IconKey).Rights = Fake::ReadRights;
  Run();
  EXPECT_EQ(Windows().Files[LibraryPath].Contents, Image);
}

TEST_F(FlowsTest, SilentFailuresShowNothing) {
  Windows().Files[LibraryPath].Contents = "small";
  Run("pivane.exe /S");
  EXPECT_TRUE(Windows().Boxes.empty());
  EXPECT_EQ(IconValue(), std::nullopt);
  EXPECT_EQ(Windows().Files[LibraryPath].Contents, "small");
}

// With the option installed, what the user may do with the machine-wide
// key decides the question and the end: reading needs only the right to
// read, so a limited user is asked the truth, and the write that he may not
// make fails with nothing changed. Only a key he may not even read hides
// the state.
TEST_F(FlowsTest, InstalledStateIsReadUnderEachAccess) {
  struct Case {
    const char* name;
    Dword rights;
    std::string question;  // the end of the first box
    std::string last;      // the start of the last box
    std::string value;     // what value "4" holds afterwards
    bool libraryKept;
  };
  // A limited account may not open the library for writing either: the
  // install it is offered where it cannot read the value meets a conflict.
  const Case cases[] = {
      {"Full", Fake::AllRights, "d\xE9sinstaller ?", Done, FallbackForm, false},
      {"ReadOnly", Fake::ReadRights, "d\xE9sinstaller ?", Failure, InstalledForm, true},
      {"None", 0, "l'installer ?", Conflict, InstalledForm, true},
  };
  for (const Case& c : cases) {
    SetUp();
    Installed();
    Fake::FindKey(Windows().MachineRoot, IconKey)->Rights = c.rights;
    Windows().LimitedAccount = c.rights != Fake::AllRights;
    Run();
    ASSERT_EQ(Windows().Boxes.size(), 2u) << c.name;
    EXPECT_TRUE(Windows().Boxes[0].Text.ends_with(c.question)) << c.name;
    EXPECT_TRUE(Windows().Boxes[1].Text.starts_with(c.last)) << c.name;
    EXPECT_EQ(IconValue(), Sz(c.value)) << c.name;
    EXPECT_EQ(Windows().Files.contains(LibraryPath), c.libraryKept) << c.name;
    if (c.libraryKept) {
      EXPECT_EQ(Windows().Files[LibraryPath].Contents, Image) << c.name;
    }
  }
}

// Vista and later without rights: after Oui, a copy of the program asked
// to run with them does the work, silent and told what to do, while this
// run lets its lock go; then this run refreshes for its own user and says
// it is done, in front. A silent run without rights changes nothing; an
// elevated one and every run before Vista go on as before, and the
// "already so" box needs no rights. Wherever the token answers, DLLs come
// from the system directory alone, and the shell is told of new icons.
TEST_F(FlowsTest, RunWithoutRightsHandsTheWorkToACopyWithThem) {
  constexpr auto Refused = Fake::ElevationPrompt::No;
  constexpr auto NoShell = Fake::ElevationPrompt::Unavailable;
  constexpr Dword Vista = 0x17720006, Seven = 0x1DB10106, Eight = 0x23F00206, Xp = 0x0A280105;
  // Outside the ANSI code page: an ANSI path would lose the L with stroke.
  const std::u16string local = u"C:\\Users\\Łukasz\\Téléchargements\\PIVANE.EXE";
  const std::u16string mapped = u"Z:\\Outils\\PIVANE.EXE";
  const std::u16string share = u"\\\\serveur\\outils\\Outils\\PIVANE.EXE";
  const std::u16string substituted = u"S:\\PIVANE.EXE";
  const std::u16string full = u"C:\\" + std::u16string(254, u'a') + u".exe";  // no room for NUL
  struct Case {
    const char* name;
    const char* switches = "";
    std::optional<bool> elevated = {};  // none: before Vista
    bool installedBefore = false;
    bool oui = true;  // the answer to Pivane's question
    Fake::ElevationPrompt prompt = Fake::ElevationPrompt::Yes;
    Dword copyCode = 0;
    bool copyChanges = true;  // where it ends with 0
    const char* copy = "";    // the copy's switches, where one started
    std::vector<Dword> boxes = {};
    Dword exitCode = 0;
    bool installedAfter = false;
    std::size_t broadcasts = 0;
    const std::u16string* path = nullptr;  // the program's own; none: local
    std::u16string startedAs = {};         // where not the program's path
    Dword version = 0;                     // none: by the token
    std::function<void()> arrange = {};
    std::function<void()> duringCopy = {};
  };
  // A run of another session takes the machine's lock while the copy runs,
  // and keeps it.
  const auto anotherRun = [] {
    Fake::Windows().OtherRuns = {Fake::OtherRun{{"Global\\PivaneRun"}, 2}};
  };
  const auto onShare = [] { Fake::Windows().NetworkDrives[u'Z'] = u"\\\\serveur\\outils"; };
  const auto unreadable = [&] {
    onShare();
    Fake::Windows().ShareFolderUnreadable = true;
  };
  const auto unnamed = [&] {
    unreadable();
    Fake::FailCall("WNetGetUniversalNameW", 1);
  };
  const auto subst = [] { Fake::Windows().SubstDrives[u'S'] = u"Z:\\Outils"; };
  const auto fails = [](const char* call) { return [call] { Fake::FailCall(call, 1); }; };
  // What the copy leaves, whatever it ends with: the value alone; the
  // value pointed away and the library kept (held open elsewhere); the
  // option installed; a record of a refresh, as a run of this user cut
  // off meanwhile leaves it.
  const auto valueOnly = [] {
    Fake::SetValue(Fake::Windows().MachineRoot, IconKey, "4", REG_SZ, InstalledForm + '\0');
  };
  const auto libraryKept = [] {
    Fake::SetValue(Fake::Windows().MachineRoot, IconKey, "4", REG_SZ, FallbackForm + '\0');
  };
  const auto installs = [this] { Installed(); };
  const auto leavesRecord = [] {
    Fake::SetValue(Fake::Windows().UserRoot, IconSizeKey, IconSizeValue, REG_SZ, "16");
    Fake::SetValue(Fake::Windows().UserRoot, "Software\\Pivane", IconSizeValue, REG_BINARY,
                   std::string("\1\1\0\0\0"
                               "32\0",
                               8));
  };
  const auto noFinalPath = [] { Fake::Windows().FinalPathCall = false; };
  const auto runOnly = [&] {
    subst();
    Fake::Windows().ImageUnreadable = true;
  };
  // A SUBST folder of that many characters, and the program in it: its
  // final path is 15 characters longer ("\\?\" and "\PIVANE.EXE"), and with
  // its NUL fits the 1,024 characters asked for up to a folder of 1,008.
  const auto deep = [](std::size_t length) { return u"C:\\" + std::u16string(length - 3, u'd'); };
  const auto substDeep = [&](std::size_t length) {
    return [&, length] { Fake::Windows().SubstDrives[u'S'] = deep(length); };
  };
  const auto inDeep = [&](std::size_t length) { return deep(length) + u"\\PIVANE.EXE"; };
  // A second run of this session, or another user's, holds a lock as the
  // copy ends, and lets it go some seconds later.
  const auto secondRun = [] {
    const Dword now = Fake::Windows().ClockMs;
    Fake::Windows().OtherRuns = {Fake::OtherRun{{"PivaneSession"}, 1, false, now + 3000}};
  };
  const auto otherUsersRun = [] {
    const Dword now = Fake::Windows().ClockMs;
    Fake::Windows().OtherRuns = {Fake::OtherRun{{"Global\\PivaneRun"}, 2, true, now + 2000}};
  };
  const auto noSystemDir = [] { Fake::Windows().SystemDirectory.reset(); };
  const auto withoutTheUpdate = [] { Fake::Windows().DllDirectoriesCall = false; };
  // clang-format off
  const Case cases[] = {
      {.name = "BeforeVista", .switches = "/I", .boxes = {0x24, 0x40}, .installedAfter = true, .broadcasts = 2},
      {.name = "Windows98", .switches = "/I", .boxes = {0x24, 0x40}, .installedAfter = true, .broadcasts = 2, .version = 0xC0000A04},
      {.name = "Elevated", .switches = "/I", .elevated = true, .boxes = {0x24, 0x40}, .installedAfter = true, .broadcasts = 2},
      {.name = "CopyItself", .switches = "/S /U", .elevated = true, .installedBefore = true, .broadcasts = 2},
      {.name = "SilentInstall", .switches = "/S /I", .elevated = false, .exitCode = 1},
      {.name = "SilentUninstall", .switches = "/S /U", .elevated = false, .installedBefore = true, .exitCode = 1, .installedAfter = true},
      {.name = "SilentToggle", .switches = "/S", .elevated = false, .installedBefore = true, .installedAfter = true},
      {.name = "SilentAlreadySo", .switches = "/S /I", .elevated = false, .installedBefore = true, .installedAfter = true},
      {.name = "Declined", .switches = "/I", .elevated = false, .oui = false, .boxes = {0x24}, .exitCode = 2},
      {.name = "AlreadySo", .switches = "/U", .elevated = false, .boxes = {0x40}},
      {.name = "BothSwitches", .switches = "/I /U", .elevated = false, .boxes = {0x10}, .exitCode = 87},
      {.name = "CopyInstalls", .switches = "/I", .elevated = false, .copy = "/S /I", .boxes = {0x24, 0x10040}, .installedAfter = true, .broadcasts = 2},
      {.name = "CopyUninstalls", .elevated = false, .installedBefore = true, .copy = "/S /U", .boxes = {0x24, 0x10040}, .broadcasts = 2},
      {.name = "CopyFails", .switches = "/I", .elevated = false, .copyCode = 1, .copy = "/S /I", .boxes = {0x24, 0x10010}, .exitCode = 1},
      {.name = "PlainRunCopyFails", .elevated = false, .copyCode = 1, .copy = "/S /I", .boxes = {0x24, 0x10010}},
      {.name = "CopyChangedNothing", .switches = "/I", .elevated = false, .copyChanges = false, .copy = "/S /I", .boxes = {0x24, 0x10010}, .exitCode = 1},
      {.name = "CopyLeftTheValue", .switches = "/U", .elevated = false, .installedBefore = true, .copyChanges = false, .copy = "/S /U", .boxes = {0x24, 0x10010}, .exitCode = 1, .installedAfter = true},
      {.name = "PromptRefused", .switches = "/I", .elevated = false, .prompt = Refused, .boxes = {0x24}, .exitCode = 2},
      {.name = "NoShell", .switches = "/U", .elevated = false, .installedBefore = true, .prompt = NoShell, .boxes = {0x24, 0x10010}, .exitCode = 1, .installedAfter = true},
      {.name = "PathFillsTheBuffer", .switches = "/I", .elevated = false, .boxes = {0x24, 0x10010}, .exitCode = 1, .path = &full},
      {.name = "LockTakenMeanwhile", .switches = "/I", .elevated = false, .copy = "/S /I", .boxes = {0x24, 0x10040}, .installedAfter = true, .duringCopy = anotherRun},
      {.name = "NetworkDrive", .switches = "/I", .elevated = false, .copy = "/S /I", .boxes = {0x24, 0x10040}, .installedAfter = true, .broadcasts = 2, .path = &mapped, .startedAs = share, .arrange = onShare},
      {.name = "NetworkDriveUnreadable", .switches = "/I", .elevated = false, .copy = "/S /I", .boxes = {0x24, 0x10040}, .installedAfter = true, .broadcasts = 2, .path = &mapped, .startedAs = share, .arrange = unreadable},
      {.name = "NetworkDriveUnnamed", .switches = "/I", .elevated = false, .copy = "/S /I", .boxes = {0x24, 0x10040}, .installedAfter = true, .broadcasts = 2, .path = &mapped, .startedAs = mapped, .arrange = unnamed},
      {.name = "SubstLetter", .switches = "/I", .elevated = false, .copy = "/S /I", .boxes = {0x24, 0x10040}, .installedAfter = true, .broadcasts = 2, .path = &substituted, .startedAs = u"Z:\\Outils\\PIVANE.EXE", .arrange = subst},
      {.name = "CopyEndsOtherwise", .switches = "/I", .elevated = false, .copyCode = 2, .copy = "/S /I", .boxes = {0x24, 0x10010}, .exitCode = 1, .installedAfter = true, .duringCopy = installs},
      {.name = "WaitFails", .switches = "/I", .elevated = false, .copy = "/S /I", .boxes = {0x24, 0x10010}, .exitCode = 1, .arrange = fails("MsgWaitForMultipleObjects")},
      {.name = "NoComApartment", .switches = "/I", .elevated = false, .copy = "/S /I", .boxes = {0x24, 0x10040}, .installedAfter = true, .broadcasts = 2, .arrange = fails("CoInitializeEx")},
      {.name = "CopyWroteTheValueOnly", .switches = "/I", .elevated = false, .copyChanges = false, .copy = "/S /I", .boxes = {0x24, 0x10010}, .exitCode = 1, .duringCopy = valueOnly},
      {.name = "LibraryAloneAndCopyDidNothing", .switches = "/I", .elevated = false, .copyChanges = false, .copy = "/S /I", .boxes = {0x24, 0x10010}, .exitCode = 1, .arrange = [] { Fake::Windows().Files[LibraryPath].Contents = Image; }},
      {.name = "CopyLeftTheLibrary", .switches = "/U", .elevated = false, .installedBefore = true, .copyChanges = false, .copy = "/S /U", .boxes = {0x24, 0x10040}, .broadcasts = 2, .duringCopy = libraryKept},
      {.name = "RecordLeftMeanwhile", .switches = "/I", .elevated = false, .copy = "/S /I", .boxes = {0x24, 0x10040}, .installedAfter = true, .broadcasts = 3, .duringCopy = leavesRecord},
      {.name = "RecordLeftAndCopyDidNothing", .switches = "/I", .elevated = false, .copyChanges = false, .copy = "/S /I", .boxes = {0x24, 0x10010}, .exitCode = 1, .broadcasts = 1, .duringCopy = leavesRecord},
      {.name = "RecordLeftLockTaken", .switches = "/I", .elevated = false, .copy = "/S /I", .boxes = {0x24, 0x10040}, .installedAfter = true, .duringCopy = [&] { leavesRecord(); anotherRun(); }},
      {.name = "NoFinalPath", .switches = "/I", .elevated = false, .copy = "/S /I", .boxes = {0x24, 0x10040}, .installedAfter = true, .broadcasts = 2, .path = &substituted, .arrange = [&] { subst(); noFinalPath(); }},
      {.name = "Vista", .switches = "/I", .elevated = false, .copy = "/S /I", .boxes = {0x24, 0x10040}, .installedAfter = true, .broadcasts = 2, .version = Vista},
      {.name = "SevenWithoutTheUpdate", .switches = "/U", .elevated = false, .installedBefore = true, .copy = "/S /U", .boxes = {0x24, 0x10040}, .broadcasts = 2, .version = Seven, .arrange = withoutTheUpdate},
      {.name = "VistaElevated", .elevated = true, .boxes = {0x24, 0x40}, .installedAfter = true, .broadcasts = 2, .version = Vista},
      {.name = "VistaBothSwitches", .switches = "/I /U", .elevated = false, .boxes = {0x10}, .exitCode = 87, .version = Vista},
      {.name = "VistaNoSystemDirectory", .switches = "/I", .elevated = false, .boxes = {0x10}, .exitCode = 1, .version = Vista, .arrange = noSystemDir},
      {.name = "RunOnlyImage", .switches = "/I", .elevated = false, .copy = "/S /I", .boxes = {0x24, 0x10040}, .installedAfter = true, .broadcasts = 2, .path = &substituted, .startedAs = u"Z:\\Outils\\PIVANE.EXE", .arrange = runOnly},
      {.name = "SubstFolder257", .switches = "/I", .elevated = false, .copy = "/S /I", .boxes = {0x24, 0x10040}, .installedAfter = true, .broadcasts = 2, .path = &substituted, .startedAs = inDeep(257), .arrange = substDeep(257)},
      {.name = "SubstFolder1008", .switches = "/I", .elevated = false, .copy = "/S /I", .boxes = {0x24, 0x10040}, .installedAfter = true, .broadcasts = 2, .path = &substituted, .startedAs = inDeep(1008), .arrange = substDeep(1008)},
      {.name = "SubstFolder1009", .switches = "/I", .elevated = false, .copy = "/S /I", .boxes = {0x24, 0x10040}, .installedAfter = true, .broadcasts = 2, .path = &substituted, .arrange = substDeep(1009)},
      {.name = "SubstFolder2047", .switches = "/I", .elevated = false, .copy = "/S /I", .boxes = {0x24, 0x10040}, .installedAfter = true, .broadcasts = 2, .path = &substituted, .arrange = substDeep(2047)},
      {.name = "SecondRunMeanwhile", .switches = "/I", .elevated = false, .copy = "/S /I", .boxes = {0x24, 0x10040}, .installedAfter = true, .broadcasts = 2, .version = Seven, .duringCopy = secondRun},
      {.name = "OtherUsersRunMeanwhile", .switches = "/U", .elevated = false, .installedBefore = true, .copy = "/S /U", .boxes = {0x24, 0x10040}, .broadcasts = 2, .version = Seven, .duringCopy = otherUsersRun},
      {.name = "TheCopyInstalls", .switches = "/S /I /COPIE", .elevated = true, .installedAfter = true, .arrange = leavesRecord},
      {.name = "TheCopyUninstalls", .switches = "/S /U /COPIE", .elevated = true, .installedBefore = true, .arrange = leavesRecord},
  };
  // clang-format on
  for (const Case& c : cases) {
    SetUp();
    Windows().Version = c.version ? c.version : c.elevated ? Eight : Xp;
    // XP has SetDllDirectoryW alone; 98 neither.
    Windows().DllDirectoriesCall = c.elevated.has_value();
    Windows().DllDirectoryCall = !(Windows().Version & 0x80000000u);
    Windows().Elevated = c.elevated;
    Windows().ModuleFileName = c.path ? *c.path : local;
    if (c.arrange) c.arrange();
    if (c.installedBefore) Installed();
    Windows().BoxAnswers = {c.oui ? IDYES : IDNO};
    Windows().Prompt = c.prompt;
    // The copy does what it was told, with rights, where it succeeds.
    Windows().Copy = [this, &c](const std::u16string& parameters) {
      if (c.duringCopy) c.duringCopy();
      if (c.copyCode == 0 && c.copyChanges) {
        if (parameters == u"/S /I /COPIE") {
          Installed();
        } else {
          Fake::SetValue(Windows().MachineRoot, IconKey, "4", REG_SZ, FallbackForm + '\0');
          Windows().Files.erase(LibraryPath);
        }
      }
      return c.copyCode;
    };
    Windows().CommandLine = std::string("pivane.exe ") + c.switches;
    // Windows starts a copy with rights in front, once its prompt is done.
    Windows().MayTakeForeground = c.elevated == true;
    PivaneMain();
    const std::u16string file = c.startedAs.empty() ? Windows().ModuleFileName : c.startedAs;
    const std::string_view switches(c.copy);
    const std::u16string copy(switches.begin(), switches.end());
    const std::u16string started = *c.copy ? u"runas " + file + u" " + copy + u" /COPIE" : u"";
    ASSERT_EQ(Windows().Started.size(), started.empty() ? 0u : 1u) << c.name;
    const int question = Index("MessageBoxA");
    for (const Fake::Machine::Launch& launch : Windows().Started) {
      EXPECT_TRUE(launch.Command == started) << c.name;
      EXPECT_TRUE(launch.Directory == u"C:\\WINDOWS\\system32") << c.name;
      EXPECT_EQ(launch.Mask, 0x00800540u) << c.name;
      EXPECT_TRUE(launch.OwnerInFront) << c.name;
      EXPECT_FALSE(launch.OwnedMutex) << c.name;
      // Left once where it was entered, and only there.
      EXPECT_EQ(launch.InComApartment, Fake::CallCount("CoUninitialize") == 1) << c.name;
      // The window stood, its messages answered, while the copy ran; it was
      // made before the question and brought to the front right after it.
      EXPECT_EQ(launch.WindowsWhileCopyRan, Fake::CallCount("GetExitCodeProcess") > 0) << c.name;
      EXPECT_EQ(launch.Unanswered, 0u) << c.name;
      EXPECT_LT(Index("CreateWindowExA STATIC"), question) << c.name;
      EXPECT_EQ(Index("SetForegroundWindow"), question + 1) << c.name;
      EXPECT_GT(Index("DestroyWindow"), Index("GetExitCodeProcess")) << c.name;
    }
    // A window only where the question may hand the work on, never shown.
    const bool asks = c.elevated == false && !std::string_view(c.switches).starts_with("/S") &&
                      c.boxes[0] == 0x24;
    EXPECT_EQ(Fake::CallCount("CreateWindowExA STATIC 80000000 80"), asks) << c.name;
    EXPECT_EQ(Fake::CallCount("CreateWindowExA"), Fake::CallCount("DestroyWindow")) << c.name;
    EXPECT_TRUE(Windows().OurWindows.empty()) << c.name;
    // No wait for the lock after the copy outlasts its minute, however
    // often it wakes.
    EXPECT_LE(Windows().ClockMs, Windows().CopyMs + LockWaitMs) << c.name;
    // Every message sent to the window answered; what was posted taken,
    // the question's key-up included, but for the last box's.
    EXPECT_EQ(Windows().Unanswered, 0u) << c.name;
    if (!started.empty()) {
      EXPECT_EQ(Windows().Posted.size(), 1u) << c.name;
    }
    EXPECT_EQ(Windows().ComApartments, 0) << c.name;
    EXPECT_EQ(BoxStyles(), c.boxes) << c.name;
    EXPECT_EQ(Windows().ExitCode, c.exitCode) << c.name;
    EXPECT_EQ(IconValue() == Sz(InstalledForm) && Windows().Files.contains(LibraryPath),
              c.installedAfter)
        << c.name;
    EXPECT_EQ(Windows().Broadcasts.size(), c.broadcasts) << c.name;
    if (!started.empty() && c.broadcasts) {
      EXPECT_GT(Index("SendMessageTimeoutA"), Index("GetExitCodeProcess")) << c.name;
    }
    if (!started.empty() && c.boxes.back() == 0x10040) {
      EXPECT_NE(Windows().Boxes.back().Text.find(c.installedAfter ? "modifi" : "restaur"),
                std::string::npos)
          << c.name;
    }
    // Without rights, nothing of the machine's is opened for writing.
    if (c.elevated == false) {
      for (const char* changing :
           {"CreateFileA", "DeleteFile", "SetFileAttributes", "RegSetValueExA 4"}) {
        EXPECT_EQ(Fake::CallCount(changing), 0) << c.name << ": " << changing;
      }
    }
    const bool changed = c.installedBefore != c.installedAfter;
    // The copy tells the shell alone, and leaves its own hive as it was.
    const bool theCopy = std::string_view(c.switches).ends_with("/COPIE");
    EXPECT_EQ(Fake::CallCount("SHChangeNotify 08000000 0"),
              c.elevated && changed && (c.broadcasts || theCopy))
        << c.name;
    if (theCopy) {
      EXPECT_EQ(IconSize(), (Fake::RegistryValue{REG_SZ, "16"})) << c.name;
      EXPECT_TRUE(Fake::GetValue(Windows().UserRoot, "Software\\Pivane", IconSizeValue)) << c.name;
    }
    // The search is kept to the system directory before the command line
    // is read, or else the current directory is taken out of it and, where
    // the token answers, what the system loads by name comes from there.
    const bool restricted = Windows().DllDirectoriesCall && Windows().Version != Vista;
    EXPECT_EQ(Windows().DllSearchRestricted, restricted) << c.name;
    EXPECT_EQ(Fake::CallCount("SetDefaultDllDirectories"), Windows().Version != Vista) << c.name;
    EXPECT_TRUE(Windows().DllDirectory == (restricted || !Windows().DllDirectoryCall
                                               ? std::nullopt
                                               : std::optional<std::u16string>(u"")))
        << c.name;
    EXPECT_LT(std::max(Index("SetDefaultDllDirectories"), Index("SetDllDirectoryW")),
              Index("GetCommandLineA"))
        << c.name;
    const std::string uxtheme = "LoadLibraryExA " + TestSystemDir + "\\uxtheme.dll 8";
    // Nothing can be loaded by its path without the system directory.
    const bool loadsFirst =
        !restricted && c.elevated.has_value() && Windows().SystemDirectory.has_value();
    EXPECT_EQ(Fake::CallCount(uxtheme), loadsFirst) << c.name;
    std::vector<std::string> named;
    for (const std::string& call : Windows().Calls) {
      if (!call.starts_with("LoadLibraryExA")) continue;
      EXPECT_TRUE(call.starts_with("LoadLibraryExA " + TestSystemDir + "\\")) << c.name << call;
      EXPECT_TRUE(call.ends_with(restricted ? " 0" : " 8")) << c.name << call;
      const std::size_t start = std::string("LoadLibraryExA \\").size() + TestSystemDir.size();
      const std::string name = call.substr(start, call.size() - std::min(call.size(), start + 2));
      if (name != "shell32.dll" && name != "ole32.dll" && name != "mpr.dll") named.push_back(name);
    }
    // Each by its name, as the two installers' lists give them.
    const std::vector<std::string> listed = {
        "uxtheme.dll", "userenv.dll",   "setupapi.dll", "apphelp.dll", "propsys.dll",
        "dwmapi.dll",  "cryptbase.dll", "oleacc.dll",   "clbcatq.dll", "ntmarta.dll",
        "version.dll", "profapi.dll",   "comres.dll"};
    EXPECT_EQ(named, loadsFirst ? listed : std::vector<std::string>{}) << c.name;
    // COM's apartment, as ShellExecuteExW asks, around it alone.
    EXPECT_EQ(Fake::CallCount("CoInitializeEx 6"), Fake::CallCount("ShellExecuteExW")) << c.name;
    if (loadsFirst) {
      EXPECT_LT(Index(uxtheme), question) << c.name;
    }
    ExpectAllReleased();
  }
}

// A 32-bit program under any emulation takes the native views: Windows on
// ARM's IsWow64Process answers FALSE where IsWow64Process2 names the x86
// process; where the latter is missing, the former is all there is.
TEST(RunsUnderWow64, TakesTheProcessMachineWhereWindowsNamesIt) {
  constexpr std::uint16_t I386 = 0x14C;
  EXPECT_TRUE(RunsUnderWow64(I386, false));  // Windows 11 on ARM
  EXPECT_TRUE(RunsUnderWow64(I386, true));   // x64
  EXPECT_FALSE(RunsUnderWow64(0, false));    // 32-bit Windows 10
  EXPECT_TRUE(RunsUnderWow64({}, true));     // Windows 7 x64
  EXPECT_FALSE(RunsUnderWow64({}, false));   // XP
}

// Memory refused at any one allocation of a whole run: the run still ends
// with exit code 0 and gives back every handle and block, deletes nothing
// but its own library, writes no value but a whole one, and never leaves
// the value naming a library that is gone.
struct RefusalCase {
  const char* name;
  const char* commandLine;
  bool installedBefore;
};

class AllocationRefusalTest : public PivaneTest, public testing::WithParamInterface<RefusalCase> {
 protected:
  void Arrange() {
    Fake::StartFreshProcess();
    Windows().CommandLine = GetParam().commandLine;
    Windows().Files[TestSystemDir + "\\shell32.dll"].Contents = "foreign";
    if (GetParam().installedBefore) {
      Fake::SetValue(Windows().MachineRoot, IconKey, "4", REG_SZ, InstalledForm + '\0');
      Windows().Files[LibraryPath].Contents = Image;
    }
  }
};

TEST_P(AllocationRefusalTest, AnyAllocationMayBeRefused) {
  Arrange();
  PivaneMain();
  const int allocations = Windows().Allocations;
  ASSERT_GT(allocations, 3);
  for (int refused = 1; refused <= allocations; ++refused) {
    Arrange();
    Windows().RefusedAllocation = refused;
    PivaneMain();
    EXPECT_EQ(Windows().ExitCode, 0u) << "refused allocation " << refused;
    ExpectAllReleased();
    EXPECT_TRUE(Windows().Files.contains(TestSystemDir + "\\shell32.dll"));
    // The value is as before, or what an install or an uninstall writes.
    const auto value = IconValue();
    EXPECT_TRUE(!value || value == Sz(InstalledForm) || value == Sz(FallbackForm))
        << "refused allocation " << refused;
    if (value == Sz(InstalledForm)) {
      EXPECT_EQ(Windows().Files[LibraryPath].Contents, Image) << "refused allocation " << refused;
    }
    // Asked for silence, a run never asks, even where the command line
    // could not be read whole.
    if (std::string_view(GetParam().commandLine).find("/S") != std::string_view::npos) {
      for (const Fake::Box& box : Windows().Boxes) {
        EXPECT_NE(box.Style, 0x24u) << "refused allocation " << refused;
      }
    }
    Fake::ResetGlobals();
    EXPECT_EQ(Windows().HeapBlocks, 0) << "refused allocation " << refused;
  }
}

INSTANTIATE_TEST_SUITE_P(
    WholeRuns, AllocationRefusalTest,
    testing::Values(RefusalCase{"Install", "pivane.exe", false},
                    RefusalCase{"Uninstall", "pivane.exe", true},
                    RefusalCase{"SilentInstall", "pivane.exe /S", false},
                    RefusalCase{"SilentUninstall", "\"pivane.exe\" \"/S\"", true}),
    [](const testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

}  // namespace

namespace {

// /I and /U: the exit code tells the outcome, and an option already as
// asked is left alone: no write, no file opened or deleted, no broadcast.
TEST_F(FlowsTest, InstallOrUninstallOnlyEndsWithTheOutcome) {
  const auto foreign = [] { Fake::Windows().Files[LibraryPath].Contents = "small"; };
  const auto noRight = [] {
    Fake::CreateKey(Fake::Windows().MachineRoot, IconKey).Rights = Fake::ReadRights;
  };
  const auto libraryGone = [] { Fake::Windows().Files.erase(LibraryPath); };
  const auto libraryAlone = [] { Fake::Windows().Files[LibraryPath].Contents = Image; };
  const auto runGoesOn = [] {
    Fake::Windows().OtherRuns = {Fake::OtherRun{{"Global\\PivaneRun"}}};
  };
  struct Case {
    const char* name;
    const char* commandLine;
    bool installedBefore;
    std::function<void()> arrange;
    Dword exitCode;
    bool installedAfter;
    bool untouched;  // nothing written, opened, deleted or broadcast
    std::vector<Dword> boxes;
  };
  const Case cases[] = {
      {"Installs", "pivane.exe /S /I", false, [] {}, 0, true, false, {}},
      {"AlreadyInstalled", "pivane.exe /I", true, [] {}, 0, true, true, {0x40}},
      {"SilentAlreadyInstalled", "pivane.exe /S /I", true, [] {}, 0, true, true, {}},
      {"LibraryGoneIsPutBack", "pivane.exe /i /s", true, libraryGone, 0, true, false, {}},
      // A library alone, as a failed delete leaves it, is not the option.
      {"LibraryAlone", "pivane.exe /I", false, libraryAlone, 0, true, false, {0x24, 0x40}},
      {"ForeignFileUnderTheValue", "pivane.exe /I", true, foreign, 1, true, false, {0x24, 0x10}},
      {"ForeignLibrary", "pivane.exe /S /I", false, foreign, 1, false, false, {}},
      {"InstallDeclined",
       "pivane.exe /I",
       false,
       [] { Fake::Windows().BoxAnswers = {IDNO}; },
       2,
       false,
       true,
       {0x24}},
      {"NoBoxToAsk",
       "pivane.exe /I",
       false,
       [] { Fake::FailCall("MessageBoxA", 1); },
       1,
       false,
       true,
       {0x24}},
      {"Uninstalls", "pivane.exe /U /S", true, [] {}, 0, false, false, {}},
      {"AlreadyUninstalled", "pivane.exe /U", false, [] {}, 0, false, true, {0x40}},
      {"SilentAlreadyUninstalled", "pivane.exe /S /U", false, [] {}, 0, false, true, {}},
      {"UninstallRefused", "pivane.exe /S /U", true, noRight, 1, true, false, {}},
      {"GaveUpWaiting", "pivane.exe /S /I", false, runGoesOn, 1, false, true, {}},
      {"Windows3",
       "pivane.exe /S /I",
       false,
       [] { Fake::Windows().Version = 3; },
       1,
       false,
       true,
       {0x10}},
      {"BothSwitches", "pivane.exe /I /U", true, [] {}, 87, true, true, {0x10}},
      {"BothSwitchesSilent", "pivane.exe /u /S /i", false, [] {}, 87, false, true, {}},
      // Without them, the exit code stays 0 whatever happens.
      {"PlainFailure", "pivane.exe /S", false, foreign, 0, false, false, {}},
  };
  for (const Case& c : cases) {
    SetUp();
    if (c.installedBefore) Installed();
    c.arrange();
    Windows().CommandLine = c.commandLine;
    PivaneMain();
    EXPECT_EQ(Windows().ExitCode, c.exitCode) << c.name;
    EXPECT_EQ(IconValue() == Sz(InstalledForm) && Windows().Files.contains(LibraryPath),
              c.installedAfter)
        << c.name;
    EXPECT_EQ(BoxStyles(), c.boxes) << c.name;
    if (c.untouched && c.boxes == std::vector<Dword>{0x40}) {
      EXPECT_EQ(Windows().Boxes[0].Text, c.installedAfter ? "L'option est d\xE9j\xE0 install\xE9"
                                                            "e. Rien n'a \xE9t\xE9 modifi\xE9."
                                                          : "L'option n'est pas install\xE9"
                                                            "e. Rien n'a \xE9t\xE9 modifi\xE9.")
          << c.name;
    }
    if (c.untouched) {
      for (const std::string& call : Windows().Calls) {
        for (const char* changing : {"RegSetValue", "RegCreateKey", "RegDelete", "CreateFile",
                                     "DeleteFile", "SetFileAttributes", "SendMessage"}) {
          EXPECT_FALSE(call.starts_with(changing)) << c.name << ": " << call;
        }
      }
    }
    // Both switches: nothing at all is read.
    if (c.exitCode == 87) {
      EXPECT_EQ(Fake::CallCount("Reg") + Fake::CallCount("FindFirstFile"), 0) << c.name;
    }
    ExpectAllReleased();
  }
}

}  // namespace
