// Makes the shell re-read its icons: the per-user icon size goes to "16",
// every top-level window is told, the size is put back exactly as it was
// found and they are told again.
#pragma once

#include "registry/RegCtrl.h"

// The per-user value as it was before the refresh: its type and bytes, or
// that there was none.
extern RegCtrl::StoredValue SavedRefreshValue;

void RefreshShellIcons();
