#include "registry/RegCtrl.h"

#include <functional>

#include "tests/unit/TestSupport.h"

namespace {

using namespace WindowsOps;
using Fake::RegistryValue;

const std::string Key = "Software\\Pivane Test\\Deep";

// Arranges the registry and its failures before one read.
struct ReadCase {
  const char* name;
  std::function<void()> arrange;
  bool answer;
  std::string text;  // what value holds afterwards
};

class GetRegStringTest : public PivaneTest, public testing::WithParamInterface<ReadCase> {};

TEST_P(GetRegStringTest, AnswersAsTheTableSays) {
  GetParam().arrange();
  Text value = "before";
  EXPECT_EQ(RegCtrl::GetRegString(HKEY_CURRENT_USER, Key, "v", value), GetParam().answer);
  EXPECT_EQ(value, GetParam().text);
  ExpectAllReleased();
}

void Store(Dword type, const std::string& data) {
  Fake::SetValue(Fake::Windows().UserRoot, Key, "v", type, data);
}

// Stores "x", which becomes text (or goes away) right after the given query.
void ChangeAtQuery(int query, std::optional<std::string> text) {
  Store(REG_SZ, std::string("x\0", 2));
  Fake::Windows().Meanwhile = [query, text](const std::string&) {
    if (Fake::Windows().CallCounts["RegQueryValueExA"] != query) return;
    auto& values = Fake::FindKey(Fake::Windows().UserRoot, Key)->Values;
    if (text) {
      values["v"] = RegistryValue{REG_SZ, *text + '\0'};
    } else {
      values.erase("v");
    }
  };
}

INSTANTIATE_TEST_SUITE_P(
    Table, GetRegStringTest,
    testing::Values(
        ReadCase{"KeyMissing", [] {}, false, "before"},
        ReadCase{"ValueMissing", [] { Fake::CreateKey(Fake::Windows().UserRoot, Key); }, false,
                 "before"},
        // A read asks only to query: a user who may not write still reads.
        ReadCase{"ReadOnlyKey",
                 [] {
                   Store(REG_SZ, std::string("x\0", 2));
                   Fake::FindKey(Fake::Windows().UserRoot, Key)->Rights = Fake::ReadRights;
                 },
                 true, "x"},
        ReadCase{"AccessRefused",
                 [] {
                   Store(REG_SZ, std::string("x\0", 2));
                   Fake::FindKey(Fake::Windows().UserRoot, Key)->Rights = 0;
                 },
                 false, "before"},
        ReadCase{"String", [] { Store(REG_SZ, std::string("text\0", 5)); }, true, "text"},
        ReadCase{"ExpandableReturnedUnexpanded",
                 [] { Store(REG_EXPAND_SZ, std::string("%SystemRoot%\\x\0", 15)); }, true,
                 "%SystemRoot%\\x"},
        ReadCase{"NoTerminator", [] { Store(REG_SZ, "abc"); }, true, "abc"},
        ReadCase{"StopsAtFirstNul", [] { Store(REG_SZ, std::string("ab\0cd\0", 6)); }, true, "ab"},
        ReadCase{"DwordWithData", [] { Store(REG_DWORD, std::string("\x10\0\0\0", 4)); }, false,
                 "before"},
        ReadCase{"BinaryWithData", [] { Store(REG_BINARY, "xy"); }, false, "before"},
        ReadCase{"EmptyString", [] { Store(REG_SZ, ""); }, true, ""},
        ReadCase{"EmptyDword", [] { Store(REG_DWORD, ""); }, true, ""},
        ReadCase{"EmptyNone", [] { Store(REG_NONE, ""); }, true, ""},
        ReadCase{"ExistenceQueryFails",
                 [] {
                   Store(REG_SZ, std::string("x\0", 2));
                   Fake::FailCall("RegQueryValueExA", 1);
                 },
                 false, "before"},
        // A failed query at any point is a failed read, never an empty text.
        ReadCase{"DataQueryFails",
                 [] {
                   Store(REG_SZ, std::string("x\0", 2));
                   Fake::FailCall("RegQueryValueExA", 2);
                 },
                 false, "before"},
        // Another program changes the value between our queries: one that
        // grew is read again, a bounded number of times.
        ReadCase{"GrowsOnce", [] { ChangeAtQuery(1, "longer text"); }, true, "longer text"},
        ReadCase{"GrowsOnceThenSizeQueryFails",
                 [] {
                   ChangeAtQuery(1, "longer text");
                   Fake::FailCall("RegQueryValueExA", 3);
                 },
                 false, "before"},
        ReadCase{"GoesAwayBetween", [] { ChangeAtQuery(1, std::nullopt); }, false, "before"},
        ReadCase{"KeepsGrowing",
                 [] {
                   Store(REG_SZ, std::string("x\0", 2));
                   Fake::Windows().Meanwhile = [](const std::string&) {
                     auto& value = Fake::FindKey(Fake::Windows().UserRoot, Key)->Values["v"];
                     value.Data.insert(0, "x");
                   };
                 },
                 false, "before"},
        ReadCase{"OpenFails",
                 [] {
                   Store(REG_SZ, std::string("x\0", 2));
                   Fake::FailCall("RegOpenKeyExA", 1);
                 },
                 false, "before"}),
    [](const testing::TestParamInfo<ReadCase>& info) { return info.param.name; });

class RegCtrlTest : public PivaneTest {};

TEST_F(RegCtrlTest, ReadsNeverCreate) {
  Text value;
  EXPECT_FALSE(RegCtrl::GetRegString(HKEY_LOCAL_MACHINE, Key, "v", value));
  EXPECT_EQ(Fake::FindKey(Windows().MachineRoot, "Software"), nullptr);
  EXPECT_EQ(Fake::CallCount("RegCreateKeyExA"), 0);
}

TEST_F(RegCtrlTest, WriteCreatesEveryMissingKeyAndStoresOneNul) {
  EXPECT_TRUE(RegCtrl::PutRegString(HKEY_LOCAL_MACHINE, Key, "v", "C:\\x,0"));
  EXPECT_EQ(Fake::GetValue(Windows().MachineRoot, Key, "v"), Sz("C:\\x,0"));
  // Kept through a restart: the record is for the power cut.
  for (const char* made : {"Software\\Pivane Test", "Software\\Pivane Test\\Deep"}) {
    EXPECT_FALSE(Fake::FindKey(Windows().MachineRoot, made)->Volatile) << made;
  }
  EXPECT_TRUE(RegCtrl::PutRegString(HKEY_LOCAL_MACHINE, Key, "empty", ""));
  EXPECT_EQ(Fake::GetValue(Windows().MachineRoot, Key, "empty"),
            (RegistryValue{REG_SZ, std::string(1, '\0')}));
  ExpectAllReleased();
}

TEST_F(RegCtrlTest, LeadingBackslashIsDropped) {
  EXPECT_TRUE(RegCtrl::PutRegString(HKEY_CURRENT_USER, "\\" + Key, "v", "x"));
  Text value;
  EXPECT_TRUE(RegCtrl::GetRegString(HKEY_CURRENT_USER, "\\" + Key, "v", value));
  EXPECT_EQ(value, "x");
  EXPECT_EQ(Fake::GetValue(Windows().UserRoot, Key, "v"), Sz("x"));
}

TEST_F(RegCtrlTest, WriteReplacesAValueOfAnyType) {
  Store(REG_DWORD, std::string("\x01\0\0\0", 4));
  EXPECT_TRUE(RegCtrl::PutRegString(HKEY_CURRENT_USER, Key, "v", "16"));
  EXPECT_EQ(Fake::GetValue(Windows().UserRoot, Key, "v"), Sz("16"));
}

TEST_F(RegCtrlTest, WriteFailuresAnswerFalseAndCloseTheKey) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
  };
  const Case cases[] = {
      {"AccessRefused",
       [] { Fake::CreateKey(Fake::Windows().UserRoot, Key).Rights = Fake::ReadRights; }},
      {"ParentRefusesNewKeys",
       [] { Fake::CreateKey(Fake::Windows().UserRoot, "Software").Rights = Fake::ReadRights; }},
      {"CreateFails", [] { Fake::FailCall("RegCreateKeyExA", 1); }},
      {"SetFails", [] { Fake::FailCall("RegSetValueExA", 1); }},
  };
  for (const Case& c : cases) {
    SetUp();
    c.arrange();
    EXPECT_FALSE(RegCtrl::PutRegString(HKEY_CURRENT_USER, Key, "v", "x")) << c.name;
    EXPECT_EQ(Fake::GetValue(Windows().UserRoot, Key, "v"), std::nullopt) << c.name;
    ExpectAllReleased();
  }
}

}  // namespace

