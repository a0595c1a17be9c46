#include "dialogue/Dialogue.h"

#include <functional>

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
