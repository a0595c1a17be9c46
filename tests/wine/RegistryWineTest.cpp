// The registry helpers against Wine's real registry, in a scratch key that
// each test makes and removes. Raw Win32 calls arrange and inspect the
// stored bytes, so the helpers' own view is never the only evidence.
#include <windows.h>
// <windows.h> comes first: the other SDK headers build on it.
#include <aclapi.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/WindowsTypes.h"
#include "registry/RegCtrl.h"
#include "tests/TextSupport.h"

namespace {

// Root keys in the seam's own values; the names are <windows.h>'s macros here.
const auto User = static_cast<WindowsOps::KeyHandle>(0x80000001u);
const auto Machine = static_cast<WindowsOps::KeyHandle>(0x80000002u);

class RegistryWine : public testing::Test {
 protected:
  void SetUp() override {
    Path = "Software\\PivaneTest\\" + std::to_string(::GetCurrentProcessId()) + "\\" +
           testing::UnitTest::GetInstance()->current_test_info()->name();
  }
  void TearDown() override {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\PivaneTest");
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\PivaneTest");
  }

  // Stores raw bytes of any type, as another program might have.
  void Store(const char* name, DWORD type, const std::string& data) {
    HKEY key;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, Path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                               static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
  }

  // The type and bytes stored, or type 0xdeadbeef when there is no value.
  std::pair<DWORD, std::string> Stored(HKEY root, const char* name) {
    std::string data(1024, '\x55');
    DWORD type = 0xdeadbeef;
    DWORD size = static_cast<DWORD>(data.size());
    if (::RegGetValueA(root, Path.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, data.data(),
                       &size) != ERROR_SUCCESS) {
      return {0xdeadbeef, ""};
    }
    return {type, data.substr(0, size)};
  }

  std::string Path;
};

TEST_F(RegistryWine, WriteCreatesTheKeysAndStoresOneNul) {
  ASSERT_TRUE(RegCtrl::PutRegString(User, Path, "4", "C:\\windows\\system32\\pivane.dll,0"));
  EXPECT_EQ(
      Stored(HKEY_CURRENT_USER, "4"),
      std::make_pair(DWORD{REG_SZ}, std::string("C:\\windows\\system32\\pivane.dll,0") + '\0'));
  ASSERT_TRUE(RegCtrl::PutRegString(User, "\\" + Path, "empty", ""));
  EXPECT_EQ(Stored(HKEY_CURRENT_USER, "empty"),
            std::make_pair(DWORD{REG_SZ}, std::string(1, '\0')));
}

TEST_F(RegistryWine, WriteReplacesAnyOldType) {
  Store("v", REG_DWORD, std::string("\x18\0\0\0", 4));
  ASSERT_TRUE(RegCtrl::PutRegString(User, Path, "v", "16"));
  EXPECT_EQ(Stored(HKEY_CURRENT_USER, "v"), std::make_pair(DWORD{REG_SZ}, std::string("16\0", 3)));
}

TEST_F(RegistryWine, WriteReachesTheMachineWideRoot) {
  ASSERT_TRUE(RegCtrl::PutRegString(Machine, Path, "4", "x"));
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, "4"), std::make_pair(DWORD{REG_SZ}, std::string("x\0", 2)));
}

TEST_F(RegistryWine, ReadsAsTheTableSays) {
  struct Case {
    const char* name;
    DWORD type;
    std::string data;
    bool answer;
    std::string text;
  };
  const Case cases[] = {
      {"string", REG_SZ, std::string("abc\0", 4), true, "abc"},
      {"expandable", REG_EXPAND_SZ, std::string("%SystemRoot%\\x\0", 15), true, "%SystemRoot%\\x"},
      {"unterminated", REG_SZ, "abc", true, "abc"},
      {"innernul", REG_SZ, std::string("ab\0cd\0", 6), true, "ab"},
      {"dword", REG_DWORD, std::string("\x10\0\0\0", 4), false, "before"},
      {"binary", REG_BINARY, "xyz", false, "before"},
      {"emptystring", REG_SZ, "", true, ""},
      {"emptybinary", REG_BINARY, "", true, ""},
      {"emptynone", REG_NONE, "", true, ""},
  };
  for (const Case& c : cases) Store(c.name, c.type, c.data);
  for (const Case& c : cases) {
    Text value = "before";
    EXPECT_EQ(RegCtrl::GetRegString(User, Path, c.name, value), c.answer) << c.name;
    EXPECT_EQ(value, c.text) << c.name;
  }
  Text value = "before";
  EXPECT_FALSE(RegCtrl::GetRegString(User, Path, "missing", value));
  EXPECT_FALSE(RegCtrl::GetRegString(User, Path + "\\none", "x", value));
  EXPECT_EQ(value, "before");
  // A read never creates the key it looks for.
  HKEY key;
  EXPECT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, (Path + "\\none").c_str(), 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
}

