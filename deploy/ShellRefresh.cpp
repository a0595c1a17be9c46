#include "deploy/ShellRefresh.h"

#include <optional>
#include <utility>

#include "constants/Constants.h"
#include "platform/WindowsOps.h"

using namespace WindowsOps;

constinit RegCtrl::StoredValue SavedRefreshValue;
constinit std::optional<RegCtrl::StoredValue> KeptRecord;

namespace {

// Every top-level window is told of each change in turn, by a send of its
// own: a broadcast would let each window take the whole time-out, so that K
// busy windows would hold a round for K time-outs. A round waits at most
// RoundBudgetMs in all. The shell's windows go first and may take
// ShellTimeoutMs between them, as every window could before: the shell is
// the one that must redraw its icons. The other windows share what is left
// of the budget, and those left once it is spent are still sent the notice,
// with the least wait: a send that times out stays with its window, which
// handles it when it answers again (it is the sender that stops waiting,
// the message is not withdrawn). So a round lasts at most RoundBudgetMs,
// plus the least wait (a tick of the system's clock at most) for each
// window left that does not answer at once, whatever the windows do.
//
// 4 s: the shell keeps the 3 s it always had, and the others 1 s between
// them, about what a loaded machine's few busy programs need to pick the
// notice up; the two rounds of a refresh then cost at most 8 s, and 12 s
// with a replay, where twenty busy windows cost a minute before.
constexpr Dword RoundBudgetMs = 4000;
constexpr Dword ShellTimeoutMs = 3000;

struct Round {
  Dword StartMs = 0;
  Dword Flags = 0;
  Dword ShellThread = 0;
};

// What is left of limitMs since startMs; unsigned, so that the tick count
// wrapping after 49.7 days changes nothing.
Dword TimeLeft(Dword startMs, Dword limitMs) {
  const Dword spent = GetTickCount() - startMs;
  return spent < limitMs ? limitMs - spent : 0;
}

// A time-out of 0 is no time-out at all to Wine, which waits for such a
// window as long as it takes, for ever where it hangs (measured), and
// Windows documents no meaning for it: a window whose turn comes once the
// budget is spent is given the least wait there is.
constexpr Dword LeastWaitMs = 1;

void Notify(WindowHandle window, const Round& round, Dword limitMs) {
  const Dword left = TimeLeft(round.StartMs, limitMs);
  SendMessageTimeoutA(window, WM_WININICHANGE, 0, 0, round.Flags,
                      left > LeastWaitMs ? left : LeastWaitMs, nullptr);
}

bool NotifyShellWindow(WindowHandle window, std::intptr_t round) {
  Notify(window, *reinterpret_cast<const Round*>(round), ShellTimeoutMs);
  return true;
}

bool NotifyOtherWindow(WindowHandle window, std::intptr_t context) {
  const Round& round = *reinterpret_cast<const Round*>(context);
  if (round.ShellThread == 0 || GetWindowThreadProcessId(window) != round.ShellThread) {
    Notify(window, round, RoundBudgetMs);
  }
  return true;
}

// The notice of the "16" passes over a window whose thread has not
// answered for 5 s (SMTO_ABORTIFHUNG): it could not redraw anyway, and
// should not be told "16" when it wakes. The notice of the size put back
// passes over none: a window that missed the "16", or took it late, or
// could not be waited for, must still hear last of the user's own size.
void NotifyWindows(bool sizePutBack) {
  Round round{GetTickCount(), sizePutBack ? SMTO_NORMAL : SMTO_ABORTIFHUNG, 0};
  WindowHandle shell = GetShellWindow();
  if (shell == WindowHandle{}) shell = FindWindowA("Progman", nullptr);
  if (shell != WindowHandle{}) round.ShellThread = GetWindowThreadProcessId(shell);
  const auto context = reinterpret_cast<std::intptr_t>(&round);
  if (round.ShellThread != 0) EnumThreadWindows(round.ShellThread, NotifyShellWindow, context);
  EnumWindows(NotifyOtherWindow, context);
}

// Pivane's own key, which exists only while a refresh runs, and its one
// value, named as the size is: REG_BINARY, a byte that says whether the
// size was there, then that value's type (4 bytes, least significant
// first) and bytes. One write makes the record whole or not at all. The
// key is ours only as far as it holds our record: another value or a
// subkey in it is someone else's, and keeps the key.
constexpr char RecordKeyPath[] = "Software\\Pivane";
constexpr std::size_t RecordHeaderSize = 5;

bool GetIconSize(RegCtrl::StoredValue& value) {
  return RegCtrl::GetRegValue(HKEY_CURRENT_USER, UnscrambleText(RefreshKeyPath).View(),
                              UnscrambleText(RefreshValueName).View(), value);
}

bool PutIconSize(const RegCtrl::StoredValue& value) {
  return RegCtrl::PutRegValue(HKEY_CURRENT_USER, UnscrambleText(RefreshKeyPath).View(),
                              UnscrambleText(RefreshValueName).View(), value);
}

bool WriteRecord(const RegCtrl::StoredValue& found) {
  char header[RecordHeaderSize] = {found.Exists ? '\1' : '\0'};
  for (std::size_t i = 0; i < 4; ++i) header[1 + i] = static_cast<char>(found.Type >> (8 * i));
  const RegCtrl::StoredValue record{
      true, REG_BINARY,
      Join({std::string_view(header, RecordHeaderSize), found.Exists ? found.Data.View() : ""})};
  return RegCtrl::PutRegValue(HKEY_CURRENT_USER, RecordKeyPath,
                              UnscrambleText(RefreshValueName).View(), record, true);
}

// What a record says was found; none for one that is not a record.
std::optional<RegCtrl::StoredValue> ReadRecord(const RegCtrl::StoredValue& record) {
  const std::string_view bytes = record.Data.View();
  if (record.Type != REG_BINARY || bytes.size() < RecordHeaderSize) return std::nullopt;
  const auto wasThere = static_cast<unsigned char>(bytes[0]);
  if (wasThere > 1) return std::nullopt;
  RegCtrl::StoredValue found;
  if (wasThere == 0) return found;
  found.Exists = true;
  for (std::size_t i = 0; i < 4; ++i) {
    found.Type |= Dword{static_cast<unsigned char>(bytes[1 + i])} << (8 * i);
  }
  found.Data = Join({bytes.substr(RecordHeaderSize)});
  if (!found.Data.Ok()) return std::nullopt;
  return found;
}

// Our value, then the key if nothing else is in it. A key without our
// value is what a run cut off between making the key and writing the
// record leaves: it goes where it is empty.
void RemoveRecord() {
  RegCtrl::PutRegValue(HKEY_CURRENT_USER, RecordKeyPath, UnscrambleText(RefreshValueName).View(),
                       RegCtrl::StoredValue{});
  RegCtrl::DeleteEmptyRegKey(HKEY_CURRENT_USER, RecordKeyPath);
}

// The "16" that a refresh writes, as it is stored.
bool HoldsSixteen(const RegCtrl::StoredValue& value) {
  return value.Exists && value.Type == REG_SZ && value.Data == std::string_view("16\0", 3);
}

}  // namespace

