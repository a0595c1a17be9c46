// The program's main module: the entry, its state, and the steps it takes
// from the command line to the end of an install or uninstall.
#pragma once

#include <string>
#include <string_view>
#include <vector>

inline constexpr char BoxCaption[] = "Pivane pour Windows 9x-XP";

// Set by ParseSwitches when /S is given; read by every message.
extern bool SilentMode;
// The system directory without trailing backslashes.
extern std::string SystemDir;
// The reference an install writes (the fallback one during an uninstall),
// and the one found in the registry.
extern std::string InstalledReference;
extern std::string CurrentReference;

// The entry: runs once from the command line to ExitProcess(0).
void PivaneMain();

// Startup.
std::vector<std::string> SplitCommandLine(const char* commandLine);
void ParseSwitches();
bool IsWindows3();
void ShowWin3Refusal();
std::string StripTrailingBackslashes(std::string text);
// Sets SystemDir; false when the platform gives no usable system directory.
bool ReadSystemDirectory();

// Option state: true when the machine-wide value names our library.
bool DetectOptionState();

// The two flows, each opened by its question.
void RunInstall();
void RunUninstall();
