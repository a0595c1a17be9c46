// Synchronisation and processes: named mutexes and the other runs that
// hold them, the clock that only Sleep and waits move, the process token,
// the copy that ShellExecuteExW starts with rights and its process handle,
// and the end of this process.
#include <algorithm>
#include <cstring>

#include "tests/fake/FakeInternal.h"

namespace Fake {
namespace {

// Where a name lives in the object manager: the global namespace, or a
// session's. Session 0's namespace is the global one, and a system
// without namespaces has only that one and takes no backslash.
std::optional<std::string> ObjectName(const std::string& name, Dword session) {
  const bool namespaces = TheMachine.Namespaces;
  std::string rest = name;
  const std::size_t slash = name.find('\\');
  if (slash != std::string::npos) {
    if (!namespaces) return std::nullopt;
    const std::string space = name.substr(0, slash);
    rest = name.substr(slash + 1);
    if (space == "Global") return "Global\\" + rest;
    if (space != "Local") return std::nullopt;
  }
  if (!namespaces || session == 0) return "Global\\" + rest;
  return "Session" + std::to_string(session) + "\\" + rest;
}

// The other run that holds the named mutex at that moment, if any.
OtherRun* HolderAt(const std::string& objectName, Dword ms) {
  for (OtherRun& run : TheMachine.OtherRuns) {
    if (run.EndsAtMs && *run.EndsAtMs <= ms) continue;
    for (const std::string& held : run.Holds) {
      if (ObjectName(held, run.Session) == objectName) return &run;
    }
  }
  return nullptr;
}

// The copy that ShellExecuteExW started last: where it stands, when it
// started, its exit code, and how many messages it sent to windows of ours
// that this thread has not answered, and whether a wait woke for them.
enum class CopyState { None, Starting, Broadcasting, Ended };
CopyState CopyNow = CopyState::None;
Dword CopyStartMs = 0;
Dword CopyExitCode = 0;
std::size_t SentToUs = 0;
bool SentSeen = false;
constexpr Dword QS_KEY = 0x0001;
constexpr Dword QS_POSTMESSAGE = 0x0008;
constexpr Dword QS_SENDMESSAGE = 0x0040;

// When the named mutex is free: the end of the last run that holds it
// from now on; none where one never ends.
std::optional<Dword> FreeAt(const std::string& objectName, const OtherRun*& last) {
  std::optional<Dword> free = TheMachine.ClockMs;
  last = nullptr;
  while (const OtherRun* holder = HolderAt(objectName, *free)) {
    last = holder;
    free = holder->EndsAtMs;
    if (!free) break;
  }
  return free;
}

// Vista and 7 define QS_ALLINPUT as 0x04FF and refuse any bit above it
// (8 added QS_TOUCH and QS_POINTER).
bool MaskRefused(Dword wakeMask) {
  const Dword version = TheMachine.Version;
  const Dword release = ((version & 0xFF) << 8) | ((version >> 8) & 0xFF);
  return release < 0x0602 && (wakeMask & ~Dword{0x04FF}) != 0;
}

// Input posted since the thread last looked at its queue wakes a wait
// that asks for it; input already looked at does not.
bool PostedWakes(Dword wakeMask) {
  Machine& m = TheMachine;
  if (m.Posted.empty() || !m.PostedNew || !(wakeMask & (QS_KEY | QS_POSTMESSAGE))) return false;
  m.PostedNew = false;
  return true;
}

// A thread with windows that waits until `until` meets a broadcast of
// another run if one comes before then: one message to each window,
// waiting until the thread looks at its queue. Whether the wait wakes for
// it, the clock then at its coming; a wait that does not, or that waits
// again without looking, leaves those messages unanswered.
bool SendWakes(Dword until, Dword wakeMask) {
  Machine& m = TheMachine;
  m.Unanswered += m.SentWaiting;
  m.SentWaiting = 0;
  const Dword at = m.Sends == 0 ? m.ClockMs : std::max(m.ClockMs, m.LastSentMs + 700);
  if (m.OurWindows.empty() || m.Sends >= 5 || at >= until) return false;
  ++m.Sends;
  m.LastSentMs = at;
  AdvanceClock(at);
  m.SentWaiting = m.OurWindows.size();
  if (wakeMask & QS_SENDMESSAGE) return true;
  m.Unanswered += m.SentWaiting;
  m.SentWaiting = 0;
  return false;
}

}  // namespace

// Moves the clock on: other runs whose time has come end, and names left
// pending by a delete go once their scanner lets go.
void AdvanceClock(Dword ms) {
  Machine& m = TheMachine;
  m.ClockMs = std::max(m.ClockMs, ms);
  WindowsWork(m.ClockMs);
  for (OtherRun& run : m.OtherRuns) {
    if (run.Ended || !run.EndsAtMs || *run.EndsAtMs > m.ClockMs) continue;
    run.Ended = true;
    if (run.Does) run.Does();
  }
  std::erase_if(m.Files, [&](const auto& entry) {
    return entry.second.DeletePending && m.ClockMs >= entry.second.ScannedUntilMs.value_or(0);
  });
}

}  // namespace Fake

