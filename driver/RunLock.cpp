// One run at a time. Two runs that overlap would each save the other's
// "16" as the user's icon size, and one could judge the library that the
// other is still writing; so each run holds a named mutex from before it
// reads the option's state to its end.
//
// The option is the machine's, not the session's: where Windows has
// sessions (2000 and later, where the name may carry a namespace) the lock
// lives in the global namespace, so that runs of every user and session
// meet. Windows 95, 98, ME and NT 4.0 take no backslash in the name, and
// have one namespace anyway.
#include "driver/Pivane.h"
#include "platform/WindowsOps.h"

using namespace WindowsOps;

namespace {

constexpr char SessionLockName[] = "PivaneRun";
constexpr char MachineLockName[] = "Global\\PivaneRun";

// NT of version 5 (2000) or later.
bool HasSessions() {
  const Dword version = GetVersion();
  return (version & 0x80000000u) == 0 && (version & 0xFF) >= 5;
}

}  // namespace

RunLock::RunLock() {
  const char* name = HasSessions() ? MachineLockName : SessionLockName;
  Dword waited = 0;
  // The mutex exists only while some run holds a handle to it, so one
  // that is refused to us is another user's run going on now: wait for
  // it to end, but only as long as a silent run waits for any run, since
  // no box of it can be seen from here. Any other refusal is a lock that
  // cannot be had: no run goes on without it.
  for (;;) {
    Mutex = CreateMutexA(name);
    if (Mutex != MutexHandle{}) break;
    if (GetLastError() != ERROR_ACCESS_DENIED_CODE) return;
    if (waited >= LockWaitMs) {
      Outcome = RunLockOutcome::GaveUp;
      return;
    }
    Sleep(LockPollMs);
    waited += LockPollMs;
  }
  // A run of this user may be showing a box: an interactive run waits for
  // it as long as it takes, a silent one only so long. A mutex left by a
  // run that died is taken over, and the record it left is replayed.
  const Dword answer = WaitForSingleObject(Mutex, SilentMode ? LockWaitMs - waited : INFINITE);
  if (answer == WAIT_OBJECT_0 || answer == WAIT_ABANDONED) {
    Outcome = RunLockOutcome::Held;
  } else if (answer == WAIT_TIMEOUT) {
    Outcome = RunLockOutcome::GaveUp;
  }
}

RunLock::~RunLock() {
  if (Mutex == MutexHandle{}) return;
  if (Outcome == RunLockOutcome::Held) ReleaseMutex(Mutex);
  CloseHandle(Mutex);
}
