// A visible top-level window whose thread stops answering messages: what a
// hung program looks like to a broadcast. It answers for a moment, writes
// the file named on its command line to say it is up, then sleeps for good.
// Given "--hang-on-broadcast" after that name, it instead answers until a
// settings change reaches it, and stops inside that message: its thread
// was answering a moment before, so no broadcast can take it for long hung.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

bool HangOnBroadcast = false;

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (HangOnBroadcast && message == WM_WININICHANGE) ::Sleep(INFINITE);
  return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
  HangOnBroadcast = argc > 2 && std::strcmp(argv[2], "--hang-on-broadcast") == 0;
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.hInstance = ::GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "PivaneHungWindow";
  ::RegisterClassA(&windowClass);
  HWND window = ::CreateWindowA("PivaneHungWindow", "Hung window", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                0, 0, 200, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
  if (!window) return 1;
  MSG message;
  for (DWORD start = ::GetTickCount(); ::GetTickCount() - start < 1000;) {
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
    ::Sleep(10);
  }
  if (argc > 1) {
    if (FILE* ready = std::fopen(argv[1], "w")) std::fclose(ready);
  }
  if (HangOnBroadcast) {
    while (::GetMessageA(&message, nullptr, 0, 0) > 0) ::DispatchMessageA(&message);
  }
  ::Sleep(INFINITE);
  return 0;
}
