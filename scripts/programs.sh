# Builds programs for scripts/run and scripts/report. Sourced.
source "$(dirname "${BASH_SOURCE[0]}")/debian-packages.sh"

# build_programs PACKAGES TARGET...: builds the programs TARGET... in build/ (the default
# preset's tree), first installing (as root) or naming the Debian packages they need:
# build_packages and the list named PACKAGES. A tree not yet configured is configured
# without the tests and benchmarks, whose packages (GoogleTest, Google Benchmark) the
# programs do not need; ./scripts/test turns them on. Quiet unless it fails.
build_programs() {
  local -n extra=$1
  shift
  need_debian_packages "${build_packages[@]}" "${extra[@]}" || return 1
  local repo out
  repo=$(cd -P "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  if ! out=$( { cd "$repo" &&
                { [ -e build/CMakeCache.txt ] ||
                    cmake --preset default -DBATTEST_TESTS=OFF -DBATTEST_BENCH=OFF; } &&
                cmake --build --preset default --target "$@"; } 2>&1); then
    printf '%s\n' "$out" >&2
    return 1
  fi
}
