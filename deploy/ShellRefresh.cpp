#include "deploy/ShellRefresh.h"

#include <optional>
#include <utility>

#include "constants/Constants.h"
#include "platform/WindowsOps.h"

using namespace WindowsOps;

constinit RegCtrl::StoredValue SavedRefreshValue;
constinit std::optional<RegCtrl::StoredValue> KeptRecord;

namespace {

// A window that stops answering must not hold the program: each broadcast
// waits at most this long for any one window, and one that gave up counts
// as sent.
constexpr Dword BroadcastTimeoutMs = 3000;

// Pivane's own key, which exists only while a refresh runs, and its one
// value, named as the size is: REG_BINARY, a byte that says whether the
// size was there, then that value's type (4 bytes, least significant
// first) and bytes. One write makes the record whole or not at all. The
// key is ours only as far as it holds our record: another value or a
// subkey in it is someone else's, and keeps the key.
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
    BroadcastSettingsChange();
    BroadcastSettingsChange();
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
  BroadcastSettingsChange();
  // A size that could not be put back keeps its record for the next run.
  if (PutIconSize(SavedRefreshValue) || (!changed && !recordStands)) {
    RemoveRecord();
    KeptRecord.reset();
  }
  BroadcastSettingsChange();
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
  BroadcastSettingsChange();
}
