// Starts a program with a command line exactly as given, which a launch
// from Unix cannot do: Wine quotes and escapes each argument it passes on.
// The one argument is the command line with each double quote written as
// %22; the exit code is the started program's, or 255 when it cannot start.
#include <windows.h>

#include <string>

int main(int argc, char** argv) {
  if (argc != 2) return 255;
  std::string commandLine;
  for (const char* c = argv[1]; *c; ++c) {
    if (c[0] == '%' && c[1] == '2' && c[2] == '2') {
      commandLine += '"';
      c += 2;
    } else {
      commandLine += *c;
    }
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    return 255;
  }
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 255;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return static_cast<int>(code);
}
