#include "deploy/ShellRefresh.h"

#include "tests/unit/TestSupport.h"

namespace {

using namespace WindowsOps;
using Fake::RegistryValue;

struct RefreshCase {
  const char* name;
  std::optional<RegistryValue> before;
  std::optional<RegistryValue> after;
  bool keyReadOnly = false;
};

class RefreshTest : public PivaneTest, public testing::WithParamInterface<RefreshCase> {};

TEST_P(RefreshTest, SetsSixteenBroadcastsRestoresAndBroadcastsAgain) {
  const RefreshCase& c = GetParam();
  Fake::CreateKey(Windows().UserRoot, IconSizeKey);
  if (c.before)
    Fake::SetValue(Windows().UserRoot, IconSizeKey, IconSizeValue, c.before->Type, c.before->Data);
  Fake::FindKey(Windows().UserRoot, IconSizeKey)->FullAccessDenied = c.keyReadOnly;

  RefreshShellIcons();

  ASSERT_EQ(Windows().Broadcasts.size(), 2u);
  for (const Fake::Broadcast& b : Windows().Broadcasts) {
    EXPECT_EQ(b.Window, 0xFFFFu);
    EXPECT_EQ(b.Message, 0x001Au);
    EXPECT_EQ(b.Flags, SMTO_ABORTIFHUNG);
    EXPECT_GE(b.TimeoutMs, 1000u);
    EXPECT_LE(b.TimeoutMs, 5000u);
  }
  // What the windows saw at each broadcast, and what stays.
  EXPECT_EQ(Windows().Broadcasts[0].IconSize, c.keyReadOnly ? c.before : Sz("16"));
  EXPECT_EQ(Windows().Broadcasts[1].IconSize, c.after);
  EXPECT_EQ(IconSize(), c.after);
  ExpectAllReleased();
}

INSTANTIATE_TEST_SUITE_P(
    Values, RefreshTest,
    testing::Values(RefreshCase{"Absent", std::nullopt,
                                RegistryValue{REG_SZ, std::string("32\0", 3)}},
                    RefreshCase{"Other", RegistryValue{REG_SZ, std::string("24\0", 3)},
                                RegistryValue{REG_SZ, std::string("24\0", 3)}},
                    RefreshCase{"AlreadySixteen", RegistryValue{REG_SZ, std::string("16\0", 3)},
                                RegistryValue{REG_SZ, std::string("16\0", 3)}},
                    RefreshCase{"NonString", RegistryValue{REG_DWORD, std::string("\x20\0\0\0", 4)},
                                RegistryValue{REG_SZ, std::string("32\0", 3)}},
                    RefreshCase{"EmptyString", RegistryValue{REG_SZ, ""},
                                RegistryValue{REG_SZ, std::string(1, '\0')}},
                    RefreshCase{"EmptyBinary", RegistryValue{REG_BINARY, ""},
                                RegistryValue{REG_SZ, std::string(1, '\0')}},
                    RefreshCase{"Expandable", RegistryValue{REG_EXPAND_SZ, std::string("%X%\0", 4)},
                                RegistryValue{REG_SZ, std::string("%X%\0", 4)}},
                    RefreshCase{"NotWritable", RegistryValue{REG_SZ, std::string("24\0", 3)},
                                RegistryValue{REG_SZ, std::string("24\0", 3)}, true}),
    [](const testing::TestParamInfo<RefreshCase>& info) { return info.param.name; });

}  // namespace
