# The Debian packages the scripts need, and their installation. Sourced.

# To build the programs with their tests and benchmarks, and run the tests. libpng-dev:
# PNG files of the screen; console-setup-linux: the screen's font (Terminus); gnuplot-nox:
# the report's pictures; tmux: tests that type at the program's terminal; socat: a link
# with buffering of its own between the program and a receiver; chromium: the report's
# page opened in a real browser.
build_packages=(cmake ninja-build g++ libgtest-dev libgmock-dev googletest libbenchmark-dev
                lrzsz tmux util-linux mount gnuplot-nox libpng-dev console-setup-linux socat
                chromium)
# To build for 32-bit ARM and run the result here; the ARM build links libpng for armhf
# from Debian's multiarch packages.
arm_packages=(g++-arm-linux-gnueabihf qemu-user libpng-dev:armhf)
# To boot the emulated ARM board (scripts/board, scripts/board-test): the emulator,
# Debian's armmp kernel with its modules, cpio for the initramfs, socat for the
# emulator's monitor, and the armhf libraries battest needs there. The board's busybox
# and lrzsz are downloaded into the build tree, not installed.
board_packages=(qemu-system-arm linux-image-armmp:armhf cpio socat libstdc++6:armhf
                libgcc-s1:armhf libpng16-16:armhf)
# To build the fuzz harnesses (the fuzz preset): clang with libFuzzer and the sanitizers'
# run-time libraries.
fuzz_packages=(clang-14 libclang-rt-14-dev)

# need_debian_packages PACKAGE...: installs those not installed when run as root (a
# package of another architecture, e.g. libc6:armhf, first adds that architecture to
# dpkg's); otherwise names them and fails.
need_debian_packages() {
  local package arch missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$package")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  if [ "$(id -u)" != 0 ]; then
    echo "Missing Debian packages: ${missing[*]} (run as root, or install them)" >&2
    return 1
  fi
  for package in "${missing[@]}"; do
    [[ $package == *:* ]] || continue
    arch=${package#*:}
    [ "$arch" = "$(dpkg --print-architecture)" ] ||
      dpkg --print-foreign-architectures | grep -qxF "$arch" ||
      dpkg --add-architecture "$arch"
  done
  echo "Installing: ${missing[*]}"
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
}
