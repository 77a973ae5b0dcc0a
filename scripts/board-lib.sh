# The emulated ARM board of scripts/board and scripts/board-test. Sourced.
#
# QEMU's `virt` machine with Debian's armmp kernel, a virtio GPU whose DRM driver gives
# /dev/fb0 through its framebuffer emulation, a virtio keyboard, a shared folder (9p), and
# the USB gadget serial port on the kernel's dummy host controller: /dev/ttyGS0 is the
# terminal's port 11, /dev/ttyACM0 the PC's side of the same link. The initramfs is made
# of Debian's armhf packages and the project's armhf battest, under the build tree.

board_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$board_repo/scripts/debian-packages.sh"

# The screen of the board: twice the program's 320 x 240.
board_width=640 board_height=480

# board_kernel: the newest armmp kernel installed (linux-image-armmp:armhf), by version.
board_kernel() {
  local k
  k=$(ls -d /boot/vmlinuz-*-armmp 2>/dev/null | sort -V | tail -n 1)
  [ -n "$k" ] || return 1
  echo "${k#/boot/vmlinuz-}"
}

# board_missing: says what the board needs that this machine lacks; status 1 then.
board_missing() {
  local missing=()
  command -v qemu-system-arm >/dev/null || missing+=(qemu-system-arm)
  board_kernel >/dev/null || missing+=(linux-image-armmp:armhf)
  command -v cpio >/dev/null || missing+=(cpio)
  command -v socat >/dev/null || missing+=(socat)
  [ -e /usr/lib/arm-linux-gnueabihf/libstdc++.so.6 ] || missing+=(libstdc++6:armhf)
  [ -e /usr/lib/arm-linux-gnueabihf/libpng16.so.16 ] || missing+=(libpng16-16:armhf)
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "${missing[*]}"
  return 1
}

# board_debs DIR: Debian's armhf busybox and lrzsz, downloaded once into DIR and unpacked
# there (not installed: their armhf builds would replace the PC's own).
board_debs() {
  local dir=$1 package
  mkdir -p "$dir"
  for package in busybox-static lrzsz; do
    if ! ls "$dir/${package}_"*_armhf.deb >/dev/null 2>&1; then
      (cd "$dir" && apt-get download -q "$package:armhf" 2>&1 | grep -v '^W: Download is performed unsandboxed') ||
        true
      ls "$dir/${package}_"*_armhf.deb >/dev/null 2>&1 ||
        { echo "board: cannot download $package:armhf (apt-get update?)" >&2; return 1; }
    fi
  done
  rm -rf "$dir/root" && mkdir -p "$dir/root"
  for package in "$dir"/*_armhf.deb; do dpkg-deb -x "$package" "$dir/root"; done
}

# board_libraries ROOT FILE...: copies into ROOT/lib the armhf libraries the programs
# FILE... need, and theirs, with the loader.
board_libraries() {
  local root=$1 name path dir found; shift
  local -a queue=("$@")
  local -A seen=()
  mkdir -p "$root/lib"
  cp -L /usr/lib/arm-linux-gnueabihf/ld-linux-armhf.so.3 "$root/lib/"
  while [ ${#queue[@]} -gt 0 ]; do
    path=${queue[0]}; queue=("${queue[@]:1}")
    for name in $(readelf -d "$path" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
      [ -z "${seen[$name]:-}" ] || continue
      seen[$name]=1
      found=
      for dir in /usr/lib/arm-linux-gnueabihf /lib/arm-linux-gnueabihf /usr/arm-linux-gnueabihf/lib; do
        [ -e "$dir/$name" ] && found=$dir/$name && break
      done
      [ -n "$found" ] || { echo "board: no armhf $name for $path" >&2; return 1; }
      cp -L "$found" "$root/lib/$name"
      queue+=("$found")
    done
  done
}

# board_modules ROOT VERSION MODULE...: copies the kernel modules and those they depend
# on into ROOT/modules, with the order to load them in (dependencies first).
board_modules() {
  local root=$1 version=$2; shift 2
  local base=/usr/lib/modules/$version
  local -A done_=()
  mkdir -p "$root/modules"
  : >"$root/modules/order"
  add_module() {
    local name=$1 line dep
    line=$(grep -E "(^|/)${name}\.ko(\.[a-z]+)?:" "$base/modules.dep" | head -n 1)
    [ -n "$line" ] || { echo "board: no module $name in $version" >&2; return 1; }
    local file=${line%%:*}
    [ -z "${done_[$file]:-}" ] || return 0
    done_[$file]=1
    # modules.dep lists a module's dependencies nearest first: load them from the end.
    local -a deps=(${line#*:})
    local i
    for ((i = ${#deps[@]} - 1; i >= 0; i--)); do
      dep=${deps[i]##*/}
      add_module "${dep%%.ko*}" || return 1
    done
    cp "$base/$file" "$root/modules/"
    echo "${file##*/}" >>"$root/modules/order"
  }
  local m
  for m in "$@"; do add_module "$m" || return 1; done
}

# board_build BATTEST DIR: makes DIR/initrd.gz and DIR/vmlinuz for the armhf program
# BATTEST.
board_build() {
  local battest=$1 dir=$2 version
  version=$(board_kernel) || { echo "board: no armmp kernel installed" >&2; return 1; }
  board_debs "$dir/debs" || return 1
  local root=$dir/initrd
  rm -rf "$root" && mkdir -p "$root"/{bin,usr/bin,proc,sys,dev,tmp,run}
  cp "$dir/debs/root/bin/busybox" "$root/bin/"
  cp "$dir/debs/root/usr/bin/rb" "$dir/debs/root/usr/bin/sb" "$root/usr/bin/"
  ln -s sb "$root/usr/bin/sz"
  cp "$battest" "$root/usr/bin/battest"
  cp "$board_repo/scripts/board-init" "$root/init"
  chmod 755 "$root/init"
  board_libraries "$root" "$battest" "$root/usr/bin/rb" "$root/usr/bin/sb" || return 1
  # Framebuffer (virtio GPU), keyboard and its events, the shared folder, and the gadget:
  # its serial function over the dummy controller, and the PC's ACM driver.
  board_modules "$root" "$version" virtio_mmio virtio-gpu virtio_input evdev 9pnet_virtio 9p \
    dummy_hcd u_serial usb_f_acm g_serial cdc-acm || return 1
  (cd "$root" && find . | cpio -o -H newc --quiet) | gzip -1 >"$dir/initrd.gz"
  cp "/boot/vmlinuz-$version" "$dir/vmlinuz"
}

# board_qemu_args DIR SHARE MODE: the emulator's arguments for the board made in DIR,
# with the folder SHARE shared, MODE test or interactive (the kernel's board= setting).
board_qemu_args() {
  local dir=$1 share=$2 mode=$3
  printf '%s\n' -M virt,highmem=off -cpu cortex-a15 -m 256 -smp 1 -nodefaults -no-user-config \
    -global virtio-mmio.force-legacy=false \
    -kernel "$dir/vmlinuz" -initrd "$dir/initrd.gz" \
    -append "console=ttyAMA0 board=$mode quiet nohz=off" \
    -device "virtio-gpu-device,xres=$board_width,yres=$board_height" \
    -device virtio-keyboard-device \
    -fsdev "local,id=share,path=$share,security_model=none" \
    -device virtio-9p-device,fsdev=share,mount_tag=share
}
