// Starts a program with a command line exactly as given, which a launch
// from Unix cannot do: Wine quotes and escapes each argument it passes on.
// The last argument is the command line with each double quote written as
// %22, and each character outside ASCII as %u and its four hex digits in
// UTF-16 (an argument of this launcher's own comes in the ANSI code page,
// which may lack it); the exit code is the started program's, or 255 when
// it cannot start.
//
// With --limited first, the program gets the token that a double-click
// gives on Vista and later: the limited one linked to this process's full
// token, which reads as not elevated.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

HANDLE LimitedToken() {
  HANDLE own = nullptr;
  HANDLE primary = nullptr;
  TOKEN_LINKED_TOKEN linked{};
  DWORD size = 0;
  if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &own) &&
      ::GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &size)) {
    ::DuplicateTokenEx(linked.LinkedToken, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation,
                       TokenPrimary, &primary);
    ::CloseHandle(linked.LinkedToken);
  }
  if (own) ::CloseHandle(own);
  return primary;
}

}  // namespace

int main(int argc, char** argv) {
  const bool limited = argc == 3 && std::string(argv[1]) == "--limited";
  if (argc != 2 && !limited) return 255;
  std::wstring commandLine;
  for (const char* c = argv[argc - 1]; *c; ++c) {
    if (c[0] == '%' && c[1] == '2' && c[2] == '2') {
      commandLine += L'"';
      c += 2;
    } else if (c[0] == '%' && c[1] == 'u' && std::strlen(c) >= 6) {
      commandLine += static_cast<wchar_t>(std::strtoul(std::string(c + 2, 4).c_str(), nullptr, 16));
      c += 5;
    } else {
      commandLine += static_cast<wchar_t>(static_cast<unsigned char>(*c));
    }
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  HANDLE token = limited ? LimitedToken() : nullptr;
  if (limited && !token) return 255;
  const BOOL started =
      limited ? ::CreateProcessAsUserW(token, nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                                       0, nullptr, nullptr, &startup, &process)
              : ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &startup, &process);
  if (token) ::CloseHandle(token);
  if (!started) return 255;
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 255;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return static_cast<int>(code);
}
