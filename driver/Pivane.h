// The program's main module: the entry, its state, and the steps it takes
// from the command line to the end of an install or uninstall.
#pragma once

#include "platform/Text.h"
#include "platform/WindowsTypes.h"

inline constexpr char BoxCaption[] = "Pivane pour Windows 9x-XP";

// Set by ParseSwitches when /S is given; read by every message.
extern bool SilentMode;
// Set by ParseSwitches for /I (install only) and /U (uninstall only).
extern bool InstallOnly;
extern bool UninstallOnly;
// Set by ParseSwitches for the word that a run hands the copy of itself
// that it starts with rights (RunElevatedCopy), which no user needs: that
// copy leaves its own HKEY_CURRENT_USER alone.
inline constexpr char CopySwitch[] = "/COPIE";
extern bool ElevatedCopy;

// The system directory without trailing backslashes.
extern Text SystemDir;
// The reference an install writes (the fallback one during an uninstall),
// and the one found in the registry.
extern Text InstalledReference;
extern Text CurrentReference;

// The entry: runs once from the command line to ExitProcess, with 0 or,
// under /I or /U, the outcome.
void PivaneMain();

// How a run ended; with /I or /U it is the exit code.
enum class RunOutcome : WindowsOps::Dword {
  Done = 0,        // the option is as asked, by this run or already
  Failed = 1,      // the change failed or could not start
  Declined = 2,    // the user answered Non, to Pivane or to Windows' prompt
  BothAsked = 87,  // /I and /U together: nothing was read or changed
};
WindowsOps::Dword ExitCodeFor(RunOutcome outcome);

// Startup.
// Failed where memory was refused.
TextList SplitCommandLine(const char* commandLine);
// False where memory was refused and not every argument could be read.
bool ParseSwitches();
bool IsWindows3();
void ShowWin3Refusal();
Text StripTrailingBackslashes(Text text);
// Sets SystemDir; false when the platform gives no usable system directory.
bool ReadSystemDirectory();

// An upper-cased copy by the user's locale (CharUpperBuffA), as the shell
// compares paths and the switch is compared.
Text UpperCopy(const Text& text);

// The run lock, held from before the option's state is read to the end of
// the run (see RunLock.cpp).
enum class RunLockOutcome {
  Held,
  GaveUp,       // another run went on longer than this one waits for it
  Unavailable,  // the lock could not be made or waited for
};
// How long a run waits for runs whose boxes it cannot see (a silent run,
// for any run), and how often it looks again for a lock that another
// user's run holds.
inline constexpr WindowsOps::Dword LockWaitMs = 60000;
inline constexpr WindowsOps::Dword LockPollMs = 500;

// One named mutex: its handle, and whether this run owns it.
struct HeldMutex {
  HeldMutex() = default;
  ~HeldMutex() { LetGo(); }
  HeldMutex(const HeldMutex&) = delete;
  HeldMutex& operator=(const HeldMutex&) = delete;
  void LetGo();

  WindowsOps::MutexHandle Handle{};
  bool Owned = false;
};

class RunLock {
 public:
  RunLock() = default;
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

  // Takes the lock, waiting as long as the run may, answering the
  // messages of the window given, if any, meanwhile; on any outcome but
  // Held, nothing is held.
  RunLockOutcome Take(WindowsOps::WindowHandle window = {});
  // Lets go of whatever is held; the lock may be taken again.
  void Release();

 private:
  // The session's, taken first; the machine's, where the system has
  // sessions (elsewhere the session's lock is the machine's).
  HeldMutex Session;
  HeldMutex Machine;
};

// With the lock held: mends what a run cut off left, then offers the flow
// that the option's state and the switches call for.
RunOutcome RunToggle();

// Option state: true when the machine-wide value names our library.
bool DetectOptionState();

// The two flows, each opened by its question, with the run's lock held; a
// flow that hands its work to a copy with rights lets the lock go meanwhile,
// and takes it again to see what the copy did.
RunOutcome RunInstall(RunLock& lock);
RunOutcome RunUninstall(RunLock& lock);

// Rights on Vista and later (see Elevation.cpp): what the program's token
// says, read once as the run starts; Unknown on 95 to XP, which know no
// elevation, and there everything runs as it always has.
enum class TokenRights { Unknown, Elevated, Limited };
extern TokenRights RunRights;
TokenRights ReadTokenRights();
// The DLL search: kept to the system directory as the run's first step,
// where Windows allows it (DllSearchRestricted), or else the current
// directory taken out of it and, where the token answers, the DLLs that
// the system loads by name loaded first by their full path. Then every DLL
// loaded at run time is loaded by its full path, and the shell is told of
// new icons as documented.
extern bool DllSearchRestricted;
void KeepDllSearchInTheSystem();
void LoadNamedDllsFromTheSystem();
WindowsOps::ModuleHandle LoadSystemLibrary(std::string_view name);
void TellShellIconsChanged();
// Empties this thread's queue: what was sent to its windows is answered,
// what was posted is handed on.
void AnswerMessages();

// The window handed to Windows' prompt for rights: made before the
// question of a run that may hand its work to a copy (an interactive run
// without rights), brought to the foreground as the question returns Oui,
// and destroyed as the flow ends.
class PromptWindow {
 public:
  PromptWindow();
  ~PromptWindow();
  PromptWindow(const PromptWindow&) = delete;
  PromptWindow& operator=(const PromptWindow&) = delete;
  void TakeForeground() const;

  WindowsOps::WindowHandle Window{};
};

enum class CopyOutcome {
  Done,       // the copy ended with 0
  Failed,     // it could not start, or ended with another code
  Cancelled,  // the user refused the rights: nothing started
};
// Starts this program again with the rights asked for, as /S /I or /S /U,
// Windows' prompt owned by the window given, and waits for it, answering
// that window's messages.
CopyOutcome RunElevatedCopy(bool install, WindowsOps::WindowHandle owner);
