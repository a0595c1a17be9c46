// Runs that overlap, and runs cut off: the run lock, the record of the icon
// size that the next run replays, and a walk that kills a run at each of
// its Windows calls in turn.
#include "deploy/IconLibraryImage.h"
#include "tests/unit/TestSupport.h"

namespace {

using namespace WindowsOps;
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

// Another run of the program, holding the session's and the machine's
// locks from before this run starts: in this run's session (1) or another.
// It installs the option as it ends.
Fake::OtherRun Holder(Dword session, std::optional<Dword> endsAtMs, bool anotherUsers = false,
                      bool dies = false) {
  return Fake::OtherRun{
      {"Global\\PivaneRun", "PivaneSession"}, session, anotherUsers, endsAtMs, dies, Install};
}

// A run waits for another and then reads the state afresh: for one of its
// own session, whose box is on this screen, as long as it takes unless it
// is silent; for one elsewhere, or another user's, a minute at most in
// all, then it changes nothing and says so unless silent. One that cannot
// have the lock at all reads and changes nothing.
TEST(RunLockTest, WaitsForAnotherRunOrTouchesNothing) {
  struct Case {
    const char* name;
    const char* commandLine;
    std::vector<Fake::OtherRun> runs;
    bool proceeds;
    std::size_t boxes;  // an operation error where it does not proceed
    bool refused = false;
    std::optional<Dword> endsAtMs = {};  // on the model's clock, where pinned
    Dword lateMs = 0;                    // how late each Sleep returns
  };
  const Case cases[] = {
      {"ThisSessionAsLongAsItTakes", "pivane.exe", {Holder(1, 600000)}, true, 1},
      {"ThisSessionSilentWithinItsBound", "pivane.exe /S", {Holder(1, 59000)}, true, 0},
      {"ThisSessionSilentGivesUp", "pivane.exe /S", {Holder(1, 61000)}, false, 0},
      {"OtherSessionWithinAMinute", "pivane.exe", {Holder(2, 59000)}, true, 1},
      // The wait for this session's run does not count in the minute.
      {"ThisSessionThenAnother", "pivane.exe", {Holder(1, 100000), Holder(2, 130000)}, true, 1},
      {"OtherSessionGivesUp", "pivane.exe", {Holder(2, 600000)}, false, 1},
      // Looked for again every half second.
      {"AnotherUsersRunEnds", "pivane.exe", {Holder(2, 2900, true)}, true, 1, false, 3000},
      {"AnotherUsersRunGoesOn", "pivane.exe", {Holder(2, std::nullopt, true)}, false, 1},
      // Half a minute looking for another user's run, then half a minute
      // waiting for the next: a minute in all.
      {"PolledThenWaited", "pivane.exe /S", {Holder(2, 30000, true), Holder(2, 90000)}, false, 0},
      // A timer that returns late still holds the minute, to its lateness.
      {"LateTimer", "pivane.exe /S", {Holder(2, std::nullopt, true)}, false, 0, false, {}, 7},
      {"DiedWhileWaitedFor", "pivane.exe /S", {Holder(1, 2000, false, true)}, true, 0},
      {"CannotBeMade", "pivane.exe", {}, false, 1, true},
  };
  for (const Case& c : cases) {
    Fake::StartFreshProcess();
    Fake::Machine& m = Fake::Windows();
    m.CommandLine = c.commandLine;
    m.BoxAnswers = {IDNO};
    m.OtherRuns = c.runs;
    m.MutexesRefused = c.refused;
    m.SleepLateMs = c.lateMs;
    PivaneMain();
    EXPECT_EQ(TouchedAnything(), c.proceeds) << c.name;
    ASSERT_EQ(m.Boxes.size(), c.boxes) << c.name;
    if (c.boxes) {
      // The state read after the wait: the other run installed it.
      EXPECT_EQ(m.Boxes[0].Text.ends_with("d\xE9sinstaller ?"), c.proceeds) << c.name;
      EXPECT_EQ(m.Boxes[0].Style, c.proceeds ? 0x24u : 0x10u) << c.name;
    }
    // A lock it could not have whole is let go before the error is said.
    if (!c.proceeds && c.boxes) {
      const auto& calls = m.Calls;
      const auto box = std::find_if(calls.begin(), calls.end(), [](const std::string& call) {
        return call.starts_with("MessageBoxA");
      });
      EXPECT_EQ(std::count(box, calls.end(), "ReleaseMutex"), 0) << c.name;
    }
    EXPECT_LE(m.ClockMs, (c.proceeds ? 600000u : 60000u) + c.lateMs) << c.name;
    if (c.endsAtMs) {
      EXPECT_EQ(m.ClockMs, *c.endsAtMs) << c.name;
    }
    EXPECT_TRUE(m.OwnedMutexes.empty()) << c.name;
    EXPECT_EQ(m.OpenMutexes, 0) << c.name;
    EXPECT_EQ(m.ExitCode, 0u) << c.name;
  }
}

// The names follow what the system takes, not the version it reports,
// which a compatibility mode changes: every run on one machine meets.
TEST(RunLockTest, NamesFollowWhatTheSystemTakes) {
  const Dword versions[] = {0xC0000004, 0xC0005A04, 0x05650004, 0x08930005, 0x1DB10106};
  for (bool namespaces : {true, false}) {
    for (Dword version : versions) {
      Fake::StartFreshProcess();
      Fake::Windows().Version = version;
      Fake::Windows().Namespaces = namespaces;
      Fake::Windows().BoxAnswers = {IDNO};
      PivaneMain();
      const std::vector<std::string> expected =
          namespaces ? std::vector<std::string>{"Global\\PivaneRun", "PivaneSession"}
                     : std::vector<std::string>{"Global\\PivaneRun", "PivaneRun"};
      EXPECT_EQ(Fake::Windows().MutexNames, expected) << std::hex << version << namespaces;
      ASSERT_EQ(Fake::Windows().Boxes.size(), 1u) << std::hex << version << namespaces;
      EXPECT_EQ(Fake::Windows().Boxes[0].Style, 0x24u) << std::hex << version << namespaces;
    }
  }
}

// A record found at the start: the size goes back if it still holds the
// dead run's "16", the user's own change stays, and either way the record
// goes and the shell is told, even when the question is then answered No.
// Only our value is ours: the key goes only where nothing else is in it.
// A size that cannot be put back keeps its record, also through the same
// run's own refresh.
TEST(ReplayTest, PutsTheSizeBackUnlessTheUserChangedIt) {
  const RegistryValue sixteen{REG_SZ, std::string("16\0", 3)};
  const RegistryValue found{REG_SZ, std::string("24\0", 3)};
  const RegistryValue users{REG_SZ, std::string("32\0", 3)};
  const auto anotherValue = [](Fake::RegistryKey& key) { key.Values["Other"] = {REG_SZ, "x"}; };
  const auto aSubkey = [](Fake::RegistryKey& key) { key.Subkeys["Sub"]; };
  const auto sizeRefused = [](Fake::RegistryKey&) {
    Fake::FindKey(Fake::Windows().UserRoot, IconSizeKey)->Rights = Fake::ReadRights;
  };
  // Vista and later, silent, without rights: the size is the user's, so
  // the record is replayed; the option, the machine's, is left alone.
  const auto silentWithoutRights = [](Fake::RegistryKey&) {
    Fake::Windows().CommandLine = "pivane.exe /S /I";
    Fake::Windows().Elevated = false;
  };
  // 98 deletes a key with whatever is below it.
  const auto subkeyOn98 = [](Fake::RegistryKey& key) {
    key.Subkeys["Sub"];
    Fake::Windows().Version = 0xC0000A04;
  };
  // The replay's put-back fails once; then, while the question stands, the
  // user sets a size of his own, once.
  const auto putBackFails = [](Fake::RegistryKey&) { Fake::FailCall("RegSetValueExA", 1); };
  const auto userChangesItMeanwhile = [users](Fake::RegistryKey&) {
    Fake::FailCall("RegSetValueExA", 1);
    Fake::Windows().Meanwhile = [users, once = true](const std::string&) mutable {
      if (!KeptRecord || !std::exchange(once, false)) return;
      Fake::SetValue(Fake::Windows().UserRoot, IconSizeKey, IconSizeValue, users.Type, users.Data);
    };
  };
  struct Case {
    const char* name;
    std::optional<RegistryValue> record;  // none: the key alone
    RegistryValue size;
    std::optional<RegistryValue> after;
    std::size_t broadcasts;
    std::function<void(Fake::RegistryKey&)> arrange = [](Fake::RegistryKey&) {};
    bool keyKept = false;
    bool recordKept = false;
    int answer = IDNO;
  };
  const Case cases[] = {
      {"StillSixteen", Record(found), sixteen, found, 1},
      {"WasAbsent", Record(std::nullopt), sixteen, std::nullopt, 1},
      {"ChangedByTheUser", Record(found), users, users, 1},
      {"NotARecord", RegistryValue{REG_SZ, std::string("24\0", 3)}, sixteen, sixteen, 1},
      {"KeyAlone", std::nullopt, found, found, 0},
      {"KeyHoldsAnotherValue", Record(found), sixteen, found, 1, anotherValue, true},
      {"KeyHoldsASubkey", Record(found), sixteen, found, 1, aSubkey, true},
      {"SizeCannotBePutBack", Record(found), sixteen, sixteen, 1, sizeRefused, true, true},
      {"KeptThroughTheRefresh", Record(found), sixteen, sixteen, 3, sizeRefused, true, true, IDYES},
      {"SilentWithoutRights", Record(found), sixteen, found, 1, silentWithoutRights},
      {"SixteenOfAnotherType", Record(found), RegistryValue{REG_EXPAND_SZ, std::string("16\0", 3)},
       RegistryValue{REG_EXPAND_SZ, std::string("16\0", 3)}, 1},
      {"KeyHoldsASubkeyOn98", Record(found), sixteen, found, 1, subkeyOn98, true},
      {"PutBackFailsOnce", Record(found), sixteen, found, 3, putBackFails, false, false, IDYES},
      {"ChangedWhileAsked", Record(found), sixteen, users, 3, userChangesItMeanwhile, false, false,
       IDYES},
  };
  for (const Case& c : cases) {
    Fake::StartFreshProcess();
    Fake::Machine& m = Fake::Windows();
    m.BoxAnswers = {c.answer};
    Fake::RegistryKey& key = Fake::CreateKey(m.UserRoot, RecordKey);
    if (c.record) key.Values[IconSizeValue] = *c.record;
    Fake::SetValue(m.UserRoot, IconSizeKey, IconSizeValue, c.size.Type, c.size.Data);
    c.arrange(key);
    // What stays of the key: all of it, less our value unless it is kept.
    Fake::RegistryKey kept = key;
    if (!c.recordKept) kept.Values.erase(IconSizeValue);
    PivaneMain();
    EXPECT_EQ(Fake::GetValue(m.UserRoot, IconSizeKey, IconSizeValue), c.after) << c.name;
    EXPECT_EQ(Fake::FindKey(m.UserRoot, RecordKey) != nullptr, c.keyKept) << c.name;
    EXPECT_EQ(Fake::GetValue(m.UserRoot, RecordKey, IconSizeValue),
              c.recordKept ? c.record : std::nullopt)
        << c.name;
    if (const Fake::RegistryKey* left = Fake::FindKey(m.UserRoot, RecordKey); left && c.keyKept) {
      EXPECT_EQ(left->Values, kept.Values) << c.name;
      EXPECT_EQ(left->Subkeys.size(), kept.Subkeys.size()) << c.name;
    }
    EXPECT_EQ(m.Broadcasts.size(), c.broadcasts) << c.name;
    if (c.broadcasts && Fake::CallIndex("MessageBoxA") >= 0) {
      EXPECT_LT(Fake::CallIndex("SendMessageTimeoutA"), Fake::CallIndex("MessageBoxA")) << c.name;
    }
  }
}

// A run dies at each of its Windows calls in turn (nothing of that call or
// after it happens), and a whole silent run follows. The machine then has
// the icon size as first found (or none, where there was none), the option
// whole (value "4" names the library exactly when the library is there,
// byte for byte), everything that is not Pivane's as it was, and no record.
struct WalkCase {
  const char* name;
  bool installed;
  bool recordLeft;  // by an earlier run that died while the size was "16"
  std::optional<Fake::RegistryValue> firstSize;
};

const RegistryValue TwentyFour{REG_SZ, std::string("24\0", 3)};

class CrashWalkTest : public PivaneTest, public testing::WithParamInterface<WalkCase> {
 protected:
  static inline const RegistryValue Neighbour{REG_SZ, std::string("x\0", 2)};

