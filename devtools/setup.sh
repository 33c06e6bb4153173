#!/usr/bin/env bash
# Prepares this Debian machine for building and testing the client.
# Idempotent: every step checks what is already there first.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cache="${LUMENDOR_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/lumendor}"
mkdir -p "$cache"

sudo_() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

# A mirror in the middle of a sync fails one index now and then ("File has
# unexpected size"): try again a little later, and if an index still fails,
# go on with what was fetched; the install that follows says what is missing.
apt_update() {
  local try
  for try in 1 2 3; do
    sudo_ env DEBIAN_FRONTEND=noninteractive apt-get update -q && return 0
    [ $try -lt 3 ] && sleep 20
  done
  echo "setup: apt-get update failed three times; going on with the indexes at hand" >&2
}

packages=(
  build-essential cmake ninja-build dpkg-dev
  g++-mingw-w64-i686 mingw-w64-tools
  wine wine32 wine64
  xvfb openbox x11-apps x11-utils xauth imagemagick libx11-dev xdotool
  python3 python3-pytest gcovr
  util-linux iproute2
  fonts-wqy-microhei
  googletest libjsoncpp-dev
  clang libclang-rt-14-dev
)

need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  sudo_ dpkg --add-architecture i386
  need_update=1
fi

# Source entries for the packages we build ourselves, derived from the
# machine's own binary entries (same URIs, suites and components).
src_list=/etc/apt/sources.list.d/lumendor-deb-src.sources
if [ ! -f "$src_list" ]; then
  tmp="$(mktemp)"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    [ "$f" = "$src_list" ] && continue
    sed -n 's/^Types:.*\bdeb\b.*/Types: deb-src/;p' "$f" >>"$tmp"
    echo >>"$tmp"
  done
  if [ -f /etc/apt/sources.list ]; then
    # one-line format: turn "deb uri suite comps" into a deb822 stanza
    awk '$1=="deb" { printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:", $2, $3; for (i=4;i<=NF;i++) printf " %s", $i; printf "\n\n" }' \
      /etc/apt/sources.list >>"$tmp"
  fi
  if grep -q '^Types: deb-src' "$tmp"; then
    sudo_ install -m 644 "$tmp" "$src_list"
    need_update=1
  fi
  rm -f "$tmp"
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ] || [ $need_update -eq 1 ]; then
  apt_update
fi
if [ ${#missing[@]} -gt 0 ]; then
  # Where an update index failed (one architecture's security updates, say),
  # the two architectures' candidates can disagree and the 32-bit libraries
  # cannot be installed beside the 64-bit ones: then take every package from
  # the release itself, whose indexes agree.
  if ! sudo_ env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"; then
    . /etc/os-release
    echo "setup: installing from $VERSION_CODENAME itself" >&2
    sudo_ env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
      -t "$VERSION_CODENAME" "${missing[@]}"
  fi
fi

# Wine runs 32-bit programs through its 32-bit loader, a Linux i386 program.
# Some kernels of this kind boot with their 32-bit emulation turned off
# ("32-bit emulation disabled" in the kernel log, and the loader fails with
# "Exec format error"): there the loader runs under QEMU's user-mode
# emulation, registered for i386 programs. Only QEMU 8 and later will do:
# 7.2 (the release's own) walks its page table page by page on every map,
# and Wine maps a lot, so that one program takes a minute to start. The
# release's backports carry a current QEMU; nothing else is taken from them.
# LUMENDOR_EMULATE_I386=1 installs that emulator on any machine, for
# devtools/emulated.sh, which registers it inside a namespace of its own.
install_qemu() {
  qemu_major() { { qemu-i386 --version 2>/dev/null || echo 0; } | sed -n '1s/[^0-9]*\([0-9]*\).*/\1/p'; }
  if [ "$(qemu_major)" -lt 8 ] 2>/dev/null || [ -z "$(qemu_major)" ]; then
    . /etc/os-release
    bpo_list=/etc/apt/sources.list.d/lumendor-backports.sources
    if [ ! -f "$bpo_list" ]; then
      printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: %s-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$VERSION_CODENAME" | sudo_ tee "$bpo_list" >/dev/null
    fi
    apt_update
    sudo_ env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
      -t "$VERSION_CODENAME-backports" qemu-user-static
  fi
}
if [ "${LUMENDOR_EMULATE_I386:-0}" = 1 ]; then install_qemu; fi
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  install_qemu
  qemu="$(readlink -f "$(command -v qemu-i386)")"
  binfmt=/proc/sys/fs/binfmt_misc
  [ -e "$binfmt/register" ] || sudo_ mount -t binfmt_misc binfmt_misc "$binfmt"
  # The F flag opens the interpreter when it is registered: an entry made
  # for another (older) file keeps running that file, so it is made again.
  if [ -e "$binfmt/qemu-i386" ] && ! grep -qx "interpreter $qemu" "$binfmt/qemu-i386"; then
    echo -1 | sudo_ tee "$binfmt/qemu-i386" >/dev/null
  fi
  if [ ! -e "$binfmt/qemu-i386" ]; then
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    echo ":qemu-i386:M::$magic:$mask:$qemu:F" | sudo_ tee "$binfmt/register" >/dev/null
  fi
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 || { echo "setup: 32-bit programs cannot run here" >&2; exit 1; }
fi

# jsoncpp for MinGW, from Debian's source package.
jsoncpp_prefix="$cache/jsoncpp-mingw"
if [ ! -f "$jsoncpp_prefix/lib/cmake/jsoncpp/jsoncppConfig.cmake" ]; then
  work="$cache/jsoncpp-src"
  rm -rf "$work" && mkdir -p "$work"
  (cd "$work" && apt-get source -q --download-only libjsoncpp >/dev/null)
  dsc="$(ls "$work"/libjsoncpp_*.dsc | head -n1)"
  (cd "$work" && dpkg-source -x "$(basename "$dsc")" src >/dev/null)
  cmake -S "$work/src" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$here/../cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$jsoncpp_prefix" \
    -DJSONCPP_WITH_TESTS=OFF -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF \
    -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF >/dev/null
  cmake --build "$work/build" --target install >/dev/null
  rm -rf "$work"
fi

echo "setup: ok (cache $cache)"
