#include "tests/unit/TestSupport.h"

namespace {

using namespace WindowsOps;

struct DetectCase {
  const char* name;
  std::optional<Fake::RegistryValue> stored;  // value "4", if any
  bool installed;
};

class DetectTest : public PivaneTest, public testing::WithParamInterface<DetectCase> {};

TEST_P(DetectTest, ComparesTheValueWithTheInstalledForm) {
  SystemDir = Text(TestSystemDir);
  Fake::CreateKey(Windows().MachineRoot, IconKey);
  if (GetParam().stored) {
    Fake::SetValue(Windows().MachineRoot, IconKey, "4", GetParam().stored->Type,
                   GetParam().stored->Data);
  }
  EXPECT_EQ(DetectOptionState(), GetParam().installed);
  // The globals keep their case; only copies are upper-cased.
  EXPECT_EQ(InstalledReference, InstalledForm);
  ExpectAllReleased();
}

Fake::RegistryValue String(const std::string& text) { return {REG_SZ, text + '\0'}; }

INSTANTIATE_TEST_SUITE_P(
    Values, DetectTest,
    testing::Values(
        DetectCase{"Absent", std::nullopt, false}, DetectCase{"Exact", String(InstalledForm), true},
        DetectCase{"OtherCase", String("c:\\windows\\SYSTEM32\\PIVANE.DLL,0"), true},
        DetectCase{"ShortName", String("C:\\WINDOWS\\SYSTEM~1\\pivane.dll,0"), false},
        DetectCase{"ForwardSlashes", String("C:/WINDOWS/system32/pivane.dll,0"), false},
        DetectCase{"TrailingSpace", String(InstalledForm + " "), false},
        DetectCase{"Quoted", String("\"" + LibraryPath + "\",0"), false},
        DetectCase{"OtherIndex", String(LibraryPath + ",1"), false},
        DetectCase{"Fallback", String(FallbackForm), false}, DetectCase{"Empty", String(""), false},
        DetectCase{"Number", Fake::RegistryValue{REG_DWORD, std::string("\x04\0\0\0", 4)}, false},
        DetectCase{"BinaryHoldingTheText", Fake::RegistryValue{REG_BINARY, InstalledForm + '\0'},
                   false},
        DetectCase{"ExpandableEqual", Fake::RegistryValue{REG_EXPAND_SZ, InstalledForm + '\0'},
                   true},
        DetectCase{"ExpandableUnexpanded",
                   Fake::RegistryValue{REG_EXPAND_SZ, "%SystemRoot%\\system32\\pivane.dll,0\0"},
                   false}),
    [](const testing::TestParamInfo<DetectCase>& info) { return info.param.name; });

class OptionStateTest : public PivaneTest {};

// Reading the state needs only the right to read the key.
TEST_F(OptionStateTest, ReadOnlyAccessReadsTheState) {
  SystemDir = Text(TestSystemDir);
  Fake::SetValue(Windows().MachineRoot, IconKey, "4", REG_SZ, InstalledForm + '\0');
  Fake::FindKey(Windows().MachineRoot, IconKey)->Rights = Fake::ReadRights;
  EXPECT_TRUE(DetectOptionState());
  EXPECT_EQ(CurrentReference, InstalledForm);
}

// Case follows Windows-1252 upper-casing, accented letters included.
TEST_F(OptionStateTest, AccentedDirectoryMatchesInAnyCase) {
  SystemDir = "C:\\Syst\xE8me";
  Fake::SetValue(Windows().MachineRoot, IconKey, "4", REG_SZ, "c:\\SYST\xC8ME\\pivane.dll,0");
  EXPECT_TRUE(DetectOptionState());
  EXPECT_EQ(InstalledReference, "C:\\Syst\xE8me\\pivane.dll,0");
}

}  // namespace
