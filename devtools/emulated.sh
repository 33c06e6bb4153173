#!/usr/bin/env bash
# Runs a command as on a machine whose kernel has its 32-bit emulation off:
# every i386 program (Wine's 32-bit loader, so every Windows program of the
# tests) goes through QEMU's user-mode emulator, several times slower to
# start than natively.
#   bash devtools/emulated.sh bash devtools/test.sh
# The emulator is registered for i386 programs machine-wide, as such a
# machine has it (a registration in a user namespace of its own would keep
# the rest of the machine out of it, but takes the tests' root rights on the
# files: chattr fails there), and the registration is taken away again at
# the end unless it was there before.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
LUMENDOR_EMULATE_I386=1 bash "$here/setup.sh" >&2
sudo_() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
qemu="$(readlink -f "$(command -v qemu-i386)")"
binfmt=/proc/sys/fs/binfmt_misc
[ -e "$binfmt/register" ] || sudo_ mount -t binfmt_misc binfmt_misc "$binfmt"
if [ ! -e "$binfmt/qemu-i386" ]; then
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  echo ":qemu-i386:M::$magic:$mask:$qemu:F" | sudo_ tee "$binfmt/register" >/dev/null
  trap 'echo -1 | sudo_ tee "$binfmt/qemu-i386" >/dev/null' EXIT
fi
grep -qx enabled "$binfmt/qemu-i386"
"$@"
