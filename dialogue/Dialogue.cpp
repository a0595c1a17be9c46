#include "dialogue/Dialogue.h"

#include <algorithm>
#include <array>
#include <initializer_list>

#include "constants/Constants.h"
#include "dialogue/Messages.h"
#include "driver/Pivane.h"
#include "platform/WindowsOps.h"

using namespace WindowsOps;

namespace {

constexpr auto TitleLine = Cp1252("Pivane v2.1.s Win95 (icône vivante pour vos dossiers)");
constexpr auto BannerBody = Cp1252(
    "\r\n\r\n"
    "Fonction : Modification [icône active] pour Explorateur\r\n"
    "Note       : Option réversible en relançant le programme\r\n\r\n");
constexpr auto CompletionOpening = Cp1252("L'installation de Pivane est terminée.\r\n\r\n");
constexpr auto CompletionRefresh = Cp1252("Votre système remet à jour ses icônes.\r\n\r\n");
constexpr auto OperationErrorText = Cp1252("Une erreur s'est produite durant l'opération !");
constexpr auto ConflictText = Cp1252("L'installation n'est pas possible pour cause de conflits.");

// Composed texts are copied into a buffer of this many characters, NUL
// included, before they are shown.
constexpr std::size_t MessageBufferSize = 256;
using MessageBuffer = std::array<char, MessageBufferSize>;

constexpr std::size_t TrailerCapacity = sizeof(TrailerLine.Record) - 1;
static_assert(TitleLine.Size() + BannerBody.Size() +
                      std::max(InstallQuestion.Size(), UninstallQuestion.Size()) <
                  MessageBufferSize,
              "the prompt outgrows the message buffer");
static_assert(CompletionOpening.Size() + std::max(InstalledOutcome.Size(), RestoredOutcome.Size()) +
                      2 + CompletionRefresh.Size() + TrailerCapacity <
                  MessageBufferSize,
              "the completion message outgrows the message buffer");

// Joins the parts into the message buffer. The texts above are proven to
// fit; anything longer is cut rather than written past the buffer.
MessageBuffer ComposeMessage(std::initializer_list<std::string_view> parts) {
  MessageBuffer buffer{};
  std::size_t used = 0;
  for (std::string_view part : parts) {
    std::size_t count = std::min(part.size(), MessageBufferSize - 1 - used);
    std::copy_n(part.data(), count, buffer.data() + used);
    used += count;
  }
  return buffer;
}

// Each byte becomes one UTF-16 character (the code page has no pairs), so
// a text in UTF-16 takes as many characters as its bytes: the buffers are
// of the same size.
constexpr Dword Windows1252 = 1252;
using WideMessageBuffer = std::array<char16_t, MessageBufferSize>;
using WideCaption = std::array<char16_t, sizeof(BoxCaption)>;
static_assert(std::tuple_size_v<WideMessageBuffer> == std::tuple_size_v<MessageBuffer>);

template <typename Wide>
Wide ToUtf16(const char* text) {
  Wide wide{};
  for (std::size_t i = 0; i + 1 < wide.size() && text[i] != '\0'; ++i) {
    wide[i] = Cp1252ToUtf16(text[i]);
  }
  return wide;
}

// MessageBoxA reads its bytes in the ANSI code page, so the Windows-1252
// texts read right through it only where that is 1252. Elsewhere the box
// is given them in UTF-16, which every code page shows the same; where
// MessageBoxW fails, MessageBoxA still shows the bytes: a box not shown
// would read as No.
int ShowBox(const MessageBuffer& text, Dword style, BoxPlace place = BoxPlace::AsUsual) {
  if (place == BoxPlace::InFront) style |= MB_SETFOREGROUND;
  if (GetACP() != Windows1252) {
    const auto wideText = ToUtf16<WideMessageBuffer>(text.data());
    const auto wideCaption = ToUtf16<WideCaption>(BoxCaption);
    const int pressed = MessageBoxW(WindowHandle{}, wideText.data(), wideCaption.data(), style);
    if (pressed != 0) return pressed;
  }
  return MessageBoxA(WindowHandle{}, text.data(), BoxCaption, style);
}

}  // namespace

Answer AskUserFor(std::string_view question) {
  if (SilentMode) return Answer::Yes;
  const int pressed = ShowBox(ComposeMessage({TitleLine.View(), BannerBody.View(), question}),
                              MB_ICONQUESTION | MB_YESNO);
  // Windows answers 0 for a box it could not show (Wine -1): no button.
  return pressed == IDYES ? Answer::Yes : pressed <= 0 ? Answer::NotShown : Answer::No;
}

void ShowAlreadySo(std::string_view text) {
  if (SilentMode) return;
  ShowBox(ComposeMessage({text}), MB_ICONINFORMATION);
}

void ShowCompletion(std::string_view outcomeLine, BoxPlace place) {
  if (SilentMode) return;
  const auto trailer = UnscrambleText(TrailerLine);
  ShowBox(ComposeMessage({CompletionOpening.View(), outcomeLine, "\r\n", CompletionRefresh.View(),
                          trailer.View()}),
          MB_ICONINFORMATION, place);
}

void ShowOperationError(BoxPlace place) {
  if (SilentMode) return;
  ShowBox(ComposeMessage({OperationErrorText.View()}), MB_ICONERROR, place);
}

void ShowConflict() {
  if (SilentMode) return;
  ShowBox(ComposeMessage({ConflictText.View()}), MB_ICONERROR);
}
