#include "deploy/IconLibrary.h"

#include "deploy/IconLibraryImage.h"
#include "tests/unit/TestSupport.h"

namespace {

using namespace WindowsOps;

const std::string Image(IconLibraryImage.begin(), IconLibraryImage.end());

class DeployTest : public PivaneTest {
 protected:
  static Fake::File& Put(const std::string& path, std::size_t size,
                         Dword attributes = FILE_ATTRIBUTE_ARCHIVE) {
    Fake::File& file = Windows().Files[path];
    file.Contents = std::string(size, 'z');
    file.Attributes = attributes;
    return file;
  }
  static bool Exists(const std::string& path) { return Windows().Files.contains(path); }
};

TEST_F(DeployTest, WritesTheImageWhereNoLibraryIs) {
  EXPECT_TRUE(DeployIconLibrary(Text(TestSystemDir)));
  ASSERT_TRUE(Exists(LibraryPath));
  EXPECT_EQ(Windows().Files[LibraryPath].Contents, Image);
  EXPECT_EQ(Fake::CallCount("WriteFile"), 1);
  ExpectAllReleased();
}

// A file of the library's size is accepted as it is, any other is refused
// untouched, but for a library cut off in the writing (shorter, and the
// library's first bytes), which is made anew.
TEST_F(DeployTest, AcceptsOrRefusesAFileAlreadyThere) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    bool answer;
    bool remade = false;
  };
  const Case cases[] = {
      {"SameSizeOtherContents", [] { Put(LibraryPath, 5120); }, true},
      {"Smaller", [] { Put(LibraryPath, 5119); }, false},
      {"Larger", [] { Put(LibraryPath, 5121); }, false},
      {"Empty", [] { Put(LibraryPath, 0); }, true, true},
      {"CutOff", [] { Put(LibraryPath, 0).Contents = Image.substr(0, 5119); }, true, true},
      // Set so by someone, and never by our install: foreign.
      {"EmptySystem", [] { Put(LibraryPath, 0, FILE_ATTRIBUTE_SYSTEM); }, false},
      {"ReadOnly", [] { Put(LibraryPath, 5120, FILE_ATTRIBUTE_READONLY); }, false},
      {"HeldElsewhere", [] { Put(LibraryPath, 5120).HeldElsewhere = true; }, false},
      {"WrittenElsewhereSharing", [] { Put(LibraryPath, 5120).WrittenElsewhere = true; }, true},
      {"FourGiBAndALibrary", [] { Put(LibraryPath, 5120).SizeHigh = 1; }, false},
      {"Directory", [] { Put(LibraryPath, 0).Directory = true; }, false},
      {"SizeQueryFails", [] { Put(LibraryPath, 5120), Fake::FailCall("GetFileSize", 1); }, false},
      {"CloseFails", [] { Put(LibraryPath, 5120), Fake::FailCall("CloseHandle", 1); }, false},
  };
  for (const Case& c : cases) {
    SetUp();
    c.arrange();
    const Fake::File before = Windows().Files[LibraryPath];
    EXPECT_EQ(DeployIconLibrary(Text(TestSystemDir)), c.answer) << c.name;
    ASSERT_TRUE(Exists(LibraryPath)) << c.name;
    if (c.remade) {
      // Deleted and created anew: written over in place, the model would
      // hold the old bytes and the image after them.
      EXPECT_EQ(Windows().Files[LibraryPath].Contents, Image) << c.name;
      EXPECT_EQ(Fake::CallCount("DeleteFileA"), 1) << c.name;
    } else {
      // Whatever the answer, the file is left as it was.
      EXPECT_EQ(Windows().Files[LibraryPath].Contents, before.Contents) << c.name;
      EXPECT_EQ(Windows().Files[LibraryPath].Attributes, before.Attributes) << c.name;
      EXPECT_EQ(Fake::CallCount("WriteFile") + Fake::CallCount("DeleteFileA"), 0) << c.name;
    }
    ExpectAllReleased();
  }
}

// A library cut short would be refused as foreign by every later install,
// so a failed or short write takes its file away again.
TEST_F(DeployTest, FailedOrShortWriteLeavesNoFile) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
  };
  const Case cases[] = {
      {"WriteFails", [] { Fake::FailCall("WriteFile", 1); }},
      {"ShortWrite", [] { Fake::Windows().WriteLimit = 4096; }},
      {"NothingWritten", [] { Fake::Windows().WriteLimit = 0; }},
      {"FlushFails", [] { Fake::FailCall("FlushFileBuffers", 1); }},
      {"ShortWriteAndCloseFails",
       [] { Fake::Windows().WriteLimit = 100, Fake::FailCall("CloseHandle", 1); }},
  };
  for (const Case& c : cases) {
    SetUp();
    c.arrange();
    EXPECT_FALSE(DeployIconLibrary(Text(TestSystemDir))) << c.name;
    EXPECT_FALSE(Exists(LibraryPath)) << c.name;
    EXPECT_LT(Fake::CallIndex("CloseHandle"), Fake::CallIndex("DeleteFileA")) << c.name;
    ExpectAllReleased();
  }
}