// The size is the user's: it is left exactly as it was found, type and
// bytes, or no value where there was none. What cannot be read, and so
// could not be put back, is not changed at all.
void RefreshShellIcons() {
  RegCtrl::StoredValue found;
  if (!GetIconSize(found)) {
    NotifyWindows(false);
    NotifyWindows(true);
    return;
  }
  // A record that this run's replay could not put back holds the user's
  // size, and the "16" found is a dead run's: the record stands, and its
  // size is the one to put back. A size changed since is the user's own.
  const bool recordStands = KeptRecord && HoldsSixteen(found);
  SavedRefreshValue = recordStands ? *KeptRecord : std::move(found);
  // Where the record cannot be written, the refresh still runs.
  if (!recordStands) WriteRecord(SavedRefreshValue);
  const bool changed =
      RegCtrl::PutRegString(HKEY_CURRENT_USER, UnscrambleText(RefreshKeyPath).View(),
                            UnscrambleText(RefreshValueName).View(), "16");
  NotifyWindows(false);
  // A size that could not be put back keeps its record for the next run.
  if (PutIconSize(SavedRefreshValue) || (!changed && !recordStands)) {
    RemoveRecord();
    KeptRecord.reset();
  }
  NotifyWindows(true);
}

void ReplayRefreshRecord() {
  KeptRecord.reset();
  RegCtrl::StoredValue record;
  // No key, no record.
  if (!RegCtrl::GetRegValue(HKEY_CURRENT_USER, RecordKeyPath,
                            UnscrambleText(RefreshValueName).View(), record)) {
    return;
  }
  if (!record.Exists) {
    RegCtrl::DeleteEmptyRegKey(HKEY_CURRENT_USER, RecordKeyPath);
    return;
  }
  std::optional<RegCtrl::StoredValue> found = ReadRecord(record);
  RegCtrl::StoredValue now;
  if (found && GetIconSize(now) && HoldsSixteen(now) && !PutIconSize(*found)) {
    KeptRecord = std::move(found);
  } else {
    RemoveRecord();
  }
  NotifyWindows(true);
}
