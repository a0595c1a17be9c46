# Sourced by the scripts that run Wine: quiet, no Mono or Gecko prompts, no
# crash debugger waiting for a person, and a guest address space that 32-bit
# Wine reserves quickly where it runs under qemu's user-mode emulator
# (ignored where i386 programs run natively).
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml,winedbg.exe=}
export QEMU_RESERVED_VA=0x81000000
