# Sourced by the QEMU test runners, after cannot_run.sh: what every runner
# checks before it boots, and the QEMU command line they share.
#   vm_preflight [TOOL...]   skips (fails under CI) without QEMU, busybox, cpio,
#                            gzip, the extra tools or a kernel; sets vm_cache
#   vm_require_module NAME   skips (fails under CI) when the kernel cache lacks a module
#   vm_qemu_command INITRD   sets the array vm_qemu: QEMU with the cached kernel,
#                            INITRD and the options of every run; the caller
#                            appends its devices and runs it
# Environment:
#   TAMBLOR_QEMU_CACHE   kernel cache made by fetch-kernel.sh (default ~/.cache/tamblor-qemu)
#   TAMBLOR_QEMU_FETCH=1 run fetch-kernel.sh when the cache is empty
#   TAMBLOR_QEMU_ACCEL   QEMU accelerator (default tcg; kvm where it works)
vm_boot_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

vm_preflight() {
  local tool
  for tool in qemu-system-x86_64 busybox cpio gzip "$@"; do
    command -v "$tool" >/dev/null || cannot_run "$tool not installed"
  done
  vm_cache=${TAMBLOR_QEMU_CACHE:-$HOME/.cache/tamblor-qemu}
  if [ ! -s "$vm_cache/vmlinuz" ] && [ "${TAMBLOR_QEMU_FETCH:-0}" = 1 ]; then
    "$vm_boot_here/fetch-kernel.sh" "$vm_cache" >/dev/null || cannot_run "cannot fetch a kernel into $vm_cache"
  fi
  [ -s "$vm_cache/vmlinuz" ] && [ -s "$vm_cache/modules.load" ] ||
    cannot_run "no kernel in $vm_cache (run fetch-kernel.sh)"
}

vm_require_module() {
  grep -qx "$1" "$vm_cache/modules.load" || cannot_run "the kernel cache $vm_cache has no $1 module (run fetch-kernel.sh)"
}

vm_qemu_command() {
  # Software emulation unless asked otherwise: nested KVM is not always sound.
  vm_qemu=(qemu-system-x86_64 -accel "${TAMBLOR_QEMU_ACCEL:-tcg}" -m 512 -smp 1 -nographic -no-reboot
           -kernel "$vm_cache/vmlinuz" -initrd "$1" -append 'console=ttyS0 quiet panic=-1')
}
