#!/usr/bin/env bash
# Installs the Debian packages that the builds and tests need, and only those that are missing.
set -euo pipefail

packages=(
  cmake g++ make ninja-build pkg-config            # native build
  googletest libgtest-dev libpng-dev zlib1g-dev libisal-dev   # native tests and vphost's PNG input/output
  clang libclang-rt-14-dev             # fuzz targets (libFuzzer) and sanitizer runtimes
  lld llvm                             # lld-link and llvm-dlltool: the conformance host in the platform's C++ ABI
  g++-mingw-w64-i686-win32 gcc-mingw-w64-i686-win32 binutils-mingw-w64-i686   # the 32-bit Windows build
  python3                              # the platform checks on the Windows binaries (platform/)
  wine wine32:i386                     # runs the Windows tests
  g++-multilib libpng16-16:i386 zlib1g:i386 qemu-user   # the engine tests on 32-bit Linux under qemu-i386 as a Pentium III
  xvfb xauth                           # a display for the dialog tests
  imagemagick                          # turns screenshots into PNG for the README
  x11-apps                             # xwd, for screenshots under Xvfb
  fonts-wine fonts-wqy-microhei        # Wine's own fonts (caption buttons) and CJK glyphs for the dialogs
  locales                              # localedef, for the Japanese and Korean screenshots
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}" >&2
sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
# A mirror caught mid-sync fails an index now and then: try again, and go on with what did come in
# (the install below says clearly if a package is still not to be had).
for attempt in 1 2 3; do
  $sudo apt-get update -qq && break
  echo "install-deps: the package index did not all come in (try $attempt of 3)" >&2
  sleep $((attempt * 10))
done
install() { $sudo apt-get install -y -qq --no-install-recommends "$@" "${missing[@]}" >/dev/null; }
# When one architecture's security index is missing, the 32-bit libraries cannot match their
# 64-bit twins' versions; the point release holds both at one version.
if ! install; then
  echo "install-deps: trying again with the packages of the point release alone" >&2
  install -t "$(. /etc/os-release && echo "$VERSION_CODENAME")"
fi
