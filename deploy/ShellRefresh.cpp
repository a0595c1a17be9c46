#include "deploy/ShellRefresh.h"

#include <optional>
#include <utility>

#include "constants/Constants.h"
#include "platform/WindowsOps.h"

using namespace WindowsOps;

constinit RegCtrl::StoredValue SavedRefreshValue;

namespace {

// A window that stops answering must not hold the program: each broadcast
// waits at most this long for any one window, and one that gave up counts
// as sent.
constexpr Dword BroadcastTimeoutMs = 3000;

// Pivane's own key, which exists only while a refresh runs, and its one
// value, named as the size is: REG_BINARY, a byte that says whether the
// size was there, then that value's type (4 bytes, least significant
// first) and bytes. One write makes the record whole or not at all.
constexpr char RecordKeyPath[] = "Software\\Pivane";
constexpr std::size_t RecordHeaderSize = 5;

void BroadcastSettingsChange() {
  SendMessageTimeoutA(HWND_BROADCAST, WM_WININICHANGE, 0, 0, SMTO_ABORTIFHUNG, BroadcastTimeoutMs,
                      nullptr);
}

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

void RemoveRecord() { RegCtrl::DeleteRegKey(HKEY_CURRENT_USER, RecordKeyPath); }

// The "16" that a refresh writes, as it is stored.
bool HoldsSixteen(const RegCtrl::StoredValue& value) {
  return value.Exists && value.Type == REG_SZ && value.Data == std::string_view("16\0", 3);
}

}  // namespace

// The size is the user's: it is left exactly as it was found, type and
// bytes, or no value where there was none. What cannot be read, and so
// could not be put back, is not changed at all.
void RefreshShellIcons() {
  if (!GetIconSize(SavedRefreshValue)) {
    BroadcastSettingsChange();
    BroadcastSettingsChange();
    return;
  }
  // Where the record cannot be written, the refresh still runs.
  WriteRecord(SavedRefreshValue);
  const bool changed =
      RegCtrl::PutRegString(HKEY_CURRENT_USER, UnscrambleText(RefreshKeyPath).View(),
                            UnscrambleText(RefreshValueName).View(), "16");
  BroadcastSettingsChange();
  // A size that could not be put back keeps its record for the next run.
  if (PutIconSize(SavedRefreshValue) || !changed) RemoveRecord();
  BroadcastSettingsChange();
}

void ReplayRefreshRecord() {
  RegCtrl::StoredValue record;
  // No key, no record; a key without its value is what a run cut off
  // between making the key and writing the record leaves.
  if (!RegCtrl::GetRegValue(HKEY_CURRENT_USER, RecordKeyPath,
                            UnscrambleText(RefreshValueName).View(), record)) {
    return;
  }
  bool mended = true;
  if (record.Exists) {
    const std::optional<RegCtrl::StoredValue> found = ReadRecord(record);
    RegCtrl::StoredValue now;
    if (found && GetIconSize(now) && HoldsSixteen(now)) mended = PutIconSize(*found);
  }
  if (mended) RemoveRecord();
  if (record.Exists) BroadcastSettingsChange();
}
