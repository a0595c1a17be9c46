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

  ASSERT_EQ(Windows().Broadcasts.size(), 2u);
  for (const Fake::Broadcast& b : Windows().Broadcasts) {
    EXPECT_EQ(b.Window, 0xFFFFu);
    EXPECT_EQ(b.Message, 0x001Au);
    EXPECT_EQ(b.Flags, SMTO_ABORTIFHUNG);
    EXPECT_GE(b.TimeoutMs, 1000u);
    EXPECT_LE(b.TimeoutMs, 5000u);
  }
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

}  // namespace
