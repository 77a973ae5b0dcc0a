# Trees of Debian packages in the cache, made from Debian's archive with an apt state of
# their own and never installed into this machine's dpkg: the armhf sysroot
# (scripts/sysroot) and the throwaway amd64 root that scripts/package-check installs the
# package into. Sourced, after scripts/debian-packages.sh.
#
# The cache is ${XDG_CACHE_HOME:-~/.cache}/battest (BATTEST_CACHE overrides it): kept out
# of the build trees, which are removed freely, so that every build tree and clone of
# the project shares one download. Each tree is made once, under a temporary name that
# is renamed when it is complete, and made again when its list of packages changes or a
# file of it has gone.

battest_cache() {
  local base=${XDG_CACHE_HOME:-}
  [[ $base == /* ]] || base=${HOME:-/tmp}/.cache
  echo "${BATTEST_CACHE:-$base/battest}"
}

# The layout of the trees made here; a change to it makes them again.
debian_root_format=1

# debian_root NAME ARCH DB PACKAGE...: prints the directory of the tree NAME in the cache,
# made of PACKAGE... for ARCH and every package they depend on (not their
# recommendations), one version of each from the package lists that this machine's apt
# sources give, whatever this machine has installed. Each package is unpacked, none
# configured (no maintainer script runs). The tree's var/lib/dpkg is a dpkg database of
# them, with their shlibs and symbols files; DB says where its file lists place the files:
#   here    where they lie on this machine (the tree's directory before each path), so
#           that dpkg -S and dpkg-shlibdeps, given --admindir, find which package owns a
#           library of the tree;
#   inside  where they lie seen from inside the tree, for dpkg run in it by chroot.
debian_root() {
  local name=$1 arch=$2 db=$3; shift 3
  local cache dir want lock
  cache=$(battest_cache)
  dir=$cache/$name
  want=$(printf 'format %s\narch %s\ndb %s\npath %s\npackages %s\n' \
           "$debian_root_format" "$arch" "$db" "$dir" "$(printf '%s\n' "$@" | sort -u | tr '\n' ' ')")
  if ! debian_root_current "$dir" "$want"; then
    mkdir -p "$cache" || { setup_say "cannot make the cache directory $cache"; return 1; }
    # One maker at a time; a second waits, then finds the tree made.
    exec {lock}>"$cache/.$name.lock"
    flock "$lock"
    if ! debian_root_current "$dir" "$want"; then
      debian_root_make "$dir" "$arch" "$db" "$want" "$@" || { exec {lock}>&-; return 1; }
    fi
    exec {lock}>&-
  fi
  echo "$dir"
}

# debian_root_current DIR WANT: DIR was made as WANT says and none of its files has gone.
debian_root_current() {
  local dir=$1 want=$2
  [ -f "$dir/.battest-root" ] && [ "$(cat "$dir/.battest-root")" = "$want" ] &&
    (cd "$dir" && xargs -r -d '\n' -a .battest-files ls -d -- >/dev/null 2>&1)
}

# debian_root_apt WORK ARCH: an apt state of its own in WORK/apt for ARCH alone, with this
# machine's sources and keys, none of its apt.conf.d or preferences; prints its
# configuration file, for APT_CONFIG.
debian_root_apt() {
  local apt=$1/apt arch=$2
  mkdir -p "$apt/parts" "$apt/state/lists/partial" "$apt/cache/archives/partial"
  : >"$apt/state/status"
  {
    echo "Dir::Etc::Parts \"$apt/parts\";"
    echo "Dir::Etc::Preferences \"$apt/parts/none\";"
    echo "Dir::Etc::PreferencesParts \"$apt/parts\";"
    echo "Dir::State \"$apt/state\";"
    echo "Dir::State::status \"$apt/state/status\";"
    echo "Dir::Cache \"$apt/cache\";"
    echo "APT::Architecture \"$arch\";"
    echo "APT::Architectures { \"$arch\"; };"
    echo "APT::Install-Recommends \"false\";"
    echo "Acquire::Languages \"none\";"
    echo "Debug::NoLocking \"true\";"
    # As root, apt would download as its user _apt, who cannot enter root's home.
    [ "$(id -u)" != 0 ] || echo "APT::Sandbox::User \"root\";"
  } >"$apt/apt.conf"
  echo "$apt/apt.conf"
}

# debian_root_make DIR ARCH DB WANT PACKAGE...: makes DIR (see debian_root).
debian_root_make() {
  local dir=$1 arch=$2 db=$3 want=$4; shift 4
  local work conf started deb tree admin package info list file count size
  started=$(date +%s)
  work=$(mktemp -d "$dir.new.XXXXXX") || { setup_say "cannot write in $(dirname "$dir")"; return 1; }
  # An interrupted making leaves only its temporary directory, removed by the next one.
  local stale
  for stale in "$dir".new.*; do [ "$stale" = "$work" ] || rm -rf "$stale"; done
  tree=$work/tree
  admin=$tree/var/lib/dpkg
  # With the directories that a root's base-files and dpkg would have made.
  mkdir -p "$tree/tmp" "$tree/var/log" "$admin/info" "$admin/updates" "$admin/triggers" \
    "$admin/alternatives"
  echo "battest set-up: making $dir: $* for $arch, with what they need, from Debian's archive" >&2
  conf=$(debian_root_apt "$work" "$arch")
  if ! APT_CONFIG=$conf apt_update -q ||
     ! APT_CONFIG=$conf LC_ALL=C apt-get -q -y --download-only install "$@" >"$work/apt.log" 2>&1; then
    [ ! -s "$work/apt.log" ] || grep -E '^(E|W):' "$work/apt.log" >&2
    APT_CONFIG=$conf explain_missing "$arch" "$@"
    rm -rf "$work"
    return 1
  fi

  # Each package unpacked as mmdebstrap's extract variant does, and entered into the
  # database as installed: its control fields, file list, shlibs and symbols.
  : >"$admin/status"
  echo 1 >"$admin/info/format"
  : >"$admin/diversions"
  : >"$admin/statoverride"
  : >"$admin/available"
  count=0
  for deb in "$work"/apt/cache/archives/*.deb; do
    package=$(dpkg-deb -f "$deb" Package)
    info=$package
    [ "$(dpkg-deb -f "$deb" Multi-Arch)" != same ] || info=$package:$arch
    list=$admin/info/$info.list
    dpkg-deb --fsys-tarfile "$deb" |
      tar -x -v -C "$tree" --no-same-owner --keep-directory-symlink -f - |
      sed 's|^\./|/|; s|/$||; s|^$|/.|' >"$list.part" ||
      { setup_say "cannot unpack $deb into $tree"; rm -rf "$work"; return 1; }
    dpkg-deb -f "$deb" | awk '{ print } /^Package:/ { print "Status: install ok installed" }' >>"$admin/status"
    echo >>"$admin/status"
    rm -rf "$work/control" && dpkg-deb -e "$deb" "$work/control"
    for file in shlibs symbols triggers md5sums; do
      [ ! -e "$work/control/$file" ] || cp "$work/control/$file" "$admin/info/$info.$file"
    done
    echo "$package $(dpkg-deb -f "$deb" Version)" >>"$work/versions"
    count=$((count + 1))
  done
  # Links to absolute paths would lead out of the tree when it is not the root (a
  # sysroot, qemu-arm -L): made relative.
  local link target
  while IFS= read -r -d '' link; do
    target=$(readlink "$link")
    ln -sfn "$(realpath -ms --relative-to="$(dirname "$link")" "$tree$target")" "$link"
  done < <(find "$tree" -type l -lname '/*' -print0)
  # The files of every package, for the check that none has gone.
  cat "$admin"/info/*.list.part | sed 's|^/|./|' | sort -u >"$tree/.battest-files"
  for list in "$admin"/info/*.list.part; do
    if [ "$db" = here ]; then sed "s|^/|$dir/|" "$list" >"${list%.part}"; else mv "$list" "${list%.part}"; fi
    rm -f "$list"
  done
  sort "$work/versions" >"$tree/.battest-versions"
  printf '%s\n' "$want" >"$tree/.battest-root"

  # Complete: put in place of the old tree, if any.
  if [ -e "$dir" ]; then
    mv "$dir" "$work/old" || { setup_say "cannot move the old $dir aside"; return 1; }
  fi
  mv "$tree" "$dir" || { setup_say "cannot rename $tree to $dir"; return 1; }
  rm -rf "$work"
  size=$(du -sh "$dir" | cut -f1)
  echo "battest set-up: made $dir: $count packages, ${size}B, in $(($(date +%s) - started)) s" \
       "(remove it, or the whole cache $(dirname "$dir"), to free the space: it is made again when needed)" >&2
}