namespace WindowsOps {

using namespace Fake;

// Named mutexes, as the object manager keeps them: by namespace and name,
// for as long as a handle to them is open.
MutexHandle CreateMutexA(const char* name) {
  Machine& m = Windows();
  if (Record("CreateMutexA", name)) return FailWith(ERROR_NOT_ENOUGH_MEMORY, MutexHandle{});
  m.MutexNames.push_back(name);
  if (m.MutexesRefused) return FailWith(ERROR_NOT_ENOUGH_MEMORY, MutexHandle{});
  const std::optional<std::string> object = ObjectName(name, m.Session);
  if (!object) return FailWith(ERROR_PATH_NOT_FOUND, MutexHandle{});
  const OtherRun* holder = HolderAt(*object, m.ClockMs);
  if (holder && holder->AnotherUsers) return FailWith(DeniedCode, MutexHandle{});
  const bool exists =
      holder || std::any_of(MutexHandles.begin(), MutexHandles.end(),
                            [&](const auto& open) { return open.second == *object; });
  const std::uintptr_t handle = NextHandle++;
  MutexHandles[handle] = *object;
  ++m.OpenMutexes;
  m.LastError = exists ? ERROR_ALREADY_EXISTS : 0;
  return static_cast<MutexHandle>(handle);
}

// The mutex is ours once every run that holds it has ended; abandoned
// where the last of them died holding it while this run waited.
Dword WaitForSingleObject(MutexHandle mutex, Dword milliseconds) {
  Machine& m = Windows();
  if (Record("WaitForSingleObject", std::to_string(milliseconds))) return WAIT_FAILED;
  auto open = MutexHandles.find(static_cast<std::uintptr_t>(mutex));
  if (open == MutexHandles.end()) return WAIT_FAILED;
  const OtherRun* last = nullptr;
  const std::optional<Dword> free = FreeAt(open->second, last);
  // A wait without end on a run that never ends would hang the test.
  if (!free && milliseconds == INFINITE) return WAIT_FAILED;
  const Dword start = m.ClockMs;
  const bool timesOut = !free || (milliseconds != INFINITE && *free > start + milliseconds);
  SendWakes(timesOut ? start + milliseconds : *free, 0);
  if (timesOut) {
    AdvanceClock(start + milliseconds);
    return WAIT_TIMEOUT;
  }
  AdvanceClock(*free);
  m.OwnedMutexes.insert(open->second);
  return last && last->Dies ? WAIT_ABANDONED : WAIT_OBJECT_0;
}

bool ReleaseMutex(MutexHandle mutex) {
  if (Record("ReleaseMutex")) return false;
  auto open = MutexHandles.find(static_cast<std::uintptr_t>(mutex));
  if (open == MutexHandles.end() || Windows().OwnedMutexes.erase(open->second) == 0) {
    return FailWith(ERROR_NOT_OWNER, false);
  }
  return true;
}

bool CloseHandle(MutexHandle mutex) {
  if (Record("CloseHandle", "(mutex)")) return false;
  if (MutexHandles.erase(static_cast<std::uintptr_t>(mutex)) == 0) return false;
  --Windows().OpenMutexes;
  return true;
}

// Windows sleeps at least as long as asked, to the timer's resolution.
void Sleep(Dword milliseconds) {
  if (Record("Sleep", std::to_string(milliseconds))) return;
  const Dword start = Windows().ClockMs;
  SendWakes(start + milliseconds, 0);
  AdvanceClock(start + milliseconds + Windows().SleepLateMs);
}

Dword GetTickCount() {
  Record("GetTickCount");
  return Windows().ClockMs + Windows().TicksAtStart;
}

// The token: none on 95, 98 and ME; before Vista it knows no elevation.
constexpr std::uintptr_t TokenValue = 0x70C3;
constexpr std::uintptr_t CopyValue = 0xC0B1;
std::u16string CopyParameters;
constexpr Dword ERROR_CALL_NOT_IMPLEMENTED = 120;

// A token handle answers only what it was opened for.
Dword TokenAccess = 0;

bool OpenProcessToken(Dword desiredAccess, TokenHandle* token) {
  if (Record("OpenProcessToken")) return FailWith(DeniedCode, false);
  if (NineX()) return FailWith(ERROR_CALL_NOT_IMPLEMENTED, false);
  TokenAccess = desiredAccess;
  ++Windows().OpenTokens;
  *token = TokenHandle{TokenValue};
  return true;
}

bool GetTokenInformation(TokenHandle token, Dword informationClass, void* information, Dword length,
                         Dword* returnLength) {
  if (Record("GetTokenInformation") || token != TokenHandle{TokenValue}) {
    return FailWith(ERROR_INVALID_HANDLE, false);
  }
  if (!(TokenAccess & TOKEN_QUERY)) return FailWith(DeniedCode, false);
  if (informationClass != TokenElevation || !Windows().Elevated) {
    return FailWith(ERROR_INVALID_PARAMETER, false);
  }
  if (length < sizeof(Dword)) return FailWith(ERROR_INVALID_PARAMETER, false);
  const Dword elevated = *Windows().Elevated ? 1 : 0;
  std::memcpy(information, &elevated, sizeof elevated);
  *returnLength = sizeof elevated;
  return true;
}

bool CloseHandle(TokenHandle token) {
  if (Record("CloseHandle", "(token)") || token != TokenHandle{TokenValue}) return false;
  --Windows().OpenTokens;
  return true;
}

// Windows' prompt for rights takes the input, and the copy starts once the
// user allows it; it runs while it is waited for.
bool ShellExecuteExW(ModuleHandle shell32, ShellExecuteInfo* info) {
  Machine& m = Windows();
  const std::u16string started =
      std::u16string(info->Verb) + u" " + info->File + u" " + info->Parameters;
  if (Record("ShellExecuteExW")) return FailWith(DeniedCode, false);
  if (m.Prompt == ElevationPrompt::Unavailable || shell32 != Shell32Module) {
    return FailWith(ERROR_PROC_NOT_FOUND, false);
  }
  const auto window = static_cast<std::uintptr_t>(info->Window);
  const bool ownerInFront = m.OurWindows.contains(window) && m.ForegroundWindow == window;
  m.MayTakeForeground = false;
  if (m.Prompt == ElevationPrompt::No) return FailWith(ERROR_CANCELLED, false);
  m.Started.push_back({started, info->Directory ? info->Directory : u"", info->Mask, ownerInFront,
                       !m.OwnedMutexes.empty(), m.ComApartments > 0});
  CopyParameters = info->Parameters;
  CopyNow = CopyState::Starting;
  CopyStartMs = m.ClockMs;
  if (info->Mask & SEE_MASK_NOCLOSEPROCESS) ++m.OpenProcesses;
  info->Process =
      (info->Mask & SEE_MASK_NOCLOSEPROCESS) ? ProcessHandle{CopyValue} : ProcessHandle{};
  return true;
}

// The copy does its work, and its broadcasts meet every window of ours:
// one message each, sent, that waits until this thread looks at its queue.
// A wait that does not wake for it, or that waits again without looking,
// leaves the broadcast to give up on the window, and the copy then ends.
Dword MsgWaitForMultipleObjects(ProcessHandle process, Dword milliseconds, Dword wakeMask) {
  Machine& m = Windows();
  if (Record("MsgWaitForMultipleObjects", milliseconds == INFINITE ? "INFINITE" : "(timed)") ||
      process != ProcessHandle{CopyValue} || CopyNow == CopyState::None) {
    return FailWith(ERROR_INVALID_HANDLE, WAIT_FAILED);
  }
  if (MaskRefused(wakeMask)) return FailWith(ERROR_INVALID_PARAMETER, WAIT_FAILED);
  if (PostedWakes(wakeMask)) return WAIT_OBJECT_0 + 1;
  if (CopyNow == CopyState::Starting) {
    const Dword endsAt = CopyStartMs + m.CopyMs;
    if (milliseconds != INFINITE && m.ClockMs + milliseconds < endsAt) {
      AdvanceClock(m.ClockMs + milliseconds);
      return WAIT_TIMEOUT;
    }
    AdvanceClock(endsAt);
    m.Started.back().WindowsWhileCopyRan = m.OurWindows.size();
    CopyExitCode = m.Copy ? m.Copy(CopyParameters) : 0;
    SentToUs = m.OurWindows.size();
    SentSeen = false;
    CopyNow = CopyState::Broadcasting;
  }
  if (SentToUs > 0) {
    if (!SentSeen && (wakeMask & QS_SENDMESSAGE)) {
      SentSeen = true;
      return WAIT_OBJECT_0 + 1;
    }
    m.Started.back().Unanswered += SentToUs;
    SentToUs = 0;
  }
  CopyNow = CopyState::Ended;
  return WAIT_OBJECT_0;
}

// The same on a mutex, or on nothing but the time (a null handle).
Dword MsgWaitForMultipleObjects(MutexHandle mutex, Dword milliseconds, Dword wakeMask) {
  Machine& m = Windows();
  if (Record("MsgWaitForMultipleObjects",
             "(mutex) " + (milliseconds == INFINITE ? "INFINITE" : std::to_string(milliseconds)))) {
    return FailWith(ERROR_INVALID_HANDLE, WAIT_FAILED);
  }
  const auto open = MutexHandles.find(static_cast<std::uintptr_t>(mutex));
  if (mutex != MutexHandle{} && open == MutexHandles.end()) {
    return FailWith(ERROR_INVALID_HANDLE, WAIT_FAILED);
  }
  if (MaskRefused(wakeMask)) return FailWith(ERROR_INVALID_PARAMETER, WAIT_FAILED);
  if (PostedWakes(wakeMask)) return WAIT_OBJECT_0 + 1;
  const OtherRun* last = nullptr;
  const std::optional<Dword> free =
      mutex == MutexHandle{} ? std::nullopt : FreeAt(open->second, last);
  if (!free && milliseconds == INFINITE) return WAIT_FAILED;
  const Dword start = m.ClockMs;
  const bool timesOut = !free || (milliseconds != INFINITE && *free > start + milliseconds);
  if (SendWakes(timesOut ? start + milliseconds : *free, wakeMask)) return WAIT_OBJECT_0 + 1;
  if (timesOut) {
    AdvanceClock(start + milliseconds);
    return WAIT_TIMEOUT;
  }
  AdvanceClock(*free);
  m.OwnedMutexes.insert(open->second);
  return last && last->Dies ? WAIT_ABANDONED : WAIT_OBJECT_0;
}

// Looking at the queue answers what was sent to this thread's windows;
// what was posted stays until PM_REMOVE takes it. A loop that never takes
// what it finds would look for ever: past a bound the run counts as hung,
// and is ended.
bool PeekMessageA(WindowMessage* message, Dword removeMessage) {
  Machine& m = Windows();
  if (Record("PeekMessageA")) return false;
  SentToUs = 0;
  SentSeen = false;
  m.SentWaiting = 0;
  m.PostedNew = false;
  if (m.Posted.empty()) return false;
  *message = WindowMessage{};
  message->Message = m.Posted.front();
  if (removeMessage & PM_REMOVE) {
    m.Posted.pop_front();
    m.PeeksKept = 0;
  } else if (++m.PeeksKept >= 1000) {
    m.Dead = true;
  }
  return true;
}

std::intptr_t DispatchMessageA(const WindowMessage*) {
  Record("DispatchMessageA");
  return 0;
}

// A process still running answers STILL_ACTIVE.
bool GetExitCodeProcess(ProcessHandle process, Dword* exitCode) {
  if (Record("GetExitCodeProcess") || process != ProcessHandle{CopyValue}) {
    return FailWith(ERROR_INVALID_HANDLE, false);
  }
  *exitCode = CopyNow == CopyState::Ended ? CopyExitCode : 259;
  return true;
}

bool CloseHandle(ProcessHandle process) {
  if (Record("CloseHandle", "(process)") || process != ProcessHandle{CopyValue}) return false;
  --Windows().OpenProcesses;
  return true;
}

void ExitProcess(Dword exitCode) {
  if (Record("ExitProcess")) return;
  Windows().ExitCode = exitCode;
}

}  // namespace WindowsOps
