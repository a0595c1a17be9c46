// A top-level window that stands for any program of the user's: each time a
// settings change is broadcast, it reads the per-user shell icon size there
// and then, and appends what it read as one line to the log named first on
// its command line ("(none)" when the value cannot be read). It creates the
// file named second once its window exists.
#include <windows.h>

#include <cstdio>

namespace {

const char* LogPath = nullptr;

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
  if (message == WM_WININICHANGE) RecordIconSize();
  if (message == WM_DESTROY) ::PostQuitMessage(0);
  return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  LogPath = argv[1];
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