// A file that the look did not see, or that another program made between
// the look and the create, is never emptied: it is judged by its size as a
// file found there, and kept as it is.
TEST_F(DeployTest, FileAppearingAfterTheLookIsJudgedNotReplaced) {
  struct Case {
    const char* name;
    std::size_t size;
    Dword attributes;
    bool lookFails;  // else it appears right after the look
    bool answer;
  };
  const Case cases[] = {
      {"OursAppears", 5120, FILE_ATTRIBUTE_ARCHIVE, false, true},
      {"ForeignAppears", 100, FILE_ATTRIBUTE_ARCHIVE, false, false},
      {"ReadOnlyAppears", 5120, FILE_ATTRIBUTE_READONLY, false, false},
      {"LookFailsToSeeIt", 5121, FILE_ATTRIBUTE_ARCHIVE, true, false},
  };
  for (const Case& c : cases) {
    SetUp();
    if (c.lookFails) {
      Put(LibraryPath, c.size, c.attributes);
      Fake::FailCall("FindFirstFileA", 1);
    } else {
      Windows().Meanwhile = [&c](const std::string& operation) {
        if (operation == "FindFirstFileA") Put(LibraryPath, c.size, c.attributes);
      };
    }
    EXPECT_EQ(DeployIconLibrary(Text(TestSystemDir)), c.answer) << c.name;
    ASSERT_TRUE(Exists(LibraryPath)) << c.name;
    EXPECT_EQ(Windows().Files[LibraryPath].Contents, std::string(c.size, 'z')) << c.name;
    EXPECT_EQ(Windows().Files[LibraryPath].Attributes, c.attributes) << c.name;
    EXPECT_EQ(Fake::CallCount("WriteFile") + Fake::CallCount("DeleteFileA"), 0) << c.name;
    ExpectAllReleased();
  }
}

// Our own delete of a library cut off can leave its name pending while an
// on-access scanner holds the file: the create is asked again for about
// half a second, not longer.
TEST_F(DeployTest, CreatesAgainWhileOurDeleteIsPending) {
  for (const auto& [scannedMs, answer] :
       {std::pair{300u, true}, std::pair{500u, true}, std::pair{2000u, false}}) {
    SetUp();
    Put(LibraryPath, 0).Contents = Image.substr(0, 1000);
    Windows().Files[LibraryPath].ScannedUntilMs = scannedMs;
    EXPECT_EQ(DeployIconLibrary(Text(TestSystemDir)), answer) << scannedMs;
    EXPECT_EQ(
        Windows().Files.contains(LibraryPath) && Windows().Files[LibraryPath].Contents == Image,
        answer)
        << scannedMs;
    EXPECT_LE(Windows().ClockMs, 600u) << scannedMs;
    ExpectAllReleased();
  }
}

TEST_F(DeployTest, FailedCreateOrCloseAnswersFalse) {
  Fake::FailCall("CreateFileA", 1);
  EXPECT_FALSE(DeployIconLibrary(Text(TestSystemDir)));
  EXPECT_FALSE(Exists(LibraryPath));

  SetUp();
  Fake::FailCall("CloseHandle", 1);  // every byte written, but the close failed
  EXPECT_FALSE(DeployIconLibrary(Text(TestSystemDir)));
  ExpectAllReleased();
}

struct RemoveCase {
  const char* name;
  RemovalTarget target;
  std::string path;
  std::size_t size;
  Dword attributes;
  std::function<void()> arrange;
  bool removed;
};

class RemoveTest : public DeployTest, public testing::WithParamInterface<RemoveCase> {};

TEST_P(RemoveTest, RemovesOnlyTheTargetOfItsSize) {
  const RemoveCase& c = GetParam();
  Put(c.path, c.size, c.attributes);
  c.arrange();
  RemoveLibraryFile(c.target, Text(TestSystemDir));
  EXPECT_EQ(Exists(c.path), !c.removed);
  if (!c.removed) {
    // A file that stays keeps its attributes and its contents.
    EXPECT_EQ(Windows().Files[c.path].Attributes, c.attributes);
    EXPECT_EQ(Windows().Files[c.path].Contents.size(), c.size);
  }
  // One of another size is not ours: nothing is done to it, not even for
  // a moment; only one shorter than the library is read, to tell a
  // library cut off in the writing.
  if (!c.removed && c.size != (c.target == RemovalTarget::CurrentLibrary ? 5120u : 7680u)) {
    EXPECT_EQ(Fake::CallCount("SetFileAttributesA") + Fake::CallCount("DeleteFileA") +
                  Fake::CallCount("WriteFile"),
              0);
    if (c.size >= 5120) {
      EXPECT_EQ(Fake::CallCount("CreateFileA"), 0);
    }
  }
  ExpectAllReleased();
}

