// Whether a 32-bit program runs under WOW64, and so must reach the 64-bit
// registry view and the native system directory that the shell reads.
#pragma once

#include <cstdint>
#include <optional>

namespace WindowsOps {

// processMachine: what IsWow64Process2 says of the process (10 version 1511
// and later), where it answers; wow64Process: what IsWow64Process says.
// The latter answers FALSE for an x86 program on Windows on ARM, which
// redirects it as x64 does; the former names any emulation, and answers
// IMAGE_FILE_MACHINE_UNKNOWN (0; the SDK's macro, which this header may
// be seen after) for a process that is not under WOW64.
constexpr bool RunsUnderWow64(std::optional<std::uint16_t> processMachine, bool wow64Process) {
  return processMachine ? *processMachine != 0 : wow64Process;
}

}  // namespace WindowsOps
