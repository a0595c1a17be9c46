// The process starts here, with no C runtime before it: the loader calls
// this entry directly. Every global is constant-initialized, so nothing has
// to run first, and PivaneMain ends the process through ExitProcess(0).
#include "driver/Pivane.h"

// The loader leaves the stack aligned to 4 bytes only.
extern "C" __attribute__((force_align_arg_pointer)) void __stdcall PivaneEntry() { PivaneMain(); }