// Everyone may read the key but nobody may write it: a read asks only to
// query, so it succeeds, and the write fails with nothing changed.
TEST_F(RegistryWine, ReadOnlyKeyIsReadButNotWritten) {
  Store("v", REG_SZ, std::string("24\0", 3));
  HKEY key;
  ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, Path.c_str(), 0, KEY_ALL_ACCESS, &key),
            ERROR_SUCCESS);
  EXPLICIT_ACCESS_A readOnly{};
  readOnly.grfAccessPermissions = KEY_READ;
  readOnly.grfAccessMode = SET_ACCESS;
  readOnly.grfInheritance = NO_INHERITANCE;
  readOnly.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
  readOnly.Trustee.ptstrName = const_cast<char*>("EVERYONE");
  PACL acl = nullptr;
  ASSERT_EQ(::SetEntriesInAclA(1, &readOnly, nullptr, &acl), ERROR_SUCCESS);
  SECURITY_DESCRIPTOR descriptor;
  ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  ::SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
  ::SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
  ASSERT_EQ(::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor), ERROR_SUCCESS);
  ::RegCloseKey(key);
  ::LocalFree(acl);

  Text value = "before";
  EXPECT_TRUE(RegCtrl::GetRegString(User, Path, "v", value));
  EXPECT_EQ(value, "24");
  EXPECT_FALSE(RegCtrl::PutRegString(User, Path, "v", "16"));
  EXPECT_EQ(Stored(HKEY_CURRENT_USER, "v"), std::make_pair(DWORD{REG_SZ}, std::string("24\0", 3)));
}

// What is read is put back to the byte, type included, after "16" was
// written over it; a value that was not there is taken away again.
TEST_F(RegistryWine, StoredValueIsPutBackExactly) {
  struct Case {
    const char* name;
    DWORD type;  // 0xdeadbeef: no value
    std::string data;
  };
  const Case cases[] = {
      {"absent", 0xdeadbeef, ""},
      {"string", REG_SZ, std::string("48\0", 3)},
      {"dword", REG_DWORD, std::string("\x20\0\0\0", 4)},
      {"expandable", REG_EXPAND_SZ, std::string("%X%\0", 4)},
      {"emptybinary", REG_BINARY, ""},
  };
  for (const Case& c : cases) {
    Store("other", REG_SZ, "keeps the key");
    if (c.type != 0xdeadbeef) Store(c.name, c.type, c.data);
    RegCtrl::StoredValue saved;
    ASSERT_TRUE(RegCtrl::GetRegValue(User, Path, c.name, saved)) << c.name;
    ASSERT_TRUE(RegCtrl::PutRegString(User, Path, c.name, "16")) << c.name;
    ASSERT_TRUE(RegCtrl::PutRegValue(User, Path, c.name, saved)) << c.name;
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, c.name), std::make_pair(c.type, c.data)) << c.name;
  }
  // A key that is not there is not read as holding no value: putting that
  // back would leave a key behind.
  RegCtrl::StoredValue saved;
  EXPECT_FALSE(RegCtrl::GetRegValue(User, Path + "\\none", "v", saved));
}

}  // namespace

namespace {

// The record's key goes only where nothing is left in it: Windows itself
// deletes a key with its values, and on 9x with its subkeys too.
TEST_F(RegistryWine, KeyIsDeletedOnlyWhereEmpty) {
  const auto make = [](const std::string& path) {
    HKEY key;
    ASSERT_EQ(::RegCreateKeyA(HKEY_CURRENT_USER, path.c_str(), &key), ERROR_SUCCESS);
    ::RegCloseKey(key);
  };
  const std::pair<const char*, std::function<void()>> cases[] = {
      {"value", [&] { Store("v", REG_SZ, "x"); }},
      {"subkey", [&] { make(Path + "\\sub"); }},
  };
  HKEY key;
  for (const auto& [name, arrange] : cases) {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, Path.c_str());
    arrange();
    EXPECT_FALSE(RegCtrl::DeleteEmptyRegKey(User, Path)) << name;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, Path.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS)
        << name;
    ::RegCloseKey(key);
  }
  ::RegDeleteTreeA(HKEY_CURRENT_USER, Path.c_str());
  make(Path);
  EXPECT_TRUE(RegCtrl::DeleteEmptyRegKey(User, Path));
  EXPECT_TRUE(RegCtrl::DeleteEmptyRegKey(User, Path));  // gone already
  EXPECT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, Path.c_str(), 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
}

}  // namespace
