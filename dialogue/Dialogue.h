// All the program says to the user after startup: the yes/no prompt, the
// completion message and the two error messages. Under /S nothing is shown
// and the prompt counts as answered Yes.
#pragma once

#include <string_view>

// True when the user pressed Yes; false for No or a box that could not be
// shown.
bool AskUser(std::string_view question);
void ShowCompletion(std::string_view outcomeLine);
void ShowOperationError();
void ShowConflict();