namespace {

// What the refresh puts back is the value exactly as read: a value that
// shrank between the size query and the read is taken at the bytes read.
// Writes ask only to set a value; a delete of what is gone is done; a text
// that memory was refused for is never written.
TEST_F(RegCtrlTest, ValuesGoBackExactlyWithTheRightsAWriteNeeds) {
  Store(REG_SZ, std::string("longer\0", 7));
  Windows().Meanwhile = [](const std::string&) {
    if (Fake::Windows().CallCounts["RegQueryValueExA"] == 1) Store(REG_SZ, std::string("y\0", 2));
  };
  RegCtrl::StoredValue read;
  ASSERT_TRUE(RegCtrl::GetRegValue(HKEY_CURRENT_USER, Key, "v", read));
  EXPECT_EQ(read.Data, std::string_view("y\0", 2));
  Windows().Meanwhile = nullptr;
  Fake::FindKey(Windows().UserRoot, Key)->Rights = KEY_SET_VALUE;
  EXPECT_TRUE(RegCtrl::PutRegString(HKEY_CURRENT_USER, Key, "v", "16"));
  EXPECT_TRUE(RegCtrl::PutRegValue(HKEY_CURRENT_USER, Key, "v", RegCtrl::StoredValue{}));
  EXPECT_TRUE(RegCtrl::PutRegValue(HKEY_CURRENT_USER, Key, "v", RegCtrl::StoredValue{}));
  EXPECT_FALSE(RegCtrl::PutRegValue(HKEY_CURRENT_USER, Key, "v",
                                    RegCtrl::StoredValue{true, REG_SZ, Text::Refused()}));
  EXPECT_EQ(Fake::GetValue(Windows().UserRoot, Key, "v"), std::nullopt);
  ExpectAllReleased();
}

}  // namespace
