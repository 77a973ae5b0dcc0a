# The Debian packages the scripts need, one list for each purpose, and their installation
# on this machine: only packages of its own architecture. Everything built for 32-bit ARM
# comes from Debian's armhf archive into a sysroot in the cache (scripts/debian-root.sh),
# never into this machine's dpkg. Sourced.

# To configure the project and build its programs: libpng-dev for PNG files of the
# screen, console-setup-linux for the screen's font (Terminus).
build_packages=(cmake ninja-build g++ libpng-dev console-setup-linux)
# To run the program on a battery bench (scripts/run): a private /sys/class/power_supply.
run_packages=(util-linux mount)
# To draw the report's pictures (scripts/report, and its tests).
report_packages=(gnuplot-nox)
# To build and run the tests and benchmarks: tmux for the tests that type at the
# program's terminal, lrzsz (rb) as the upload's receiver, socat for a link with
# buffering of its own between the program and a receiver, chromium to open the report's
# page in a real browser.
test_packages=(libgtest-dev libgmock-dev googletest libbenchmark-dev lrzsz tmux socat
               chromium)
# To build for 32-bit ARM and run the result here (the arm presets): the cross compiler,
# qemu-arm, and apt and dpkg, which make the armhf sysroot.
arm_packages=(g++-arm-linux-gnueabihf qemu-user apt dpkg)
# To boot the emulated ARM board (scripts/board, scripts/board-test): the emulator, cpio
# for its initramfs, socat for the emulator's monitor.
board_packages=(qemu-system-arm cpio socat)
# To make and check the Debian packages (scripts/package-check): dpkg-shlibdeps (dpkg-dev)
# and file, which CPack runs.
package_packages=(dpkg-dev file)
# The throwaway root that scripts/package-check installs the amd64 package into has these
# and the packages the package depends on: dpkg, and the programs it runs (sh, rm, diff,
# ldconfig).
package_root_packages=(dpkg dash coreutils diffutils libc-bin)
# To build the fuzz harnesses (the fuzz preset): clang with libFuzzer and the sanitizers'
# run-time libraries.
fuzz_packages=(clang-14 libclang-rt-14-dev)

# The armhf sysroot (scripts/sysroot), from Debian's armhf archive with the packages they
# need: the C and C++ run-times and their development files (the version of libstdc++
# that the cross compiler's is), libpng and zlib; the emulated board's kernel with its
# modules, busybox and lrzsz.
sysroot_packages() {
  local gcc_major
  gcc_major=$(arm-linux-gnueabihf-g++ -dumpversion 2>/dev/null | cut -d. -f1)
  printf '%s\n' libc6-dev "libstdc++-${gcc_major:-12}-dev" libpng-dev zlib1g-dev \
    linux-image-armmp busybox-static lrzsz
}

# A set-up message: one line of the project's own.
setup_say() { echo "battest set-up: $*" >&2; }

# apt_update [APT-GET OPTION...]: apt-get update, tried up to three times while a list
# fails (a mirror in mid-sync mends itself within minutes, or not for a day). Goes on
# with the lists that could be read, naming those that could not; fails only when no
# list could be read. The failed lists are left in $apt_failed_lists.
apt_update() {
  local try out status
  apt_failed_lists=
  for try in 1 2 3; do
    status=0
    out=$(LC_ALL=C apt-get "$@" update 2>&1) || status=$?
    apt_failed_lists=$(sed -n 's/^[EW]: Failed to fetch \([^ ]*\) *\(.*\)$/\1 (\2)/p' <<<"$out" |
                         sed 's/ *\[IP: [^]]*\]//; s/ ()$//')
    [ "$status" != 0 ] || [ -n "$apt_failed_lists" ] || return 0
    [ "$try" = 3 ] || sleep $((try * 10))
  done
  if [ -z "$apt_failed_lists" ]; then
    printf '%s\n' "$out" >&2
    setup_say "apt-get update failed (status $status); try: apt-get update, and see its messages"
    return 1
  fi
  setup_say "apt-get update: going on without the package lists that could not be read:" \
    "$(tr '\n' ';' <<<"$apt_failed_lists" | sed 's/;$//; s/;/; /g')"
}

# explain_missing ARCH PACKAGE...: after apt-get failed to install or download PACKAGE...
# for ARCH, one line for each that apt (with APT_CONFIG, if set) cannot offer or whose
# dependencies it cannot satisfy, naming it, the cause and what to try; or, when each of
# them could be had, one line naming them all.
explain_missing() {
  local arch=$1 package candidate said=0 lists; shift
  lists=$(cut -d' ' -f1 <<<"${apt_failed_lists:-}" | tr '\n' ' ' | sed 's/ $//')
  for package in "$@"; do
    candidate=$(LC_ALL=C apt-cache policy "$package" 2>/dev/null | sed -n 's/^ *Candidate: //p')
    if [ -z "$candidate" ] || [ "$candidate" = "(none)" ]; then
      setup_say "cannot get the Debian package $package:$arch: no package list that could be" \
        "read offers it${lists:+ (lists not read: $lists)}; try again once the mirror has" \
        "synced, or use another mirror in /etc/apt/sources.list.d"
      said=1
    elif ! LC_ALL=C apt-get -s -q install "$package" >/dev/null 2>&1; then
      setup_say "cannot get the Debian package $package:$arch $candidate: apt cannot satisfy" \
        "its dependencies from the lists it could read${lists:+ (not read: $lists)} (see" \
        "apt's messages above); try again once the mirror has synced"
      said=1
    fi
  done
  [ "$said" = 1 ] ||
    setup_say "apt-get failed on the Debian packages $*, each of which it offers (see its messages above)"
}

# missing_debian_packages PACKAGE...: the packages of this machine's architecture that
# are not installed, one a line, each once.
missing_debian_packages() {
  local package
  for package in $(printf '%s\n' "$@" | awk '!seen[$0]++'); do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      echo "$package"
  done
}

# need_debian_packages PACKAGE...: installs those not installed when run as root;
# otherwise names them all, in one line with the command that installs them, and fails.
need_debian_packages() {
  local -a missing
  mapfile -t missing < <(missing_debian_packages "$@")
  [ ${#missing[@]} -gt 0 ] || return 0
  if [ "$(id -u)" != 0 ]; then
    setup_say "missing Debian packages: ${missing[*]}; install them as root with: apt-get install ${missing[*]}"
    return 1
  fi
  local started=$SECONDS
  echo "Installing: ${missing[*]}"
  apt_update -q || return 1
  if ! DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
         "${missing[@]}"; then
    mapfile -t missing < <(missing_debian_packages "${missing[@]}")
    explain_missing "$(dpkg --print-architecture)" "${missing[@]}"
    return 1
  fi
  setup_say "installed ${missing[*]} in $((SECONDS - started)) s"
}
