// Deploying and removing the library against real files under Wine: real
// attributes, sharing and directories. Read-only files cannot be proven
// here, since Wine running as root opens them for writing all the same.
#include <windows.h>
// <windows.h> comes first: the other SDK headers build on it.
#include <shellapi.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "deploy/IconLibrary.h"
#include "deploy/IconLibraryImage.h"
#include "platform/WindowsFunctions.h"

namespace {

class FilesWine : public testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    Dir = std::string(temp) + "pivane-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
          testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_TRUE(::CreateDirectoryA(Dir.c_str(), nullptr)) << ::GetLastError();
    Library = Dir + "\\pivane.dll";
    OldLibrary = Dir + "\\pivact.dll";
  }
  void TearDown() override {
    for (const std::string& path : {Library, OldLibrary}) {
      ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      ::DeleteFileA(path.c_str());
      ::RemoveDirectoryA(path.c_str());
    }
    ::RemoveDirectoryA(Dir.c_str());
  }

  static void Put(const std::string& path, std::size_t size, DWORD attributes = 0) {
    std::ofstream(path, std::ios::binary) << std::string(size, 'z');
    if (attributes) {
      ASSERT_TRUE(::SetFileAttributesA(path.c_str(), attributes));
    }
  }
  static std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static DWORD Attributes(const std::string& path) { return ::GetFileAttributesA(path.c_str()); }

  std::string Dir, Library, OldLibrary;
};

constexpr DWORD Protected = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;

TEST_F(FilesWine, WritesTheImage) {
  ASSERT_TRUE(DeployIconLibrary(Text(Dir)));
  EXPECT_EQ(Contents(Library), std::string(IconLibraryImage.begin(), IconLibraryImage.end()));
}

// A file of the library's size is accepted as it is, a foreign one refused
// untouched; a library cut off in the writing (its first bytes, or none)
// is read, deleted and made anew.
TEST_F(FilesWine, AcceptsOnlyAFileOfTheLibrarySize) {
  const std::string image(IconLibraryImage.begin(), IconLibraryImage.end());
  const std::pair<std::string, bool> cases[] = {{std::string(5120, 'z'), false},
                                                {std::string(5119, 'z'), false},
                                                {std::string(5121, 'z'), false},
                                                {"", true},
                                                {image.substr(0, 1000), true}};
  for (const auto& [contents, remade] : cases) {
    std::ofstream(Library, std::ios::binary) << contents;
    EXPECT_EQ(DeployIconLibrary(Text(Dir)), remade || contents.size() == 5120) << contents.size();
    EXPECT_EQ(Contents(Library), remade ? image : contents) << contents.size();
  }
}

TEST_F(FilesWine, RefusesADirectoryOfTheLibraryName) {
  ASSERT_TRUE(::CreateDirectoryA(Library.c_str(), nullptr));
  EXPECT_FALSE(DeployIconLibrary(Text(Dir)));
  RemoveLibraryFile(RemovalTarget::CurrentLibrary, Text(Dir));
  EXPECT_TRUE(Attributes(Library) & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(FilesWine, RefusesAndKeepsALibraryHeldWithoutWriteSharing) {
  Put(Library, 5120, Protected);
  HANDLE holder = ::CreateFileA(Library.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE) << ::GetLastError();
  EXPECT_FALSE(DeployIconLibrary(Text(Dir)));
  RemoveLibraryFile(RemovalTarget::CurrentLibrary, Text(Dir));
  ::CloseHandle(holder);
  EXPECT_EQ(Contents(Library).size(), 5120u);
  EXPECT_EQ(Attributes(Library) & Protected, Protected);
}

TEST_F(FilesWine, RemovesProtectedLibrariesOfTheirOwnSize) {
  Put(Library, 5120, Protected);
  Put(OldLibrary, 7680, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
  RemoveLibraryFile(RemovalTarget::CurrentLibrary, Text(Dir));
  RemoveLibraryFile(RemovalTarget::OldLibrary, Text(Dir));
  EXPECT_EQ(Attributes(Library), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Attributes(OldLibrary), INVALID_FILE_ATTRIBUTES);
}

// A file of another size may not be ours: it stays, attributes and all.
TEST_F(FilesWine, LeavesOtherSizesWithTheirAttributes) {
  Put(Library, 5121, Protected);
  Put(OldLibrary, 5120, FILE_ATTRIBUTE_HIDDEN);
  RemoveLibraryFile(RemovalTarget::CurrentLibrary, Text(Dir));
  RemoveLibraryFile(RemovalTarget::OldLibrary, Text(Dir));
  EXPECT_EQ(Attributes(Library) & Protected, Protected);
  EXPECT_EQ(Attributes(OldLibrary) & Protected, DWORD{FILE_ATTRIBUTE_HIDDEN});
  EXPECT_EQ(Contents(Library).size(), 5121u);
}

// The shell's own icon extraction finds one icon with both sizes.
TEST_F(FilesWine, ShellExtractsBothSizesOfIconZero) {
  ASSERT_TRUE(DeployIconLibrary(Text(Dir)));
  EXPECT_EQ(::ExtractIconExA(Library.c_str(), -1, nullptr, nullptr, 0), 1u);
  HICON largeIcon = nullptr;
  HICON smallIcon = nullptr;
  ASSERT_GT(::ExtractIconExA(Library.c_str(), 0, &largeIcon, &smallIcon, 1), 0u);
  for (auto [icon, size] : {std::pair{largeIcon, 32L}, std::pair{smallIcon, 16L}}) {
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(icon, &info));
    BITMAP mask{};
    ::GetObjectA(info.hbmMask, sizeof mask, &mask);
    EXPECT_EQ(mask.bmWidth, size);
    ::DeleteObject(info.hbmMask);
    if (info.hbmColor) ::DeleteObject(info.hbmColor);
    ::DestroyIcon(icon);
  }
}

// What the program relies on to never empty a file: a create that meets
// any entry of that name fails, and says so for a file.
TEST_F(FilesWine, CreatingANewFileNeverOpensOneThatIsThere) {
  Put(Library, 5121);
  ASSERT_TRUE(::CreateDirectoryA(OldLibrary.c_str(), nullptr));
  for (const std::string& path : {Library, OldLibrary}) {
    ::SetLastError(0xdeadbeef);
    EXPECT_EQ(WindowsOps::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL),
              static_cast<WindowsOps::FileHandle>(~std::uintptr_t{0}))
        << path;
    if (path == Library) {
      EXPECT_EQ(WindowsOps::GetLastError(), DWORD{ERROR_FILE_EXISTS});
    }
  }
  EXPECT_EQ(Contents(Library), std::string(5121, 'z'));
}

}  // namespace