  void Arrange() {
    Fake::StartFreshProcess();
    Fake::Machine& m = Windows();
    Fake::CreateKey(m.UserRoot, "Software");
    Fake::SetValue(m.MachineRoot, IconKey, "3", Neighbour.Type, Neighbour.Data);
    Fake::SetValue(m.UserRoot, IconSizeKey, "Shell Small Icon Size", Neighbour.Type,
                   Neighbour.Data);
    const std::optional<RegistryValue>& first = GetParam().firstSize;
    if (first) Fake::SetValue(m.UserRoot, IconSizeKey, IconSizeValue, first->Type, first->Data);
    m.Files[Foreign].Contents = "foreign";
    if (GetParam().installed) Install();
    if (GetParam().recordLeft) {
      const RegistryValue record = Record(first);
      Fake::SetValue(m.UserRoot, RecordKey, IconSizeValue, record.Type, record.Data);
      Fake::SetValue(m.UserRoot, IconSizeKey, IconSizeValue, REG_SZ, std::string("16\0", 3));
    }
  }

  void ExpectMachineWhole(int callOfDeath) {
    Fake::Machine& m = Windows();
    EXPECT_EQ(IconSize(), GetParam().firstSize) << "died at call " << callOfDeath;
    const bool named = IconValue() == Sz(InstalledForm);
    const bool there = m.Files.contains(LibraryPath) && m.Files[LibraryPath].Contents == Image;
    EXPECT_EQ(named, there) << "died at call " << callOfDeath;
    EXPECT_EQ(m.Files.contains(LibraryPath), there) << "died at call " << callOfDeath;
    EXPECT_EQ(m.Files[Foreign].Contents, "foreign") << "died at call " << callOfDeath;
    EXPECT_EQ(Fake::GetValue(m.MachineRoot, IconKey, "3"), Neighbour);
    EXPECT_EQ(Fake::GetValue(m.UserRoot, IconSizeKey, "Shell Small Icon Size"), Neighbour);
    EXPECT_EQ(Fake::FindKey(m.UserRoot, "Software")->Subkeys.size(), 0u)
        << "died at call " << callOfDeath;
    EXPECT_TRUE(m.OwnedMutexes.empty()) << "died at call " << callOfDeath;
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

// The first size as a string, as an expandable string (its type must come
// back), and absent, as in every new profile (it must not come back).
INSTANTIATE_TEST_SUITE_P(
    Runs, CrashWalkTest,
    testing::Values(WalkCase{"Install", false, false, TwentyFour},
                    WalkCase{"InstallSizeAbsent", false, false, std::nullopt},
                    WalkCase{"Uninstall", true, false,
                             RegistryValue{REG_EXPAND_SZ, std::string("24\0", 3)}},
                    WalkCase{"Replay", false, true, TwentyFour}),
    [](const testing::TestParamInfo<WalkCase>& info) { return info.param.name; });

}  // namespace
