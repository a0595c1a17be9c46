// One run at a time. Two runs that overlap would each save the other's
// "16" as the user's icon size, and one could judge the library that the
// other is still writing; so each run holds the lock from before it reads
// the option's state to its end.
//
// The option is the machine's, so the lock is too: its mutex lives in the
// global namespace, where runs of every user and session meet. Which name
// to use is the system's answer, not the version it reports, since a
// compatibility mode reports 95 or NT 4.0 on systems that have sessions: a
// system without namespaces (95 to ME, NT 4.0 without Terminal Server)
// refuses the "Global\" name itself, and there the plain name, in its one
// namespace, is the machine's lock.
//
// Where there are sessions, a run also holds a lock of its session, taken
// first (every run takes the two in the same order, so no two runs wait on
// each other). A run that finds its session's lock taken waits for a run
// whose boxes are on this screen: interactive, it waits as long as the user
// takes to answer. A run that has its session's lock and finds the
// machine's taken waits for a run in another session (another user, a
// disconnected session), whose boxes nobody here may ever answer: it waits
// a minute at most, and so does a silent run for anything.
#include "driver/Pivane.h"
#include "platform/WindowsOps.h"

using namespace WindowsOps;

namespace {

constexpr char MachineLockName[] = "Global\\PivaneRun";
constexpr char PlainLockName[] = "PivaneRun";
// In session 0 the session's namespace is the global one, so the session's
// lock needs a name of its own.
constexpr char SessionLockName[] = "PivaneSession";

// The errors of a system that takes no namespace in a name: NT 4.0 looks
// for a "Global" directory that it does not have; the 9x family is only
// documented to take no backslash, so every refusal of the name's form
// counts. A system with namespaces never answers these for this name, so
// its runs never split between two locks.
bool RefusesTheName(Dword error) {
  return error == static_cast<Dword>(ERROR_FILE_NOT_FOUND) || error == ERROR_PATH_NOT_FOUND ||
         error == ERROR_INVALID_PARAMETER || error == ERROR_INVALID_NAME ||
         error == ERROR_BAD_PATHNAME;
}

// What is left of the minute that a run waits for runs it cannot see. The
// time an interactive run spends waiting for a run of its own session,
// whose box is in front of the user, does not count.
class WaitBudget {
 public:
  WaitBudget() : Start(GetTickCount()) {}

  Dword Left() const {
    const Dword spent = GetTickCount() - Start - Excused;
    return spent >= LockWaitMs ? 0 : LockWaitMs - spent;
  }
  void Excuse(Dword milliseconds) { Excused += milliseconds; }

 private:
  Dword Start;
  Dword Excused = 0;
};

// A run whose window stands (the one handed to Windows' prompt) answers
// what is sent to it while it waits, as while its copy runs: a broadcast
// meets every top-level window and would wait on it, and
// WaitForSingleObject's remarks warn that a thread with windows that waits
// so can deadlock the system. Each wake for messages empties the queue,
// and the wait goes on for what is left of its time; on no mutex, the time
// alone.
Dword WaitAnswering(MutexHandle mutex, Dword milliseconds) {
  const Dword start = GetTickCount();
  for (;;) {
    AnswerMessages();
    Dword left = milliseconds;
    if (milliseconds != INFINITE) {
      const Dword spent = GetTickCount() - start;
      left = spent >= milliseconds ? 0 : milliseconds - spent;
    }
    const Dword woke = MsgWaitForMultipleObjects(mutex, left, QS_ALLINPUT);
    if (woke != WAIT_OBJECT_0 + 1) return woke;
  }
}

// A wait that fails at once must still let the time pass, or the poll
// would spin without end.
void Pause(Dword milliseconds, WindowHandle window) {
  if (window == WindowHandle{} || WaitAnswering(MutexHandle{}, milliseconds) == WAIT_FAILED) {
    Sleep(milliseconds);
  }
}

enum class Opened { Yes, NameRefused, GaveUp, Failed };

// Opens the named mutex, making it where no run holds it. One that exists
// but is refused to us is another user's run going on now (the mutex lives
// only while some run holds it): it is looked for again every half second
// while the budget lasts, since its boxes, if any, are not ours to see.
Opened OpenMutex(const char* name, MutexHandle& mutex, const WaitBudget& budget,
                 WindowHandle window) {
  for (;;) {
    mutex = CreateMutexA(name);
    if (mutex != MutexHandle{}) return Opened::Yes;
    const Dword error = GetLastError();
    if (RefusesTheName(error)) return Opened::NameRefused;
    if (error != ERROR_ACCESS_DENIED_CODE) return Opened::Failed;
    const Dword left = budget.Left();
    if (left == 0) return Opened::GaveUp;
    Pause(left < LockPollMs ? left : LockPollMs, window);
  }
}

// A mutex left by a run that died is taken over: the record it may have
// left is replayed.
RunLockOutcome Wait(MutexHandle mutex, Dword milliseconds, WindowHandle window) {
  const Dword answer = window == WindowHandle{} ? WaitForSingleObject(mutex, milliseconds)
                                                : WaitAnswering(mutex, milliseconds);
  if (answer == WAIT_OBJECT_0 || answer == WAIT_ABANDONED) return RunLockOutcome::Held;
  return answer == WAIT_TIMEOUT ? RunLockOutcome::GaveUp : RunLockOutcome::Unavailable;
}

RunLockOutcome OutcomeOf(Opened opened) {
  return opened == Opened::GaveUp ? RunLockOutcome::GaveUp : RunLockOutcome::Unavailable;
}

}  // namespace

void HeldMutex::LetGo() {
  if (Handle == MutexHandle{}) return;
  if (Owned) ReleaseMutex(Handle);
  CloseHandle(Handle);
  Handle = MutexHandle{};
  Owned = false;
}

RunLockOutcome RunLock::Take(WindowHandle window) {
  Release();
  WaitBudget budget;
  Opened opened = OpenMutex(MachineLockName, Machine.Handle, budget, window);
  if (opened == Opened::NameRefused) {
    // One namespace, one session: one lock, waited for as the session's.
    opened = OpenMutex(PlainLockName, Session.Handle, budget, window);
  } else if (opened == Opened::Yes) {
    opened = OpenMutex(SessionLockName, Session.Handle, budget, window);
  }
  if (opened != Opened::Yes) {
    Release();
    return OutcomeOf(opened);
  }

  const Dword before = GetTickCount();
  RunLockOutcome outcome = Wait(Session.Handle, SilentMode ? budget.Left() : INFINITE, window);
  Session.Owned = outcome == RunLockOutcome::Held;
  if (!SilentMode) budget.Excuse(GetTickCount() - before);
  if (Session.Owned && Machine.Handle != MutexHandle{}) {
    outcome = Wait(Machine.Handle, budget.Left(), window);
    Machine.Owned = outcome == RunLockOutcome::Held;
  }
  if (outcome != RunLockOutcome::Held) Release();
  return outcome;
}

// The machine's first: the reverse of the order in which they were taken.
void RunLock::Release() {
  Machine.LetGo();
  Session.LetGo();
}
