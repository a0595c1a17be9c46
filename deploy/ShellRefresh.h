// Makes the shell re-read its icons: the per-user icon size goes to "16",
// every top-level window is told, the old size comes back and they are
// told again.
#pragma once

#include "platform/Text.h"

// The per-user value as it was before the refresh; "32" where it could not
// be read.
extern Text SavedRefreshValue;

void RefreshShellIcons();
