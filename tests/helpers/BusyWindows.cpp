// Busy programs beside a refresh: K top-level windows, each on a thread of
// its own, that take D ms over each settings change, pumping nothing
// meanwhile, as a program busy with what the change asks of it does; with
// "hung" for D, windows whose threads stop pumping for good a second after
// they are up. Each window appends to the log named first "W<n> <tick>
// <size>" for the icon size it read at each change, and a watcher appends
// "R <tick> <size>" each time the size it reads every 10 ms changes, so
// that the time the size read "16" can be told. The file named second is
// made once every window is up.
// usage: pivane_busy_windows LOG READY K D|hung
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* LogPath = nullptr;
DWORD TakesMs = 0;
bool Hung = false;
CRITICAL_SECTION LogLock;
HANDLE Up = nullptr;

void ReadIconSize(char* text, std::size_t size) {
  std::snprintf(text, size, "(none)");
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop\\WindowMetrics", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return;
  }
  char data[64] = {};
  DWORD type = 0;
  DWORD length = sizeof data - 1;
  if (::RegQueryValueExA(key, "Shell Icon Size", nullptr, &type, reinterpret_cast<BYTE*>(data),
                         &length) == ERROR_SUCCESS &&
      type == REG_SZ) {
    std::snprintf(text, size, "%s", data);
  }
  ::RegCloseKey(key);
}

void Log(const char* who, const char* size) {
  ::EnterCriticalSection(&LogLock);
  if (FILE* log = std::fopen(LogPath, "a")) {
    std::fprintf(log, "%s %lu %s\n", who, ::GetTickCount(), size);
    std::fclose(log);
  }
  ::LeaveCriticalSection(&LogLock);
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_WININICHANGE) {
    char name[16];
    std::snprintf(name, sizeof name, "W%d",
                  static_cast<int>(::GetWindowLongA(window, GWL_USERDATA)));
    char size[64];
    ReadIconSize(size, sizeof size);
    Log(name, size);
    ::Sleep(TakesMs);
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

DWORD WINAPI WindowThread(void* index) {
  HWND window =
      ::CreateWindowA("PivaneBusyWindow", "Busy window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                      200, 100, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
  if (!window) return 1;
  ::SetWindowLongA(window, GWL_USERDATA, static_cast<LONG>(reinterpret_cast<INT_PTR>(index)));
  MSG message;
  for (DWORD start = ::GetTickCount(); ::GetTickCount() - start < 1000;) {
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
    ::Sleep(10);
  }
  ::ReleaseSemaphore(Up, 1, nullptr);
  if (Hung) ::Sleep(INFINITE);
  while (::GetMessageA(&message, nullptr, 0, 0) > 0) ::DispatchMessageA(&message);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) return 2;
  LogPath = argv[1];
  const int count = std::atoi(argv[3]);
  Hung = std::strcmp(argv[4], "hung") == 0;
  TakesMs = Hung ? 0 : static_cast<DWORD>(std::atoi(argv[4]));
  ::InitializeCriticalSection(&LogLock);
  Up = ::CreateSemaphoreA(nullptr, 0, count > 0 ? count : 1, nullptr);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.hInstance = ::GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "PivaneBusyWindow";
  ::RegisterClassA(&windowClass);
  // One window up at a time: threads that make their windows at once
  // crashed 32-bit Wine under qemu-user.
  for (INT_PTR i = 0; i < count; ++i) {
    ::CreateThread(nullptr, 0, WindowThread, reinterpret_cast<void*>(i), 0, nullptr);
    ::WaitForSingleObject(Up, INFINITE);
  }
  if (FILE* ready = std::fopen(argv[2], "w")) std::fclose(ready);
  // The watcher; it never outlives a caller that forgot it by more than
  // ten minutes.
  char last[64] = "";
  for (DWORD start = ::GetTickCount(); ::GetTickCount() - start < 600000;) {
    char now[64];
    ReadIconSize(now, sizeof now);
    if (std::strcmp(now, last) != 0) {
      Log("R", now);
      std::snprintf(last, sizeof last, "%s", now);
    }
    ::Sleep(10);
  }
  ::ExitProcess(0);
}
