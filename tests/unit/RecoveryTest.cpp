// Runs that overlap, and runs cut off: the run lock, the record of the icon
// size that the next run replays, and a walk that kills a run at each of
// its Windows calls in turn.
#include "deploy/IconLibraryImage.h"
#include "tests/unit/TestSupport.h"

namespace {

using namespace WindowsOps;
using Fake::LockHolder;
using Fake::RegistryValue;

const std::string Image(IconLibraryImage.begin(), IconLibraryImage.end());
const std::string RecordKey = "Software\\Pivane";
const std::string Foreign = TestSystemDir + "\\shell32.dll";

// What a refresh records: whether the size was there, its type and bytes.
RegistryValue Record(std::optional<RegistryValue> found) {
  std::string bytes(1, found ? '\1' : '\0');
  const Dword type = found ? found->Type : 0;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>(type >> (8 * i));
  return {REG_BINARY, bytes + (found ? found->Data : "")};
}

void Install() {
  Fake::SetValue(Fake::Windows().MachineRoot, IconKey, "4", REG_SZ, InstalledForm + '\0');
  Fake::Windows().Files[LibraryPath].Contents = Image;
}

bool TouchedAnything() {
  for (const std::string& call : Fake::Windows().Calls) {
    for (const char* prefix :
         {"Reg", "CreateFile", "FindFirstFile", "DeleteFile", "SetFileAttributes", "SendMessage"}) {
      if (call.starts_with(prefix)) return true;
    }
  }
  return false;
}

// Another run holds the lock. A run waits for it and then reads the
// state afresh; a silent one waits only so long, and one that cannot have
// the lock at all reads and changes nothing.
TEST(RunLockTest, WaitsForAnotherRunOrTouchesNothing) {
  struct Case {
    const char* name;
    const char* commandLine;
    std::function<void(Fake::Machine&)> arrange;
    bool proceeds;
    std::size_t boxes;  // an operation error where it does not proceed
  };
  const Case cases[] = {
      {"WaitsAsLongAsItTakes", "pivane.exe",
       [](Fake::Machine& m) { m.Lock = LockHolder::OtherRun, m.OtherRunEndsAtMs = 600000; }, true,
       1},
      {"SilentWaitsWithinItsBound", "pivane.exe /S",
       [](Fake::Machine& m) { m.Lock = LockHolder::OtherRun, m.OtherRunEndsAtMs = 59000; }, true,
       0},
      {"SilentGivesUp", "pivane.exe /S",
       [](Fake::Machine& m) { m.Lock = LockHolder::OtherRun, m.OtherRunEndsAtMs = 61000; }, false,
       0},
      {"AnotherUsersRunEnds", "pivane.exe",
       [](Fake::Machine& m) {
         m.Lock = LockHolder::OtherRun, m.LockOfAnotherUser = true, m.OtherRunEndsAtMs = 3000;
       },
       true, 1},
      {"AnotherUsersRunGoesOn", "pivane.exe",
       [](Fake::Machine& m) { m.Lock = LockHolder::OtherRun, m.LockOfAnotherUser = true; }, false,
       1},
      {"LeftByARunThatDied", "pivane.exe /S",
       [](Fake::Machine& m) { m.Lock = LockHolder::DeadRun; }, true, 0},
      {"CannotBeMade", "pivane.exe", [](Fake::Machine& m) { m.LockRefused = true; }, false, 1},
  };
  for (const Case& c : cases) {
    Fake::StartFreshProcess();
    Fake::Machine& m = Fake::Windows();
    m.CommandLine = c.commandLine;
    m.BoxAnswers = {IDNO};
    c.arrange(m);
    // The other run installs the option as it ends.
    m.OtherRunDoes = Install;
    PivaneMain();
    EXPECT_EQ(TouchedAnything(), c.proceeds) << c.name;
    ASSERT_EQ(m.Boxes.size(), c.boxes) << c.name;
    if (c.boxes) {
      // The state read after the wait: the other run installed it.
      EXPECT_EQ(m.Boxes[0].Text.ends_with("d\xE9sinstaller ?"), c.proceeds) << c.name;
      EXPECT_EQ(m.Boxes[0].Style, c.proceeds ? 0x24u : 0x10u) << c.name;
    }
    EXPECT_LE(m.ClockMs, c.proceeds ? 600000u : 60000u) << c.name;
    EXPECT_NE(m.Lock, LockHolder::Us) << c.name;
    EXPECT_EQ(m.ExitCode, 0u) << c.name;
  }
}

// Runs of every session meet where Windows has sessions (2000 and later);
// the systems before take no backslash in the name.
TEST(RunLockTest, NameIsGlobalWhereWindowsHasSessions) {
  const std::pair<Dword, const char*> cases[] = {{0xC0000004, "PivaneRun"},
                                                 {0xC0005A04, "PivaneRun"},
                                                 {0x05650004, "PivaneRun"},
                                                 {0x08930005, "Global\\PivaneRun"},
                                                 {0x1DB10106, "Global\\PivaneRun"}};
  for (const auto& [version, name] : cases) {
    Fake::StartFreshProcess();
    Fake::Windows().Version = version;
    Fake::Windows().BoxAnswers = {IDNO};
    PivaneMain();
    EXPECT_EQ(Fake::Windows().LockName, name) << std::hex << version;
  }
}

// A record found at the start: the size goes back if it still holds the
// dead run's "16", the user's own change stays, and either way the record
// goes and the shell is told, even when the question is then answered No.
TEST(ReplayTest, PutsTheSizeBackUnlessTheUserChangedIt) {
  const RegistryValue sixteen{REG_SZ, std::string("16\0", 3)};
  const RegistryValue found{REG_SZ, std::string("24\0", 3)};
  const RegistryValue users{REG_SZ, std::string("32\0", 3)};
  struct Case {
    const char* name;
    std::optional<RegistryValue> record;  // none: the key alone
    std::optional<RegistryValue> size, after;
    std::size_t broadcasts;
  };
  const Case cases[] = {
      {"StillSixteen", Record(found), sixteen, found, 1},
      {"WasAbsent", Record(std::nullopt), sixteen, std::nullopt, 1},
      {"ChangedByTheUser", Record(found), users, users, 1},
      {"NotARecord", RegistryValue{REG_SZ, std::string("24\0", 3)}, sixteen, sixteen, 1},
      {"KeyAlone", std::nullopt, found, found, 0},
  };
  for (const Case& c : cases) {
    Fake::StartFreshProcess();
    Fake::Machine& m = Fake::Windows();
    m.BoxAnswers = {IDNO};
    Fake::CreateKey(m.UserRoot, RecordKey);
    if (c.record)
      Fake::SetValue(m.UserRoot, RecordKey, IconSizeValue, c.record->Type, c.record->Data);
    Fake::SetValue(m.UserRoot, IconSizeKey, IconSizeValue, c.size->Type, c.size->Data);
    PivaneMain();
    EXPECT_EQ(Fake::GetValue(m.UserRoot, IconSizeKey, IconSizeValue), c.after) << c.name;
    EXPECT_EQ(Fake::FindKey(m.UserRoot, RecordKey), nullptr) << c.name;
    EXPECT_EQ(m.Broadcasts.size(), c.broadcasts) << c.name;
    EXPECT_LT(Fake::CallIndex("RegDeleteKeyA"),
              Fake::CallIndex("RegOpenKeyExA Software\\Microsoft"))
        << c.name;
  }
}

// A run dies at each of its Windows calls in turn (nothing of that call or
// after it happens), and a whole silent run follows. The machine then has
// the icon size as first found, the option whole (value "4" names the
// library exactly when the library is there, byte for byte), everything
// that is not Pivane's as it was, and no record.
struct WalkCase {
  const char* name;
  bool installed;
  bool recordLeft;  // by an earlier run that died while the size was "16"
};

class CrashWalkTest : public PivaneTest, public testing::WithParamInterface<WalkCase> {
 protected:
  static inline const RegistryValue FirstSize{REG_SZ, std::string("24\0", 3)};
  static inline const RegistryValue Neighbour{REG_SZ, std::string("x\0", 2)};

