// A top-level window that stands for any program of the user's: each time a
// settings change is broadcast, it reads the per-user shell icon size there
// and then, and appends what it read as one line to the log named first on
// its command line ("(none)" when the value cannot be read). It creates the
// file named second once its window exists.
//
// A third argument, a number of milliseconds, makes it take that long over
// each broadcast while it goes on answering every other message, as a busy
// program does: never hung, only slow. With "--end-pivane" after it, the
// first broadcast also ends every pivane.exe of the prefix from outside, as
// the Task Manager would, while that run waits on this very broadcast.
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* LogPath = nullptr;
DWORD SlowMs = 0;
bool EndPivane = false;

void EndEveryPivane() {
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32First(snapshot, &entry); more;
       more = ::Process32Next(snapshot, &entry)) {
    if (::lstrcmpiA(entry.szExeFile, "pivane.exe") != 0) continue;
    if (HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID)) {
      ::TerminateProcess(process, 1);
      ::CloseHandle(process);
    }
  }
  ::CloseHandle(snapshot);
}

// Answers every other message while it takes its time over this one.
void TakeTime() {
  MSG message;
  for (DWORD start = ::GetTickCount(); ::GetTickCount() - start < SlowMs;) {
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
    ::Sleep(10);
  }
}

void RecordIconSize() {
  char text[64] = "(none)";
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop\\WindowMetrics", 0,
                      KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
    char data[64] = {};
    DWORD type = 0;
    DWORD size = sizeof data - 1;
    if (::RegQueryValueExA(key, "Shell Icon Size", nullptr, &type, reinterpret_cast<BYTE*>(data),
                           &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
      std::snprintf(text, sizeof text, "%s", data);
    }
    ::RegCloseKey(key);
  }
  if (FILE* log = std::fopen(LogPath, "a")) {
    std::fprintf(log, "%s\n", text);
    std::fclose(log);
  }
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_WININICHANGE) {
    RecordIconSize();
    if (EndPivane) {
      EndPivane = false;
      EndEveryPivane();
    }
    TakeTime();
  }
  if (message == WM_DESTROY) ::PostQuitMessage(0);
  return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  LogPath = argv[1];
  if (argc > 3) SlowMs = static_cast<DWORD>(std::atoi(argv[3]));
  EndPivane = argc > 4 && std::strcmp(argv[4], "--end-pivane") == 0;
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.hInstance = ::GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "PivaneBroadcastWitness";
  ::RegisterClassA(&windowClass);
  HWND window = ::CreateWindowA("PivaneBroadcastWitness", "Broadcast witness",
                                WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr,
                                windowClass.hInstance, nullptr);
  if (!window) return 1;
  if (FILE* ready = std::fopen(argv[2], "w")) std::fclose(ready);
  // Never outlive a test that forgot it.
  ::SetTimer(window, 1, 600000, nullptr);
  MSG message;
  while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER) break;
    ::DispatchMessageA(&message);
  }
  return 0;
}
