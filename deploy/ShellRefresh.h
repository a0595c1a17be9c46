// Makes the shell re-read its icons: the per-user icon size goes to "16",
// every top-level window is told, the size is put back exactly as it was
// found and they are told again.
//
// While the size is "16", a record of what was found stands under
// HKEY_CURRENT_USER\Software\Pivane, so that a run cut off in between (ended
// from outside, logged off, the power gone) leaves the next run what it
// needs to put the size back.
#pragma once

#include <optional>

#include "registry/RegCtrl.h"

// The per-user value as it was before the refresh: its type and bytes, or
// that there was none.
extern RegCtrl::StoredValue SavedRefreshValue;
// What a record that this run replayed, and could not put back, says was
// there: the user's size, which the refresh puts back in its turn.
extern std::optional<RegCtrl::StoredValue> KeptRecord;

void RefreshShellIcons();

// Mends what a refresh cut off left: the size goes back to what that run
// found, unless it no longer holds the "16" that run wrote (the user has
// changed it since), the record goes, and the shell is told. A size that
// cannot be put back keeps its record.
void ReplayRefreshRecord();
