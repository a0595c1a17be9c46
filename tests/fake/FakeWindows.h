// A lean model of the Windows the program relies on, standing in for the
// Win32 layer in the host tests. Tests arrange its state, run the program's
// operations against it and read back what happened: the calls in order,
// the boxes shown, the broadcasts with the per-user value each one saw, the
// registry and the files.
//
// Where Windows' behaviour for a call is modelled: the registry in
// FakeRegistry.cpp, files in FakeFiles.cpp, mutexes, other runs, the clock,
// the token and the copy started with rights in FakeProcesses.cpp, boxes,
// broadcasts, windows, libraries and drives in FakeShell.cpp, and the rest
// of the machine with the model's own machinery in FakeMachine.cpp.
#pragma once

#include <compare>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/WindowsOps.h"

namespace Fake {

using WindowsOps::Dword;

// Rights on a key, with their Win32 values: all of them (KEY_ALL_ACCESS),
// those of a user who may only read (KEY_READ), the one that creating a key
// below another needs on the parent (KEY_CREATE_SUB_KEY), and the one that
// deleting a key needs on it (DELETE).
inline constexpr Dword AllRights = 0xF003F;
inline constexpr Dword ReadRights = 0x20019;
inline constexpr Dword CreateSubKeyRight = 0x0004;
inline constexpr Dword DeleteRight = 0x10000;

// Windows compares registry and file names without regard to case.
struct NoCase {
  bool operator()(const std::string& a, const std::string& b) const;
  static bool Equal(const std::string& a, const std::string& b) {
    return !NoCase()(a, b) && !NoCase()(b, a);
  }
};

struct RegistryValue {
  Dword Type = WindowsOps::REG_SZ;
  std::string Data;  // the stored bytes, terminator included where there is one
  bool operator==(const RegistryValue&) const = default;
};

struct RegistryKey {
  std::map<std::string, RegistryKey, NoCase> Subkeys;
  std::map<std::string, RegistryValue, NoCase> Values;
  // The rights the user holds on this key: an open that asks for more is
  // refused, and a key is created below it only with CreateSubKeyRight.
  Dword Rights = AllRights;
  // Created with REG_OPTION_VOLATILE: gone at the next restart.
  bool Volatile = false;
};

struct File {
  std::string Contents;
  Dword Attributes = WindowsOps::FILE_ATTRIBUTE_ARCHIVE;
  bool Directory = false;
  // Another program holds it open without sharing write or delete; or
  // holds it open for writing, sharing reading and writing, so that only
  // an open that shares writing too may be had.
  bool HeldElsewhere = false;
  bool WrittenElsewhere = false;
  // Whole 4 GiB beyond Contents, which no test could hold.
  Dword SizeHigh = 0;
  // An on-access scanner holds it open, sharing delete, until this moment
  // on the model's clock: a delete leaves the name pending until then, and
  // the name refuses a new file meanwhile.
  std::optional<Dword> ScannedUntilMs{};
  bool DeletePending = false;
};

struct Box {
  std::string Text;
  std::string Caption;
  Dword Style = 0;
  std::uintptr_t Owner = 0;
  // Shown by MessageBoxW: its text and caption are these, not the bytes.
  bool Wide = false;
  std::u16string WideText{};
  std::u16string WideCaption{};
};

struct Broadcast {
  std::uintptr_t Window = 0;
  Dword Message = 0;
  Dword Flags = 0;
  Dword TimeoutMs = 0;
  // The shell's icon size value as a window receiving this broadcast sees it.
  std::optional<RegistryValue> IconSize;
  // Unused by WM_WININICHANGE but for the section's name, a pointer.
  std::uintptr_t WParam = 0;
  std::intptr_t LParam = 0;
};

// A top-level window of another program. Its thread handles a settings
// notice in TakesMs, pumping nothing meanwhile, and pumps nothing at all
// from HangsAtMs until AnswersAgainAtMs (for good, where none is given).
// Read: the icon size it read at each notice it handled, in order.
struct TopWindow {
  std::uintptr_t Handle = 0;
  Dword Thread = 0;
  std::string Class;
  Dword TakesMs = 0;
  std::optional<Dword> HangsAtMs{};
  std::optional<Dword> AnswersAgainAtMs{};
  std::vector<std::optional<RegistryValue>> Read{};
};

// Another run of the program: the named mutexes it holds, from before this
// run starts until it ends, if ever. Of two runs that hold one name, the one
// listed first holds it first, and the next takes it as that one ends.
struct OtherRun {
  std::vector<std::string> Holds;  // the names as that run asked for them
  Dword Session = 1;
  bool AnotherUsers = false;  // its mutexes are not this run's to open
  std::optional<Dword> EndsAtMs{};
  bool Dies = false;             // it ends without releasing them
  std::function<void()> Does{};  // what it changes on the machine as it ends
  bool Ended = false;
};

// What becomes of a ShellExecuteExA that asks for rights ("runas").
enum class ElevationPrompt {
  Yes,          // the copy starts
  No,           // the user refuses: ERROR_CANCELLED
  Unavailable,  // SHELL32 or the call is not to be had
};

struct Machine {
  Dword Version = 0x0A280105;  // Windows XP
  std::optional<std::string> SystemDirectory = std::string("C:\\WINDOWS\\system32");
  std::string CommandLine = "pivane.exe";
  bool DoubleByteCodePage = false;  // lead bytes as in code page 932
  Dword AnsiCodePage = 1252;        // what GetACP answers
  // A Turkish language driver: i upper-cases to the dotted capital I (0xDD
  // in code page 1254), not to I.
  bool TurkishCasing = false;

