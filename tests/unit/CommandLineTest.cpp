#include <vector>

#include "tests/unit/TestSupport.h"

namespace {

struct SwitchCase {
  const char* commandLine;
  bool silent;
  bool doubleByte = false;
  bool installOnly = false;
  bool uninstallOnly = false;
  bool turkish = false;
  bool copy = false;
};

class SwitchTest : public PivaneTest, public testing::WithParamInterface<SwitchCase> {};

TEST_P(SwitchTest, SetsSilentModeExactlyForTheSwitch) {
  Windows().CommandLine = GetParam().commandLine;
  Windows().DoubleByteCodePage = GetParam().doubleByte;
  Windows().TurkishCasing = GetParam().turkish;
  ParseSwitches();
  EXPECT_EQ(SilentMode, GetParam().silent) << "command line: " << GetParam().commandLine;
  EXPECT_EQ(InstallOnly, GetParam().installOnly) << "command line: " << GetParam().commandLine;
  EXPECT_EQ(UninstallOnly, GetParam().uninstallOnly) << "command line: " << GetParam().commandLine;
  EXPECT_EQ(ElevatedCopy, GetParam().copy) << "command line: " << GetParam().commandLine;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, SwitchTest,
    testing::Values(SwitchCase{"pivane.exe", false}, SwitchCase{"pivane.exe /S", true},
                    SwitchCase{"pivane.exe /s", true}, SwitchCase{"pivane.exe \"/S\"", true},
                    SwitchCase{"pivane.exe /\"\"S", true}, SwitchCase{"pivane.exe \"/\"s", true},
                    SwitchCase{"pivane.exe /SILENT", false}, SwitchCase{"pivane.exe -S", false},
                    SwitchCase{"pivane.exe S", false}, SwitchCase{"pivane.exe /S2", false},
                    SwitchCase{"pivane.exe / S", false}, SwitchCase{"pivane.exe \"/S \"", false},
                    SwitchCase{"pivane.exe x /S y /S", true},
                    SwitchCase{"pivane.exe \"\" /S", true}, SwitchCase{"pivane.exe\t/S", true},
                    SwitchCase{"pivane.exe\x01/S\x1f", true},
                    SwitchCase{"\"C:\\Program Files\\pivane.exe\" /S", true},
                    // The program's own name is never a switch.
                    SwitchCase{"/S", false}, SwitchCase{"\"/S\" x", false},
                    // Bytes from 0x80 up are letters, not separators.
                    SwitchCase{"pivane.exe \xA0/S", false}, SwitchCase{"pivane.exe /S\xA0", false},
                    // A quote left open runs to the end of the text.
                    SwitchCase{"pivane.exe /S\"", true}, SwitchCase{"pivane.exe \" /S", false},
                    // Under a double-byte code page a trail byte is neither a
                    // quote nor a separator; under 1252 the same bytes are.
                    SwitchCase{"pivane.exe \x81\" /S", true, true},
                    SwitchCase{"pivane.exe \x81\" /S", false, false},
                    SwitchCase{"pivane.exe \x81 /S", false, true},
                    SwitchCase{"pivane.exe \x81 /S", true, false},
                    // /I and /U are read as /S is, and with it in any order.
                    SwitchCase{"pivane.exe /i", false, false, true},
                    SwitchCase{"pivane.exe \"/U\" /s", true, false, false, true},
                    SwitchCase{"pivane.exe /S /I /u", true, false, true, true},
                    SwitchCase{"pivane.exe /IU /SI /I2 -U", false},
                    // Whatever the locale makes of i.
                    SwitchCase{"pivane.exe /s /i /u", true, false, true, true, true},
                    // The copy's word, as the run hands it on, and in any case.
                    SwitchCase{"pivane.exe /S /I /COPIE", true, false, true, false, false, true},
                    SwitchCase{"pivane.exe /s /u /copie", true, false, false, true, true, true},
                    SwitchCase{"pivane.exe /COPIES /COPI /-COPIE COPIE OI OCOPIE", false}));

struct SplitCase {
  const char* commandLine;
  std::vector<std::string> arguments;
};

class SplitTest : public PivaneTest, public testing::WithParamInterface<SplitCase> {};

TEST_P(SplitTest, FindsTheArguments) {
  EXPECT_EQ(SplitCommandLine(GetParam().commandLine), GetParam().arguments)
      << "command line: " << GetParam().commandLine;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, SplitTest,
    testing::Values(SplitCase{"", {}}, SplitCase{"  \t ", {}}, SplitCase{"a", {"a"}},
                    SplitCase{"  a   b  ", {"a", "b"}},
                    SplitCase{"\"C:\\My Dir\\p.exe\" x", {"C:\\My Dir\\p.exe", "x"}},
                    SplitCase{"a\"b c\"d e", {"ab cd", "e"}}, SplitCase{"a \"\" b", {"a", "b"}},
                    SplitCase{"a \"\"\"\" b", {"a", "b"}}, SplitCase{"a\\\" b\"", {"a\\ b"}},
                    // A lone quote at the end makes an empty argument, which
                    // is not counted and ends the list.
                    SplitCase{"a \"", {"a"}}, SplitCase{"a \"\"\"", {"a"}},
                    SplitCase{"a \"\" \"\"", {"a"}}));

// The longest line Windows passes on: 16,000 one-letter arguments before
// the switch. Memory grows with the line, not with its square (that took
// over 250 MB here once).
TEST_F(SplitTest, LongestLineTakesMemoryInProportion) {
  std::string line = "pivane.exe";
  for (int i = 0; i < 16000; ++i) line += " a";
  line += " /S";
  const int blocksBefore = Windows().HeapBlocks;
  {
    const TextList arguments = SplitCommandLine(line.c_str());
    ASSERT_TRUE(arguments.Ok());
    EXPECT_EQ(arguments.Size(), 16002u);
    EXPECT_EQ(arguments[16001], "/S");
  }
  EXPECT_LT(Windows().PeakHeapBytes, 64 * line.size());
  // Every array it outgrew went back as it grew.
  EXPECT_EQ(Windows().HeapBlocks, blocksBefore);
}

}  // namespace
