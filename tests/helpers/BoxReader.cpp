// Reads what a message box shows, as the user sees it: waits for the
// visible top-level window whose caption is the one given, reads the text
// of its label in UTF-16 and writes it, in UTF-8, to the file named.
// MessageBoxA and MessageBoxW end in the same box, so this reads either.
// usage: pivane_box_reader OUTPUT CAPTION
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::wstring Caption;
HWND Found = nullptr;

BOOL CALLBACK Look(HWND window, LPARAM) {
  wchar_t text[256];
  if (::IsWindowVisible(window) && ::GetWindowTextW(window, text, 256) > 0 && Caption == text) {
    Found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  for (const char* c = argv[2]; *c; ++c) Caption += static_cast<wchar_t>(*c);  // ASCII
  for (DWORD start = ::GetTickCount(); !Found; ::Sleep(100)) {
    if (::GetTickCount() - start > 60000) return 3;
    ::EnumWindows(Look, 0);
  }
  wchar_t label[1024];
  const int length = ::GetWindowTextW(::GetDlgItem(Found, 0xFFFF), label, 1024);
  if (length <= 0) return 4;
  char utf8[4096];
  const int bytes =
      ::WideCharToMultiByte(CP_UTF8, 0, label, length, utf8, sizeof utf8, nullptr, nullptr);
  FILE* out = std::fopen(argv[1], "wb");
  if (!out || bytes <= 0) return 5;
  const bool written = std::fwrite(utf8, 1, bytes, out) == static_cast<std::size_t>(bytes);
  return std::fclose(out) == 0 && written ? 0 : 5;
}
