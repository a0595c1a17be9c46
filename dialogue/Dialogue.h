// All the program says to the user after startup: the yes/no prompt, the
// completion message and the two error messages. Under /S nothing is shown
// and the prompt counts as answered Yes.
#pragma once

#include <string_view>

enum class Answer { Yes, No, NotShown };
// What the user answered: any button but Yes is No; under /S, Yes without
// a box.
Answer AskUserFor(std::string_view question);
// True when the user pressed Yes; false for No or a box that could not be
// shown.
inline bool AskUser(std::string_view question) { return AskUserFor(question) == Answer::Yes; }
// Says, in place of the question, that the option is already as asked.
void ShowAlreadySo(std::string_view text);
// A box shown after a copy with rights ended comes to the front, where the
// copy let it: Windows' prompt took the last input meanwhile.
enum class BoxPlace { AsUsual, InFront };
void ShowCompletion(std::string_view outcomeLine, BoxPlace place = BoxPlace::AsUsual);
void ShowOperationError(BoxPlace place = BoxPlace::AsUsual);
void ShowConflict();