constexpr Dword Archive = FILE_ATTRIBUTE_ARCHIVE;
constexpr Dword Protected = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
constexpr auto Current = RemovalTarget::CurrentLibrary;
constexpr auto Old = RemovalTarget::OldLibrary;

INSTANTIATE_TEST_SUITE_P(
    Cases, RemoveTest,
    testing::Values(
        RemoveCase{"Current", Current, LibraryPath, 5120, Archive, [] {}, true},
        RemoveCase{"CurrentProtected", Current, LibraryPath, 5120, Protected, [] {}, true},
        RemoveCase{"OldProtected", Old, OldLibraryPath, 7680,
                   FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, [] {}, true},
        RemoveCase{"CurrentSmaller", Current, LibraryPath, 5119, Protected, [] {}, false},
        RemoveCase{"CurrentEmpty", Current, LibraryPath, 0, Archive, [] {}, true},
        RemoveCase{"CurrentCutOff", Current, LibraryPath, 1000, Archive,
                   [] { Fake::Windows().Files[LibraryPath].Contents = Image.substr(0, 1000); },
                   true},
        RemoveCase{"CutOffUnreadable", Current, LibraryPath, 1000, Archive,
                   [] {
                     Fake::Windows().Files[LibraryPath].Contents = Image.substr(0, 1000);
                     Fake::FailCall("ReadFile", 1);
                   },
                   false},
        RemoveCase{"CutOffUnopenable", Current, LibraryPath, 1000, Archive,
                   [] {
                     Fake::Windows().Files[LibraryPath].Contents = Image.substr(0, 1000);
                     Fake::FailCall("CreateFileA", 1);
                   },
                   false},
        RemoveCase{"CutOffHidden", Current, LibraryPath, 1000, FILE_ATTRIBUTE_HIDDEN,
                   [] { Fake::Windows().Files[LibraryPath].Contents = Image.substr(0, 1000); },
                   false},
        RemoveCase{"EmptyReadOnly", Current, LibraryPath, 0, FILE_ATTRIBUTE_READONLY, [] {}, false},
        RemoveCase{"OldCutOff", Old, OldLibraryPath, 1000, Archive,
                   [] { Fake::Windows().Files[OldLibraryPath].Contents = Image.substr(0, 1000); },
                   false},
        RemoveCase{"CurrentLarger", Current, LibraryPath, 5121, Protected, [] {}, false},
        RemoveCase{"FourGiBAndALibrary", Current, LibraryPath, 5120, Archive,
                   [] { Fake::Windows().Files[LibraryPath].SizeHigh = 1; }, false},
        RemoveCase{"CurrentOfOldSize", Current, LibraryPath, 7680, Archive, [] {}, false},
        RemoveCase{"OldOfCurrentSize", Old, OldLibraryPath, 5120, Protected, [] {}, false},
        RemoveCase{"HeldElsewhere", Current, LibraryPath, 5120, Protected,
                   [] { Fake::Windows().Files[LibraryPath].HeldElsewhere = true; }, false},
        // The size comes from the directory entry: the file is never opened.
        RemoveCase{"SizeQueryFails", Current, LibraryPath, 5120, Protected,
                   [] { Fake::FailCall("GetFileSize", 1); }, true},
        RemoveCase{"CloseFails", Current, LibraryPath, 5120, Protected,
                   [] { Fake::FailCall("CloseHandle", 1); }, true},
        RemoveCase{"DeleteFails", Current, LibraryPath, 5120, Protected,
                   [] { Fake::FailCall("DeleteFileA", 1); }, false}),
    [](const testing::TestParamInfo<RemoveCase>& info) { return info.param.name; });

TEST_F(DeployTest, RemovingAbsentFilesTouchesNothing) {
  Put(TestSystemDir + "\\other.dll", 5120);
  Put(LibraryPath, 0).Directory = true;
  RemoveLibraryFile(RemovalTarget::CurrentLibrary, Text(TestSystemDir));
  RemoveLibraryFile(RemovalTarget::OldLibrary, Text(TestSystemDir));
  EXPECT_EQ(Fake::CallCount("SetFileAttributesA"), 0);
  EXPECT_EQ(Fake::CallCount("CreateFileA"), 0);
  EXPECT_EQ(Fake::CallCount("DeleteFileA"), 0);
  EXPECT_EQ(Windows().Files.size(), 2u);
}

}  // namespace