  std::deque<int> BoxAnswers;  // one per box, in order; then IDYES
  // This thread's queue: the messages posted to it, oldest first (each box
  // answered leaves the key-up of its Enter), whether any came since the
  // thread last looked, and how many looks in a row left the first there.
  std::deque<Dword> Posted;
  bool PostedNew = false;
  int PeeksKept = 0;
  std::vector<Box> Boxes;
  // Each SendMessageTimeoutA, with the icon size as it stood when sent.
  std::vector<Broadcast> Broadcasts;
  // Other programs' top-level windows, in the order EnumWindows lists
  // them: the shell's desktop alone, which answers at once, unless told.
  // Whether USER32 has GetShellWindow (2000 and later), which answers the
  // window of class Progman.
  std::vector<TopWindow> TopWindows{TopWindow{0x10010, 1, "Progman"}};
  bool ShellWindowCall = true;
  // The model's own: each thread's notices in hand, by the moment it
  // starts on each, and when it is free again and has been busy since.
  struct WindowThread {
    std::deque<std::pair<Dword, std::size_t>> Due;
    Dword FreeAtMs = 0;
    Dword BusySinceMs = 0;
  };
  std::map<Dword, WindowThread> WindowThreads;

  RegistryKey MachineRoot;
  RegistryKey UserRoot;
  std::map<std::string, File, NoCase> Files;  // by full path

  // Every operation with its main argument, in the order called.
  std::vector<std::string> Calls;
  // Which calls of an operation fail: its name, then 1-based call numbers.
  std::map<std::string, std::set<int>> Failing;
  std::map<std::string, int> CallCounts;
  // At most this many bytes are written by one WriteFile that succeeds.
  std::optional<Dword> WriteLimit;
  // What another program does right after each RegQueryValueExA and
  // FindFirstFileA of ours, given the operation's name: a value that
  // changes, a file that appears.
  std::function<void(const std::string& operation)> Meanwhile;
  // A 32-bit program under WOW64 that cannot turn file-system redirection
  // off: the Win32 layer then gives no system directory, and fails every
  // file operation by path before it touches anything.
  bool RedirectionFails = false;
  std::optional<Dword> ExitCode;
  Dword LastError = 0;

  // Named mutexes. The session this process runs in; whether the system
  // has namespaces for names at all (95 to ME and NT 4.0 without Terminal
  // Server have one, and refuse a name with a backslash); the other runs;
  // every name asked of CreateMutexA, in order; and mutexes that cannot be
  // made at all (resources refused).
  Dword Session = 1;
  bool Namespaces = true;
  std::vector<OtherRun> OtherRuns;
  std::vector<std::string> MutexNames;
  bool MutexesRefused = false;
  // The mutexes this process owns, by their names in the object manager.
  std::set<std::string> OwnedMutexes;
  // The model's clock, which only Sleep and waits move, and how much later
  // than asked each Sleep returns.
  Dword ClockMs = 0;
  Dword SleepLateMs = 0;
  // What GetTickCount answers while the clock reads 0: the count wraps
  // after 2^32 ms, the clock never does.
  Dword TicksAtStart = 0;

