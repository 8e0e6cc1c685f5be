# Sourced by the QEMU test runners: the initramfs root of the test VM.
#   vm_root_begin ROOT CACHE    folders, busybox with its applets, the storage modules
#   copy_with_libs PROGRAM NAME a program into ROOT/bin with the shared libraries it needs
#   vm_root_pack ROOT OUT       the gzip'd newc archive

copy_with_libs() {
  cp "$1" "$vm_root/bin/$2"
  # The VM unpacks its root into memory: the programs go without their
  # debugging sections, which are most of a RelWithDebInfo build's size.
  strip --strip-debug "$vm_root/bin/$2" 2>/dev/null || true
  local lib
  for lib in $(ldd "$1" 2>/dev/null | grep -o '/[^ ]*'); do
    [ -e "$vm_root$lib" ] && continue
    mkdir -p "$vm_root$(dirname "$lib")"
    cp -L "$lib" "$vm_root$lib"
  done
}

vm_root_begin() {
  vm_root=$1
  local cache=$2 applet m
  mkdir -p "$vm_root"/{bin,sbin,usr/bin,usr/sbin,proc,sys,dev,etc,tmp,work,lib/modules}
  copy_with_libs "$(command -v busybox)" busybox
  for applet in $(busybox --list); do
    [ -e "$vm_root/bin/$applet" ] || ln -s busybox "$vm_root/bin/$applet"
  done
  while read -r m; do cp "$cache/modules/$m.ko" "$vm_root/lib/modules/"; done < "$cache/modules.load"
  cp "$cache/modules.load" "$vm_root/etc/modules.load"
}

vm_root_pack() {
  (cd "$1" && find . | cpio -o -H newc --quiet) | gzip -1 > "$2"
}
