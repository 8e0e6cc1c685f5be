#!/usr/bin/env bash
# Compares the LBA I/O engine with fio at its best (io_uring with registered
# buffers and files, O_DIRECT; our engine registers both too) on the same
# targets in the same run:
#   - a loop device over a file in /dev/shm (a null_blk device when the
#     module can be loaded), and
#   - a file on the real disk (BENCH_DIR, default /var/tmp).
# Workloads: 4 KiB random read QD 1 and QD 32, 4 KiB random write QD 32,
# 128 KiB sequential read and write QD 32, 4 KiB 70/30 random read/write QD 32.
# Prints IOPS, MiB/s and CPU seconds per million I/Os for both, and the ratio.
#
# A second table compares the write/verify loops (Compare_SeqReadWrite,
# Compare_RandReadWrite with nWrite1Read 1: every write read back at once
# and checked) with fio's write-then-verify (--verify=crc32c, or
# --verify=pattern, --verify_backlog=1 --do_verify=1) on the loop device
# over /dev/shm (null_blk keeps no data). Both move the same bytes: one pass
# over the device for sequential workloads, BENCH_VERIFY_RAND_MB written at
# random. The figure is verified MiB/s: bytes written and then read back and
# found equal, over the run's time. Ours: tamblor-bench --compare (the
# loops' request source and data policy on the engine, without the job
# log), verified bytes over the engine's run time. fio's: its verify read
# bytes (equal to its write bytes when every block was verified; the
# smaller of the two is taken) over its job_runtime. CPU is seconds of the
# process per GiB verified (the loop driver's kernel threads are in neither).
#
#   sudo bench/run.sh [build-dir]        (root: losetup; apt-get install fio)
#   BENCH_SECONDS=10 BENCH_REPEAT=3 BENCH_SIZE_MB=2048 BENCH_DIR=/var/tmp BENCH_ONLY=shm|disk
#   BENCH_VERIFY_RAND_MB=512 BENCH_TABLES=perf|verify (default both)
#
# Each figure is the median of BENCH_REPEAT runs, ours and fio's taken in
# turn, so that a busy machine weighs on both alike.
set -euo pipefail

BUILD=${1:-build}
DRIVER="$BUILD/bench/tamblor-bench"
SECONDS_EACH=${BENCH_SECONDS:-10}
SIZE_MB=${BENCH_SIZE_MB:-2048}
REPEAT=${BENCH_REPEAT:-3}
DIR=${BENCH_DIR:-/var/tmp}
ONLY=${BENCH_ONLY:-}
VERIFY_RAND_MB=${BENCH_VERIFY_RAND_MB:-512}
TABLES=${BENCH_TABLES:-}

[ -x "$DRIVER" ] || { echo "no $DRIVER: build the tamblor-bench target first" >&2; exit 2; }
command -v fio >/dev/null || { echo "fio is missing (apt-get install -y fio)" >&2; exit 2; }
command -v python3 >/dev/null || { echo "python3 is needed to read fio's JSON" >&2; exit 2; }

LOOP=""
SHM_FILE=""
DISK_FILE=""
cleanup() {
    [ -n "$LOOP" ] && losetup -d "$LOOP" 2>/dev/null || true
    [ -n "$SHM_FILE" ] && rm -f "$SHM_FILE"
    [ -n "$DISK_FILE" ] && rm -f "$DISK_FILE"
}
trap cleanup EXIT

# name rw bs qd write% (fio's --rw and our --rw share the names)
WORKLOADS=(
    "randread-4k-qd1 randread 4096 1"
    "randread-4k-qd32 randread 4096 32"
    "randwrite-4k-qd32 randwrite 4096 32"
    "seqread-128k-qd32 read 131072 32"
    "seqwrite-128k-qd32 write 131072 32"
    "mix70-30-4k-qd32 mix 4096 32"
)