  // Rights. A limited account (NT family) may change nothing in the system
  // directory nor write under HKEY_LOCAL_MACHINE; nor, on Vista and later,
  // may a token that is not elevated, whatever the account. Elevated is
  // what GetTokenInformation(TokenElevation) answers: none before Vista.
  bool LimitedAccount = false;
  std::optional<bool> Elevated;
  std::u16string ModuleFileName = u"C:\\Program Files\\Pivane\\pivane.exe";
  // Mapped network drives: the letter, and the share it stands for; and
  // whether a folder on the way to the program on that share is one the
  // user may not read, so that its final path cannot be had.
  std::map<char16_t, std::u16string> NetworkDrives;
  bool ShareFolderUnreadable = false;
  // Letters made with subst: the letter, and the folder it stands for.
  std::map<char16_t, std::u16string> SubstDrives;
  // The program's image may be run but not read (execute access alone).
  bool ImageUnreadable = false;
  // The DLLs of the system directory, by name: those of 7; Vista lacks
  // CRYPTBASE and PROFAPI.
  std::set<std::string, NoCase> SystemDlls = {
      "shell32.dll", "ole32.dll",   "mpr.dll",     "uxtheme.dll",   "userenv.dll", "setupapi.dll",
      "apphelp.dll", "propsys.dll", "dwmapi.dll",  "cryptbase.dll", "oleacc.dll",  "clbcatq.dll",
      "ntmarta.dll", "version.dll", "profapi.dll", "comres.dll"};
  // Whether KERNEL32 has GetFinalPathNameByHandleW (Vista and later),
  // SetDefaultDllDirectories (8 and later, or the update), and
  // SetDllDirectoryW (XP SP1 and later); whether this process has
  // restricted the search with the second, and what it gave the third.
  bool FinalPathCall = true;
  bool DllDirectoriesCall = true;
  bool DllDirectoryCall = true;
  bool DllSearchRestricted = false;
  std::optional<std::u16string> DllDirectory;
  // COM apartments this thread has entered and not left.
  int ComApartments = 0;
  // The foreground: a process may set it while the last input was its own
  // (a click on one of its boxes), or where Windows started it in front;
  // Windows' prompt for rights takes the input from the process that asks.
  bool MayTakeForeground = false;
  std::set<std::uintptr_t> OurWindows;
  std::uintptr_t ForegroundWindow = 0;
  // Each ShellExecuteExW that started a program: "verb file parameters",
  // its working directory, its mask, whether the window handed with it was
  // ours, alive and in front, whether this process owned a mutex then and
  // had entered COM's apartment; how many windows of ours stood while the
  // copy ran, and how many of the messages the copy's broadcasts sent them
  // went unanswered (their thread waiting without looking at its queue).
  // What the prompt for rights answers; and what the copy does, giving its
  // exit code (0 and nothing done, where none is given). It takes CopyMs of
  // the model's clock.
  struct Launch {
    std::u16string Command;
    std::u16string Directory;
    Dword Mask = 0;
    bool OwnerInFront = false;
    bool OwnedMutex = false;
    bool InComApartment = false;
    std::size_t WindowsWhileCopyRan = 0;
    std::size_t Unanswered = 0;
  };
  std::vector<Launch> Started;
  // Other runs' broadcasts, which meet the windows of ours every 700 ms of
  // the clock while this thread waits on a lock or sleeps, five at most (a
  // wait that never ends then fails a test rather than hanging it): how
  // many came, the last one's time, how many of their messages still
  // wait for the thread to look at its queue, and how many went unanswered
  // (the thread waited on without looking).
  int Sends = 0;
  Dword LastSentMs = 0;
  std::size_t SentWaiting = 0;
  std::size_t Unanswered = 0;
  ElevationPrompt Prompt = ElevationPrompt::Yes;
  std::function<Dword(const std::u16string& parameters)> Copy;
  Dword CopyMs = 5000;

  // The process dies as it makes this (1-based) call: neither that call
  // nor any later one has any effect, and each fails.
  std::optional<int> DiesAtCall;
  bool Dead = false;

  int OpenKeys = 0;
  int OpenFiles = 0;
  int OpenFinds = 0;
  int OpenMutexes = 0;
  int OpenTokens = 0;
  int OpenProcesses = 0;

  // Heap allocations so far, the one (1-based) that is refused, and the
  // blocks not yet freed. A block may outlive the machine it came from:
  // the program's globals keep theirs from one test to the next.
  int Allocations = 0;
  std::optional<int> RefusedAllocation;
  int HeapBlocks = 0;
  // Bytes held in blocks now, and the most held at once.
  std::size_t HeapBytes = 0;
  std::size_t PeakHeapBytes = 0;
};

// The one machine the operations act on.
Machine& Windows();
// A new machine: nothing in the registry, no files, no calls.
void Reset();

void FailCall(const std::string& operation, int callNumber);

// The process ends, as Windows ends it: its handles are closed, and a
// mutex that no one else holds a handle to is gone with them.
void EndProcess();
// A new process on the same machine: what the machine holds stays (the
// registry, the files), and the process's own record starts anew. The program's globals are the
// caller's to reset.
void NewProcess();

RegistryKey& CreateKey(RegistryKey& root, const std::string& path);
RegistryKey* FindKey(RegistryKey& root, const std::string& path);
void SetValue(RegistryKey& root, const std::string& path, const std::string& name, Dword type,
              const std::string& data);
std::optional<RegistryValue> GetValue(RegistryKey& root, const std::string& path,
                                      const std::string& name);

// The windows handle every notice they hold, as they will once they answer
// again: a send that timed out is not withdrawn.
void WindowsCatchUp();

// The index in Calls of the first call that starts with prefix, or -1.
int CallIndex(const std::string& prefix);
int CallCount(const std::string& prefix);

}  // namespace Fake
