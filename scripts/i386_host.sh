#!/usr/bin/env bash
# Whether this machine runs 32-bit x86 programs (the x86 Wine loader is one),
# and how: natively, or through an emulator registered with binfmt_misc; and
# whether that loader is installed.
#
#   i386_host.sh status   prints "native", "emulated" or "unavailable: why";
#                         exits 1 for the last
#   i386_host.sh setup    (make deps) where they cannot run and we are root:
#                         installs qemu-user-static and registers it for i386
#                         programs, unless a handler exists; says what it did
#                         in one line
#
# The probe is a 93-byte static i386 program that only calls exit(0), so the
# answer does not depend on any 32-bit library being installed.
set -uo pipefail

binfmt=/proc/sys/fs/binfmt_misc
emulator=/usr/bin/qemu-i386-static
loader=/usr/lib/wine/wine
# A 32-bit little-endian x86 ELF executable, as binfmt_misc matches it: the
# ABI bytes and the low bit of the type are masked out (what the emulator's
# own registration uses).
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

probe_runs() {
  local dir rc
  dir=$(mktemp -d) || return 1
  # ELF header (entry 0x08048054), one loadable segment of the whole file,
  # then: mov eax,1; xor ebx,ebx; int 0x80.
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'\
'\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'\
'\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00'\
'\x00\x00\x00\x00'\
'\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'\
'\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'\
'\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$dir/probe"
  chmod 700 "$dir/probe"
  "$dir/probe" 2>/dev/null
  rc=$?
  rm -rf "$dir"
  return $rc
}

# The name of an enabled binfmt_misc handler for i386 programs, if any.
i386_handler() {
  local f
  [ -d "$binfmt" ] || return 1
  for f in "$binfmt"/*; do
    case "${f##*/}" in register | status) continue ;; esac
    [ -f "$f" ] || continue
    if grep -qx enabled "$f" && grep -q '^magic 7f454c46010101' "$f" &&
      grep -q '^magic .*02000300$' "$f"; then
      echo "${f##*/}"
      return 0
    fi
  done
  return 1
}

status() {
  if probe_runs; then
    if [ ! -x "$loader" ]; then
      echo "unavailable: the 32-bit Wine loader $loader is not installed (package wine32:i386)"
      return 1
    fi
    if i386_handler >/dev/null; then echo emulated; else echo native; fi
    return 0
  fi
  if [ "$(id -u)" -ne 0 ]; then
    echo "unavailable: this kernel does not run 32-bit x86 programs and registering an emulator needs root"
  elif [ ! -d "$binfmt" ] || [ ! -w "$binfmt/register" ]; then
    echo "unavailable: this kernel does not run 32-bit x86 programs and binfmt_misc cannot be used here"
  elif [ ! -x "$emulator" ]; then
    echo "unavailable: this kernel does not run 32-bit x86 programs and qemu-user-static is not installed (make deps)"
  elif i386_handler >/dev/null; then
    echo "unavailable: this kernel does not run 32-bit x86 programs, even through the handler $(i386_handler)"
  else
    echo "unavailable: this kernel does not run 32-bit x86 programs and no emulator is registered for them (make deps)"
  fi
  return 1
}

setup() {
  probe_runs && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "deps: 32-bit x86 programs cannot run here and registering an emulator needs root: the x86 runtime checks will be skipped"
    return 0
  fi
  if [ ! -f "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null
  fi
  if [ ! -w "$binfmt/register" ]; then
    echo "deps: 32-bit x86 programs cannot run here and binfmt_misc cannot be mounted: the x86 runtime checks will be skipped"
    return 0
  fi
  local existing
  if existing=$(i386_handler); then
    echo "deps: 32-bit x86 programs do not run through the registered handler $existing: left as it is; the x86 runtime checks will be skipped"
    return 0
  fi
  if [ ! -x "$emulator" ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends qemu-user-static >/dev/null ||
      { echo "deps: qemu-user-static did not install: the x86 runtime checks will be skipped"; return 0; }
  fi
  # F: the kernel opens the emulator now, so it works in any mount
  # namespace; P: argv[0] kept; C: credentials of the program, not the emulator.
  if printf ':qov-i386:M::%s:%s:%s:FPC' "$magic" "$mask" "$emulator" >"$binfmt/register" 2>/dev/null &&
    probe_runs; then
    echo "deps: this kernel runs no 32-bit x86 programs: registered $emulator for them with binfmt_misc (handler qov-i386)"
  else
    echo "deps: registering $emulator for 32-bit x86 programs failed: the x86 runtime checks will be skipped"
  fi
  return 0
}

case "${1:-status}" in
  status) status ;;
  setup) setup ;;
  *) echo "usage: $0 status|setup" >&2; exit 2 ;;
esac
