#include "dialogue/Dialogue.h"

#include <functional>
#include <string>
#include <vector>

#include "dialogue/Messages.h"
#include "tests/unit/TestSupport.h"

namespace {

using namespace WindowsOps;

const std::string Banner =
    "Pivane v2.1.s Win95 (ic\xF4ne vivante pour vos dossiers)\r\n\r\n"
    "Fonction : Modification [ic\xF4ne active] pour Explorateur\r\n"
    "Note       : Option r\xE9versible en relan\xE7"
    "ant le programme\r\n\r\n";
const std::string InstallAsked =
    "L'option n'est pas install\xE9"
    "e. Voulez-vous l'installer ?";
const std::string UninstallAsked =
    "L'option est install\xE9"
    "e. Voulez-vous la d\xE9sinstaller ?";
const std::string Modified =
    "L'ic\xF4ne de l'explorateur a \xE9t\xE9 modifi\xE9"
    "e.";
const std::string Restored =
    "L'ic\xF4ne de l'explorateur a \xE9t\xE9 restaur\xE9"
    "e.";
const std::string CompletionHead =
    "L'installation de Pivane est termin\xE9"
    "e.\r\n\r\n";
const std::string CompletionTail =
    "\r\nVotre syst\xE8me remet \xE0 jour ses ic\xF4nes.\r\n\r\n\xC0 bient\xF4t avec Pivane.";

class DialogueTest : public PivaneTest {
 protected:
  void ExpectOneBox(const std::string& text, Dword style) {
    ASSERT_EQ(Windows().Boxes.size(), 1u);
    EXPECT_EQ(Windows().Boxes[0].Text, text);
    EXPECT_EQ(Windows().Boxes[0].Caption, "Pivane pour Windows 9x-XP");
    EXPECT_EQ(Windows().Boxes[0].Style, style);
    EXPECT_EQ(Windows().Boxes[0].Owner, 0u);
  }
};

TEST_F(DialogueTest, EachBoxHasItsExactBytesAndStyle) {
  struct Case {
    std::function<void()> show;
    std::string text;
    Dword style;
  };
  const Case cases[] = {
      {[] { AskUser(InstallQuestion.View()); }, Banner + InstallAsked, 0x24},
      {[] { AskUser(UninstallQuestion.View()); }, Banner + UninstallAsked, 0x24},
      {[] { ShowCompletion(InstalledOutcome.View()); }, CompletionHead + Modified + CompletionTail,
       0x40},
      // After an uninstall it still opens with the installation line.
      {[] { ShowCompletion(RestoredOutcome.View()); }, CompletionHead + Restored + CompletionTail,
       0x40},
      {[] { ShowOperationError(); }, "Une erreur s'est produite durant l'op\xE9ration !", 0x10},
      {[] { ShowConflict(); }, "L'installation n'est pas possible pour cause de conflits.", 0x10},
      {[] { ShowAlreadySo(AlreadyInstalled.View()); },
       "L'option est d\xE9j\xE0 install\xE9"
       "e. Rien n'a \xE9t\xE9 modifi\xE9.",
       0x40},
      {[] { ShowAlreadySo(AlreadyUninstalled.View()); },
       "L'option n'est pas install\xE9"
       "e. Rien n'a \xE9t\xE9 modifi\xE9.",
       0x40},
  };
  for (const Case& c : cases) {
    SetUp();
    c.show();
    ExpectOneBox(c.text, c.style);
  }
}

TEST_F(DialogueTest, ComposedTextsFitTheMessageBuffer) {
  AskUser(InstallQuestion.View());
  AskUser(UninstallQuestion.View());
  ShowCompletion(InstalledOutcome.View());
  ShowCompletion(RestoredOutcome.View());
  for (const Fake::Box& box : Windows().Boxes) EXPECT_LE(box.Text.size(), 255u);
}

// A text too long for the buffer is cut, never written past it.
TEST_F(DialogueTest, OverlongQuestionIsCutAtTheBuffer) {
  AskUser(std::string(400, 'q'));
  ASSERT_EQ(Windows().Boxes.size(), 1u);
  EXPECT_EQ(Windows().Boxes[0].Text, Banner + std::string(255 - Banner.size(), 'q'));
}

TEST_F(DialogueTest, AskUserIsTrueOnlyForYes) {
  const std::pair<int, bool> answers[] = {{IDYES, true}, {IDNO, false}, {2, false}, {-1, false}};
  for (auto [answer, expected] : answers) {
    SetUp();
    Windows().BoxAnswers = {answer};
    EXPECT_EQ(AskUser(InstallQuestion.View()), expected) << answer;
  }
  SetUp();
  Fake::FailCall("MessageBoxA", 1);  // the box could not be shown: 0
  EXPECT_FALSE(AskUser(InstallQuestion.View()));
}

TEST_F(DialogueTest, SilentModeShowsNothingAndAnswersYes) {
  SilentMode = true;
  Windows().BoxAnswers = {IDNO, IDNO};
  EXPECT_TRUE(AskUser(InstallQuestion.View()));
  EXPECT_TRUE(AskUser(UninstallQuestion.View()));
  ShowCompletion(InstalledOutcome.View());
  ShowOperationError();
  ShowConflict();
  EXPECT_TRUE(Windows().Boxes.empty());
}

}  // namespace

