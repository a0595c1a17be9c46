// The process starts here, with no C runtime before it: the loader calls
// this entry directly. It first runs what the compiler left for globals that
// need code to start (none does today: every global is constinit, but one
// that one day does must not stay silently unbuilt), then PivaneMain, which
// ends the process through ExitProcess(0).
#include <cstddef>

#include "driver/Pivane.h"

// The linker's list of static constructors: -1, each constructor, then null.
extern "C" void (*__CTOR_LIST__[])();

namespace {

// From the end of the list back, as GCC's own start-up runs them.
void RunStaticConstructors() {
  std::size_t count = 0;
  while (__CTOR_LIST__[count + 1] != nullptr) ++count;
  for (; count > 0; --count) __CTOR_LIST__[count]();
}

}  // namespace

// The loader leaves the stack aligned to 4 bytes only.
extern "C" __attribute__((force_align_arg_pointer)) void __stdcall PivaneEntry() {
  RunStaticConstructors();
  PivaneMain();
}