  void Arrange() {
    Fake::StartFreshProcess();
    Fake::Machine& m = Windows();
    Fake::CreateKey(m.UserRoot, "Software");
    Fake::SetValue(m.MachineRoot, IconKey, "3", Neighbour.Type, Neighbour.Data);
    Fake::SetValue(m.UserRoot, IconSizeKey, "Shell Small Icon Size", Neighbour.Type,
                   Neighbour.Data);
    Fake::SetValue(m.UserRoot, IconSizeKey, IconSizeValue, FirstSize.Type, FirstSize.Data);
    m.Files[Foreign].Contents = "foreign";
    if (GetParam().installed) Install();
    if (GetParam().recordLeft) {
      const RegistryValue record = Record(FirstSize);
      Fake::SetValue(m.UserRoot, RecordKey, IconSizeValue, record.Type, record.Data);
      Fake::SetValue(m.UserRoot, IconSizeKey, IconSizeValue, REG_SZ, std::string("16\0", 3));
      m.Lock = LockHolder::DeadRun;
    }
  }

  void ExpectMachineWhole(int callOfDeath) {
    Fake::Machine& m = Windows();
    EXPECT_EQ(IconSize(), FirstSize) << "died at call " << callOfDeath;
    const bool named = IconValue() == Sz(InstalledForm);
    const bool there = m.Files.contains(LibraryPath) && m.Files[LibraryPath].Contents == Image;
    EXPECT_EQ(named, there) << "died at call " << callOfDeath;
    EXPECT_EQ(m.Files.contains(LibraryPath), there) << "died at call " << callOfDeath;
    EXPECT_EQ(m.Files[Foreign].Contents, "foreign") << "died at call " << callOfDeath;
    EXPECT_EQ(Fake::GetValue(m.MachineRoot, IconKey, "3"), Neighbour);
    EXPECT_EQ(Fake::GetValue(m.UserRoot, IconSizeKey, "Shell Small Icon Size"), Neighbour);
    EXPECT_EQ(Fake::FindKey(m.UserRoot, "Software")->Subkeys.size(), 0u)
        << "died at call " << callOfDeath;
    EXPECT_EQ(m.Lock, LockHolder::None) << "died at call " << callOfDeath;
  }
};

TEST_P(CrashWalkTest, NextRunEndsTheMachineWhole) {
  Arrange();
  PivaneMain();
  const int calls = static_cast<int>(Windows().Calls.size());
  ASSERT_GT(calls, 20);
  for (int death = 1; death <= calls; ++death) {
    Arrange();
    Windows().DiesAtCall = death;
    PivaneMain();
    Fake::EndProcess();
    Fake::ResetGlobals();
    Fake::NewProcess();
    Windows().CommandLine = "pivane.exe /S";
    PivaneMain();
    ExpectAllReleased();
    ExpectMachineWhole(death);
  }
  RecordProperty("CrashPoints", calls);
}

INSTANTIATE_TEST_SUITE_P(Runs, CrashWalkTest,
                         testing::Values(WalkCase{"Install", false, false},
                                         WalkCase{"Uninstall", true, false},
                                         WalkCase{"Replay", false, true}),
                         [](const testing::TestParamInfo<WalkCase>& info) {
                           return info.param.name;
                         });

}  // namespace
