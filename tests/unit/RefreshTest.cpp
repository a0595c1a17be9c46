#include "deploy/ShellRefresh.h"

#include "tests/unit/TestSupport.h"

namespace {

using namespace WindowsOps;
using Fake::RegistryValue;

struct RefreshCase {
  const char* name;
  std::optional<RegistryValue> before;  // and after: the user's size is left as found
  bool sixteenBetween = true;           // the windows see "16" at the first broadcast
  Dword rights = Fake::AllRights;
  bool keyExists = true;
  bool unreadable = false;
};

class RefreshTest : public PivaneTest, public testing::WithParamInterface<RefreshCase> {};

TEST_P(RefreshTest, SetsSixteenBroadcastsPutsBackAndBroadcastsAgain) {
  const RefreshCase& c = GetParam();
  if (c.keyExists) Fake::CreateKey(Windows().UserRoot, IconSizeKey).Rights = c.rights;
  if (c.before)
    Fake::SetValue(Windows().UserRoot, IconSizeKey, IconSizeValue, c.before->Type, c.before->Data);
  if (c.unreadable) Fake::FailCall("RegQueryValueExA", 1);

  RefreshShellIcons();

  // The shell's desktop, the one window there is, each time: the "16"
  // passes over it were it hung, the size put back does not.
  ASSERT_EQ(Windows().Broadcasts.size(), 2u);
  for (const Fake::Broadcast& b : Windows().Broadcasts) {
    EXPECT_EQ(b.Window, 0x10010u);
    EXPECT_EQ(b.Message, 0x001Au);
    EXPECT_EQ(b.WParam, 0u);
    EXPECT_EQ(b.LParam, 0);
    EXPECT_GE(b.TimeoutMs, 1000u);
    EXPECT_LE(b.TimeoutMs, 5000u);
  }
  EXPECT_EQ(Windows().Broadcasts[0].Flags, SMTO_ABORTIFHUNG);
  EXPECT_EQ(Windows().Broadcasts[1].Flags, 0u);
  // What the windows saw at each broadcast, and what stays: the same type
  // and bytes, or no value at all.
  EXPECT_EQ(Windows().Broadcasts[0].IconSize, c.sixteenBetween ? Sz("16") : c.before);
  EXPECT_EQ(Windows().Broadcasts[1].IconSize, c.before);
  EXPECT_EQ(IconSize(), c.before);
  EXPECT_EQ(Fake::FindKey(Windows().UserRoot, IconSizeKey) != nullptr, c.keyExists);
  // The record that stands while the size may be "16" is gone.
  EXPECT_EQ(Fake::FindKey(Windows().UserRoot, "Software\\Pivane"), nullptr);
  ExpectAllReleased();
}

INSTANTIATE_TEST_SUITE_P(
    Values, RefreshTest,
    testing::Values(
        RefreshCase{"Absent", std::nullopt},
        RefreshCase{"Other", RegistryValue{REG_SZ, std::string("48\0", 3)}},
        RefreshCase{"AlreadySixteen", RegistryValue{REG_SZ, std::string("16\0", 3)}},
        RefreshCase{"NonString", RegistryValue{REG_DWORD, std::string("\x20\0\0\0", 4)}},
        RefreshCase{"EmptyString", RegistryValue{REG_SZ, ""}},
        RefreshCase{"EmptyBinary", RegistryValue{REG_BINARY, ""}},
        RefreshCase{"Expandable", RegistryValue{REG_EXPAND_SZ, std::string("%X%\0", 4)}},
        RefreshCase{"NotWritable", RegistryValue{REG_SZ, std::string("24\0", 3)}, false,
                    Fake::ReadRights},
        // What cannot be put back is not changed: a value that cannot be
        // read, or a key that is not there (writing would create it).
        RefreshCase{"Unreadable", RegistryValue{REG_SZ, std::string("24\0", 3)}, false,
                    Fake::AllRights, true, true},
        RefreshCase{"KeyMissing", std::nullopt, false, Fake::AllRights, false}),
    [](const testing::TestParamInfo<RefreshCase>& info) { return info.param.name; });

// Busy and hung windows beside a refresh (the user's size "24"), from the
// moment T0 of the model's clock: how long the refresh takes in all, and
// what each window read at each notice it handled, once every window has
// caught up with what it was sent. The shell's desktop answers at once
// unless a row lists it.
constexpr Dword T0 = 100000;
constexpr std::uintptr_t Shell = 0x10010;

struct BusyCase {
  const char* name;
  std::vector<Fake::TopWindow> windows;
  std::vector<std::vector<std::string>> reads;  // each window's, in the order listed
  Dword elapsedMs;
  bool replay = false;
  Dword ticksAtStart = 0;
  bool shellWindowCall = true;  // false: before 2000, the shell is found by its class
};

class BusyWindowsTest : public PivaneTest, public testing::WithParamInterface<BusyCase> {};

Fake::TopWindow Busy(std::uintptr_t handle, Dword takesMs) {
  return {handle, static_cast<Dword>(handle), handle == Shell ? "Progman" : "Busy", takesMs};
}
Fake::TopWindow Hung(std::uintptr_t handle, Dword fromMs, std::optional<Dword> untilMs) {
  return {handle, static_cast<Dword>(handle), "Hung", 0, fromMs, untilMs};
}

TEST_P(BusyWindowsTest, TheRefreshKeepsToItsBudgetAndEveryWindowHearsTheSizeLast) {
  const BusyCase& c = GetParam();
  Fake::Machine& m = Windows();
  m.ClockMs = T0;
  m.TicksAtStart = c.ticksAtStart;
  m.TopWindows = c.windows;
  m.ShellWindowCall = c.shellWindowCall;
  Fake::SetValue(m.UserRoot, IconSizeKey, IconSizeValue, REG_SZ, std::string("24\0", 3));
  if (c.replay) {
    // What a run cut off while the size was "16" leaves.
    Fake::SetValue(m.UserRoot, "Software\\Pivane", IconSizeValue, REG_BINARY,
                   std::string("\1\1\0\0\0"
                               "24\0",
                               8));
    Fake::SetValue(m.UserRoot, IconSizeKey, IconSizeValue, REG_SZ, std::string("16\0", 3));
    ReplayRefreshRecord();
  }
  RefreshShellIcons();

  EXPECT_EQ(m.ClockMs - T0, c.elapsedMs);
  EXPECT_EQ(IconSize(), Sz("24"));
  // The shell first in each round, with its whole time-out.
  if (!c.windows.empty()) {
    EXPECT_EQ(m.Broadcasts.front().Window, Shell);
    EXPECT_EQ(m.Broadcasts.front().TimeoutMs, 3000u);
  }
  Fake::WindowsCatchUp();
  ASSERT_EQ(m.TopWindows.size(), c.reads.size());
  for (std::size_t i = 0; i < c.reads.size(); ++i) {
    std::vector<std::optional<RegistryValue>> expected;
    for (const std::string& size : c.reads[i]) expected.push_back(Sz(size));
    EXPECT_EQ(m.TopWindows[i].Read, expected) << "window " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, BusyWindowsTest,
    testing::Values(
        // Six windows of 2 s, while the tick count wraps: two get their
        // wait, the four others the notice with 1 ms each a round, and
        // hear it once free.
        BusyCase{"SixBusyWindowsWithinTheBudget",
                 {Busy(Shell, 0), Busy(2, 2000), Busy(3, 2000), Busy(4, 2000), Busy(5, 2000),
                  Busy(6, 2000), Busy(7, 2000)},
                 std::vector<std::vector<std::string>>(7, {"16", "24"}),
                 8008,
                 false,
                 0xFFFFFFFF - T0 - 3000},
        // Passed over by the "16", told of the size when it answers again.
        BusyCase{"HungBeforeTheFirstNotice",
                 {Busy(Shell, 0), Hung(2, T0 - 10000, T0 + 20000)},
                 {{"16", "24"}, {"24"}},
                 4000},
        // It takes 10 s over the "16"; a window hung since before makes the
        // second round reach it after 6 s without pumping.
        BusyCase{"GoesHungDuringTheFirstNotice",
                 {Busy(Shell, 0), Hung(2, T0 - 6000, T0 + 6000), Busy(3, 10000)},
                 {{"16", "24"}, {"24"}, {"16", "24"}},
                 8000},
        // The shell's thread, with a second window as Wine gives it, takes
        // its 3 s; the others share the second left. On NT 4.0.
        BusyCase{"ShellBusy",
                 {Busy(Shell, 2500), Fake::TopWindow{0x10011, Shell, "IME"}, Busy(3, 4000)},
                 {{"16", "24"}, {"16", "24"}, {"16", "24"}},
                 8000,
                 false,
                 0,
                 false},
        BusyCase{"NoWindowAtAll", {}, {}, 0},
        // A window hung throughout hears the replay's size and the last.
        BusyCase{"Replay",
                 {Busy(Shell, 0), Busy(2, 2000), Busy(3, 2000), Busy(4, 2000),
                  Hung(5, T0 - 10000, T0 + 60000)},
                 {{"24", "16", "24"},
                  {"24", "16", "24"},
                  {"24", "16", "24"},
                  {"24", "16", "24"},
                  {"24", "24"}},
                 12005,
                 true}),
    [](const testing::TestParamInfo<BusyCase>& info) { return info.param.name; });

}  // namespace
