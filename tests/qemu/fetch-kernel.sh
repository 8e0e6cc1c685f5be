#!/usr/bin/env bash
# Puts a distribution kernel and the storage modules the VM test loads into a
# cache folder, without installing the kernel:
#   CACHE/vmlinuz        the kernel image
#   CACHE/modules/*.ko   the modules, uncompressed
#   CACHE/modules.load   their names in load order (dependencies first)
#   CACHE/release        the kernel release
#   CACHE/wanted         the modules asked for (a cache made for fewer is fetched again)
# usage: fetch-kernel.sh [CACHE]   (default $TAMBLOR_QEMU_CACHE or ~/.cache/tamblor-qemu)
# Needs apt-get (with package lists), dpkg-deb, modinfo (kmod), xz and zstd
# for compressed modules.
# Several tests may ask at once: one fetches under the lock, the others wait
# and then find the cache filled.
set -euo pipefail
cache=${1:-${TAMBLOR_QEMU_CACHE:-$HOME/.cache/tamblor-qemu}}

# The drivers under test, the crypto providers their checksums want, and the
# file system that keeps the power-cut test's map across the cut.
wanted=(crct10dif_generic crc64_rocksoft_generic nvme ahci sd_mod sg xhci_pci usb_storage uas crc32c_generic ext4)

complete() {
  [ -s "$cache/vmlinuz" ] && [ -s "$cache/modules.load" ] && [ "$(cat "$cache/wanted" 2>/dev/null)" = "${wanted[*]}" ]
}
if complete; then echo "$cache"; exit 0; fi
mkdir -p "$(dirname "$cache")"
exec 9>"$cache.lock"
flock 9
if complete; then echo "$cache"; exit 0; fi

command -v modinfo >/dev/null || { echo "fetch-kernel: modinfo (kmod) is needed for the module order" >&2; exit 1; }
work=$(mktemp -d)
staging=$(mktemp -d "$cache.tmp.XXXXXX")
trap 'rm -rf "$work" "$staging"' EXIT
chmod 755 "$work" "$staging"
pkg=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/{print $2; exit}')
[ -n "$pkg" ] || { echo "fetch-kernel: no linux-image-amd64 in the package lists" >&2; exit 1; }
(cd "$work" && apt-get download -q "$pkg" >/dev/null 2>&1) || { echo "fetch-kernel: cannot download $pkg" >&2; exit 1; }
dpkg-deb -x "$work"/*.deb "$work/x"
release=$(ls "$work/x/lib/modules" | head -1)
tree=$work/x/lib/modules/$release

mkdir -p "$staging/modules"
cp "$work"/x/boot/vmlinuz-"$release" "$staging/vmlinuz"
echo "$release" > "$staging/release"

declare -A file_of seen
while IFS= read -r f; do
  n=$(basename "$f"); n=${n%%.ko*}; file_of[${n//-/_}]=$f
done < <(find "$tree/kernel" -name '*.ko*')

order=()
visit() {
  local n=${1//-/_}
  [ -n "${seen[$n]:-}" ] && return 0
  seen[$n]=1
  local f=${file_of[$n]:-}
  if [ -z "$f" ]; then
    grep -qE "/${n//_/[-_]}\.ko$" "$tree/modules.builtin" 2>/dev/null && return 0
    echo "fetch-kernel: module $n is neither a module nor built in" >&2; return 1
  fi
  local out=$staging/modules/$n.ko
  case "$f" in
    *.ko.xz) xz -dc "$f" > "$out" ;;
    *.ko.zst) zstd -qdc "$f" > "$out" ;;
    *.ko.gz) gzip -dc "$f" > "$out" ;;
    *) cp "$f" "$out" ;;
  esac
  local deps d
  deps=$(modinfo -F depends "$out" 2>/dev/null || true)
  for d in ${deps//,/ }; do visit "$d"; done
  order+=("$n")
}
for m in "${wanted[@]}"; do visit "$m"; done
printf '%s\n' "${order[@]}" > "$staging/modules.load"
echo "${wanted[*]}" > "$staging/wanted"
rm -rf "$cache"
mv "$staging" "$cache"
echo "$cache"