fio_run() {  # target rw bs qd -> "iops mibps cpu_per_mio"
    local target=$1 rw=$2 bs=$3 qd=$4 extra=()
    if [ "$rw" = mix ]; then extra=(--rw=randrw --rwmixread=70); else extra=(--rw="$rw"); fi
    fio --name=bench --filename="$target" --ioengine=io_uring --fixedbufs --registerfiles --direct=1 --bs="$bs" --iodepth="$qd" \
        --numjobs=1 --time_based --runtime="$SECONDS_EACH" --norandommap --randrepeat=0 \
        --output-format=json "${extra[@]}" 2>/dev/null |
        python3 -c '
import json, sys
j = json.load(sys.stdin)["jobs"][0]
ios = j["read"]["total_ios"] + j["write"]["total_ios"]
iops = j["read"]["iops"] + j["write"]["iops"]
bw = (j["read"]["bw_bytes"] + j["write"]["bw_bytes"]) / 1048576.0
secs = j["job_runtime"] / 1000.0
cpu = (j["usr_cpu"] + j["sys_cpu"]) / 100.0 * secs
print("%.0f %.1f %.3f" % (iops, bw, cpu / (ios / 1e6) if ios else 0))'
}

ours_run() {  # target rw bs qd -> "iops mibps cpu_per_mio"
    "$DRIVER" --target "$1" --rw "$2" --bs "$3" --qd "$4" --seconds "$SECONDS_EACH" |
        sed -E 's/.* iops=([0-9]+) mbps=([0-9.]+) cpu=[0-9.]+ cpu_per_mio=([0-9.]+).*/\1 \2 \3/'
}

# name compare bs qd fio-verify ours-pattern
VERIFY_WORKLOADS=(
    "seq-128k-qd32 seq 131072 32 crc32c auto"
    "seq-128k-qd1 seq 131072 1 crc32c auto"
    "rand-4k-qd32 rand 4096 32 crc32c auto"
    "rand-4k-qd1 rand 4096 1 crc32c auto"
    "seq-128k-qd32-pattern seq 131072 32 pattern 0x55AA33CC"
    "rand-4k-qd32-pattern rand 4096 32 pattern 0x55AA33CC"
)

verify_bytes_mb() {  # compare -> MB each side writes (and verifies)
    if [ "$1" = seq ]; then echo "$SIZE_MB"; else echo "$VERIFY_RAND_MB"; fi
}

fio_verify_run() {  # target compare bs qd verify -> "verified_mibps cpu_per_gib"
    local target=$1 compare=$2 bs=$3 qd=$4 verify=$5 mb rw extra=()
    mb=$(verify_bytes_mb "$compare")
    if [ "$compare" = seq ]; then rw=write; else rw=randwrite; fi
    if [ "$verify" = pattern ]; then extra=(--verify=pattern --verify_pattern=0x55AA33CC); else extra=(--verify="$verify"); fi
    fio --name=verify --filename="$target" --ioengine=io_uring --fixedbufs --registerfiles --direct=1 --bs="$bs" \
        --iodepth="$qd" --numjobs=1 --rw="$rw" --size="${SIZE_MB}M" --io_size="${mb}M" --randrepeat=0 \
        --verify_backlog=1 --do_verify=1 --verify_state_save=0 --output-format=json "${extra[@]}" 2>/dev/null |
        python3 -c '
import json, sys
j = json.load(sys.stdin)["jobs"][0]
if j["error"]:
    sys.exit("fio verify failed: %d" % j["error"])
verified = min(j["read"]["io_bytes"], j["write"]["io_bytes"])
secs = j["job_runtime"] / 1000.0
gib = verified / 1073741824.0
cpu = (j["usr_cpu"] + j["sys_cpu"]) / 100.0 * secs
print("%.1f %.3f" % (verified / 1048576.0 / secs if secs else 0, cpu / gib if gib else 0))'
}

ours_verify_run() {  # target compare bs qd pattern -> "verified_mibps cpu_per_gib"
    "$DRIVER" --target "$1" --compare "$2" --bs "$3" --qd "$4" --pattern "$5" --limit-mb "$(verify_bytes_mb "$2")" |
        sed -E 's/.* verified_mibps=([0-9.]+) cpu=[0-9.]+ cpu_per_gib=([0-9.]+).*/\1 \2/'
}

median() {  # lines "iops mibps cpu" -> the line of the median IOPS
    sort -n -k1,1 | awk '{ l[NR] = $0 } END { print l[int((NR + 1) / 2)] }'
}

