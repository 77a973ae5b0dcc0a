# The emulated ARM board of scripts/board and scripts/board-test. Sourced.
#
# QEMU's `virt` machine with Debian's armmp kernel, a virtio GPU whose DRM driver gives
# /dev/fb0 through its framebuffer emulation, a virtio keyboard, a shared folder (9p), and
# the USB gadget serial port on the kernel's dummy host controller: /dev/ttyGS0 is the
# terminal's port 11, /dev/ttyACM0 the PC's side of the same link. The kernel and the
# initramfs come from the armhf sysroot (scripts/sysroot) and the project's armhf battest;
# the initramfs is made under the build tree.

board_repo=$(cd -P "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$board_repo/scripts/debian-packages.sh"

# The screen of the board: twice the program's 320 x 240.
board_width=640 board_height=480

# board_sysroot: the armhf sysroot the board is made of (BOARD_SYSROOT, as the ARM
# build that registers the board's test names it, or scripts/sysroot's).
board_sysroot() {
  if [ -n "${BOARD_SYSROOT:-}" ]; then echo "$BOARD_SYSROOT"; else "$board_repo/scripts/sysroot"; fi
}

# board_kernel SYSROOT: the newest armmp kernel in the sysroot, by version.
board_kernel() {
  local k
  k=$(ls -d "$1"/boot/vmlinuz-*-armmp 2>/dev/null | sort -V | tail -n 1)
  [ -n "$k" ] || return 1
  echo "${k##*/vmlinuz-}"
}

# board_missing: names the Debian packages the board needs that this machine lacks, in
# one line; status 1 then.
board_missing() {
  local missing
  missing=$(missing_debian_packages "${board_packages[@]}" | tr '\n' ' ')
  [ -n "$missing" ] || return 0
  echo "${missing% }"
  return 1
}

# board_libraries SYSROOT ROOT FILE...: copies into ROOT/lib the armhf libraries of the
# sysroot that the programs FILE... need, and theirs, with the loader.
board_libraries() {
  local sysroot=$1 root=$2 name path dir found; shift 2
  local -a queue=("$@")
  local -A seen=()
  mkdir -p "$root/lib"
  cp -L "$sysroot/lib/ld-linux-armhf.so.3" "$root/lib/"
  while [ ${#queue[@]} -gt 0 ]; do
    path=${queue[0]}; queue=("${queue[@]:1}")
    for name in $(readelf -d "$path" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
      [ -z "${seen[$name]:-}" ] || continue
      seen[$name]=1
      found=
      for dir in "$sysroot/lib/arm-linux-gnueabihf" "$sysroot/usr/lib/arm-linux-gnueabihf"; do
        [ -e "$dir/$name" ] && found=$dir/$name && break
      done
      [ -n "$found" ] || { echo "board: no armhf $name for $path in $sysroot" >&2; return 1; }
      cp -L "$found" "$root/lib/$name"
      queue+=("$found")
    done
  done
}

# board_modules SYSROOT ROOT VERSION MODULE...: copies the kernel modules and those they
# depend on from the sysroot into ROOT/modules, with the order to load them in
# (dependencies first). A module's dependencies are those its .modinfo names (what
# depmod would write into modules.dep, which the kernel's package leaves to depmod).
board_modules() {
  local sysroot=$1 root=$2 version=$3; shift 3
  local file name
  local -A path=() done_=()
  # Module names, as in .modinfo, have _ where file names may have -.
  while IFS= read -r -d '' file; do
    name=${file##*/}; name=${name%%.ko*}
    path[${name//-/_}]=$file
  done < <(find "$sysroot/lib/modules/$version" -name '*.ko*' -print0)
  mkdir -p "$root/modules"
  : >"$root/modules/order"
  add_module() {
    local name=${1//-/_} dep file=${path[${1//-/_}]:-}
    [ -n "$file" ] || { echo "board: no module $1 in $sysroot/lib/modules/$version" >&2; return 1; }
    [ -z "${done_[$name]:-}" ] || return 0
    done_[$name]=1
    for dep in $(readelf -p .modinfo "$file" | sed -n 's/.*\]  depends=//p' | tr ',' ' '); do
      add_module "$dep" || return 1
    done
    cp "$file" "$root/modules/"
    echo "${file##*/}" >>"$root/modules/order"
  }
  local m
  for m in "$@"; do add_module "$m" || return 1; done
}

# board_build BATTEST DIR: makes DIR/initrd.gz and DIR/vmlinuz for the armhf program
# BATTEST, of the sysroot's kernel, modules, busybox, lrzsz and libraries.
board_build() {
  local battest=$1 dir=$2 sysroot version
  sysroot=$(board_sysroot) || return 1
  version=$(board_kernel "$sysroot") || { echo "board: no armmp kernel in $sysroot/boot" >&2; return 1; }
  local root=$dir/initrd
  rm -rf "$root" && mkdir -p "$root"/{bin,usr/bin,proc,sys,dev,tmp,run}
  cp "$sysroot/bin/busybox" "$root/bin/"
  cp "$sysroot/usr/bin/rb" "$sysroot/usr/bin/sb" "$root/usr/bin/"
  ln -s sb "$root/usr/bin/sz"
  cp "$battest" "$root/usr/bin/battest"
  cp "$board_repo/scripts/board-init" "$root/init"
  chmod 755 "$root/init"
  board_libraries "$sysroot" "$root" "$battest" "$root/usr/bin/rb" "$root/usr/bin/sb" || return 1
  # Framebuffer (virtio GPU), keyboard and its events, the shared folder, and the gadget:
  # its serial function over the dummy controller, and the PC's ACM driver.
  board_modules "$sysroot" "$root" "$version" virtio_mmio virtio-gpu virtio_input evdev \
    9pnet_virtio 9p dummy_hcd u_serial usb_f_acm g_serial cdc-acm || return 1
  (cd "$root" && find . | cpio -o -H newc --quiet) | gzip -1 >"$dir/initrd.gz"
  cp "$sysroot/boot/vmlinuz-$version" "$dir/vmlinuz"
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