// Where the ANSI code page is not 1252 every box but the refusal of Windows
// 3.x is given its text and caption in UTF-16; a MessageBoxW that fails,
// or that the system lacks (Win32s), leaves the same bytes to MessageBoxA.
TEST_F(DialogueTest, EachCodePageAndSystemGetsItsCall) {
  constexpr Dword Xp = 0x0A280105, Nine8 = 0xC0000A04, Win31 = 0x80000A03;
  const auto ask = [] { AskUser(InstallQuestion.View()); };
  const std::string asked = Banner + InstallAsked;
  struct Case {
    Dword version, codePage;
    bool wideFails;
    std::function<void()> show;
    std::vector<std::string> calls;
    Dword style;
    std::string text;
  };
  const Case cases[] = {
      {Xp, 1252, false, ask, {"MessageBoxA"}, 0x24, asked},
      {Xp, 1251, false, ask, {"MessageBoxW"}, 0x24, asked},
      {Xp, 65001, false, ask, {"MessageBoxW"}, 0x24, asked},
      {Nine8, 1252, false, ask, {"MessageBoxA"}, 0x24, asked},
      {Nine8, 1251, false, ask, {"MessageBoxW"}, 0x24, asked},
      {Nine8, 1251, true, ask, {"MessageBoxW", "MessageBoxA"}, 0x24, asked},
      {Win31, 932, false, ask, {"MessageBoxW", "MessageBoxA"}, 0x24, asked},
      {Xp,
       1251,
       false,
       [] { ShowCompletion(RestoredOutcome.View(), BoxPlace::InFront); },
       {"MessageBoxW"},
       0x10040,
       CompletionHead + Restored + CompletionTail},
      {Win31,
       1251,
       false,
       [] { ShowWin3Refusal(); },
       {"MessageBoxA"},
       0x10,
       "Ce programme ne peut pas \xEAtre utilis\xE9 sous Windows 3.x !"},
  };
  for (const Case& c : cases) {
    SetUp();
    Windows().Version = c.version;
    Windows().AnsiCodePage = c.codePage;
    if (c.wideFails) Fake::FailCall("MessageBoxW", 1);
    c.show();
    std::vector<std::string> calls;
    for (const std::string& call : Windows().Calls) {
      if (call.starts_with("MessageBox")) calls.push_back(call.substr(0, 11));
    }
    EXPECT_EQ(calls, c.calls) << c.codePage;
    ASSERT_EQ(Windows().Boxes.size(), 1u);
    const Fake::Box& box = Windows().Boxes[0];
    EXPECT_EQ(box.Style, c.style);
    EXPECT_EQ(box.Wide ? box.WideText.size() : box.Text.size(), c.text.size());
    if (!box.Wide) {
      EXPECT_EQ(box.Text, c.text);
    }
    EXPECT_EQ(box.Wide ? box.WideCaption : std::u16string(box.Caption.begin(), box.Caption.end()),
              u"Pivane pour Windows 9x-XP");
  }
}

// Each byte as Windows-1252 defines it, the five it leaves unused as the C1
// controls of the same number; and a real text, with the answer given.
TEST_F(DialogueTest, ElsewhereTheBoxReadsAsOnAFrenchWindows) {
  std::string bytes;
  for (int code = 0x7F; code <= 0xFF; ++code) bytes += static_cast<char>(code);
  std::u16string shown =
      u"\x7F\u20AC\x81\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160\u2039\u0152\x8D"
      u"\u017D\x8F\x90\u2018\u2019\u201C\u201D\u2022\u2013\u2014\u02DC\u2122\u0161\u203A\u0153"
      u"\x9D\u017E\u0178";
  for (char16_t code = 0xA0; code <= 0xFF; ++code) shown += code;
  Windows().AnsiCodePage = 65001;
  Windows().BoxAnswers = {IDYES, IDNO};
  ShowAlreadySo(bytes);
  EXPECT_EQ(AskUserFor(UninstallQuestion.View()), Answer::No);
  ASSERT_EQ(Windows().Boxes.size(), 2u);
  EXPECT_EQ(Windows().Boxes[0].WideText, shown);
  EXPECT_EQ(Windows().Boxes[1].WideText,
            u"Pivane v2.1.s Win95 (icône vivante pour vos dossiers)\r\n\r\n"
            u"Fonction : Modification [icône active] pour Explorateur\r\n"
            u"Note       : Option réversible en relançant le programme\r\n\r\n"
            u"L'option est installée. Voulez-vous la désinstaller ?");
}