bench_target() {  # label target
    local label=$1 target=$2
    echo
    echo "== $label: $target"
    printf '%-20s | %12s %10s %9s | %12s %10s %9s | %7s %7s\n' workload "ours IOPS" "MiB/s" "cpu/MIO" \
        "fio IOPS" "MiB/s" "cpu/MIO" "IOPS x" "MiB/s x"
    for w in "${WORKLOADS[@]}"; do
        set -- $w
        local name=$1 rw=$2 bs=$3 qd=$4
        local ours=() theirs=()
        for ((k = 0; k < REPEAT; k++)); do
            ours+=("$(ours_run "$target" "$rw" "$bs" "$qd")")
            theirs+=("$(fio_run "$target" "$rw" "$bs" "$qd")")
        done
        read -r oi om oc < <(printf '%s\n' "${ours[@]}" | median)
        read -r fi fm fc < <(printf '%s\n' "${theirs[@]}" | median)
        printf '%-20s | %12s %10s %9s | %12s %10s %9s | %7.2f %7.2f\n' "$name" "$oi" "$om" "$oc" "$fi" "$fm" "$fc" \
            "$(python3 -c "print($oi/$fi if $fi else 0)")" "$(python3 -c "print($om/$fm if $fm else 0)")"
    done
}

verify_table() {  # target
    local target=$1
    echo
    echo "== write/verify loops, loop over /dev/shm: $target (sequential: ${SIZE_MB} MB, random: ${VERIFY_RAND_MB} MB)"
    printf '%-22s | %16s %9s | %16s %9s %7s | %7s\n' workload "ours verif MiB/s" "cpu/GiB" "fio verif MiB/s" \
        "cpu/GiB" "verify" "MiB/s x"
    for w in "${VERIFY_WORKLOADS[@]}"; do
        set -- $w
        local name=$1 compare=$2 bs=$3 qd=$4 verify=$5 pattern=$6
        local ours=() theirs=()
        for ((k = 0; k < REPEAT; k++)); do
            ours+=("$(ours_verify_run "$target" "$compare" "$bs" "$qd" "$pattern")")
            theirs+=("$(fio_verify_run "$target" "$compare" "$bs" "$qd" "$verify")")
        done
        read -r om oc < <(printf '%s\n' "${ours[@]}" | median)
        read -r fm fc < <(printf '%s\n' "${theirs[@]}" | median)
        printf '%-22s | %16s %9s | %16s %9s %7s | %7.2f\n' "$name" "$om" "$oc" "$fm" "$fc" "$verify" \
            "$(python3 -c "print($om/$fm if $fm else 0)")"
    done
}

shm_loop() {  # makes the loop device over /dev/shm once; sets LOOP
    [ -n "$LOOP" ] && return
    SHM_FILE=$(mktemp /dev/shm/tamblor-bench.XXXXXX)
    dd if=/dev/zero of="$SHM_FILE" bs=1M count="$SIZE_MB" status=none
    LOOP=$(losetup --find --show "$SHM_FILE")
}

echo "tamblor engine vs $(fio --version), ${SECONDS_EACH}s each, median of $REPEAT, $(nproc) CPUs, kernel $(uname -r)"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"

if [ "$ONLY" != disk ] && [ "$TABLES" != verify ]; then
    if modprobe null_blk nr_devices=1 gb=4 2>/dev/null && [ -b /dev/nullb0 ]; then
        bench_target "null_blk" /dev/nullb0
    else
        shm_loop
        bench_target "loop over /dev/shm" "$LOOP"
    fi
fi

if [ "$ONLY" != disk ] && [ "$TABLES" != perf ]; then
    shm_loop
    verify_table "$LOOP"
fi

if [ "$ONLY" != shm ] && [ "$TABLES" != verify ]; then
    DISK_FILE=$(mktemp "$DIR/tamblor-bench.XXXXXX")
    # Written for real, so that reads reach the medium rather than holes.
    dd if=/dev/zero of="$DISK_FILE" bs=1M count="$SIZE_MB" oflag=direct status=none
    bench_target "file on $(df --output=source "$DIR" | tail -1)" "$DISK_FILE"
fi

echo
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
