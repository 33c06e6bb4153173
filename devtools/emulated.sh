#!/usr/bin/env bash
# Runs a command as on a machine whose kernel has its 32-bit emulation off:
# every i386 program (Wine's 32-bit loader, so every Windows program of the
# tests) goes through QEMU's user-mode emulator, several times slower to
# start than natively. The emulator is registered in a binfmt_misc of a user
# and mount namespace of its own, so nothing else on the machine changes.
#   bash devtools/emulated.sh bash devtools/test.sh
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
LUMENDOR_EMULATE_I386=1 bash "$here/setup.sh" >&2
qemu="$(readlink -f "$(command -v qemu-i386)")"
exec unshare --user --map-root-user --mount bash -c '
  set -e
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  magic="\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00"
  mask="\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff"
  echo ":qemu-i386:M::$magic:$mask:$1:F" > /proc/sys/fs/binfmt_misc/register
  grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386
  /lib/ld-linux.so.2 --version >/dev/null
  shift
  exec "$@"' _ "$qemu" "$@"
