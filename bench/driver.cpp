// Runs one workload of the LBA I/O engine on a block device or file and
// prints its figures on one line:
//   ios=<completed> seconds=<s> iops=<n> mbps=<MB/s> cpu=<s> cpu_per_mio=<s>
//
//   tamblor-bench --target /dev/loop0 --rw randread --bs 4096 --qd 32 --seconds 10
//                 [--range-mb N] [--write-ratio N --random-ratio N] [--ring interrupt|coop|defer]
//                 [--sync] [--threads N]
//
// With --compare seq|rand it runs the write/verify loops' path instead
// (Compare_SeqReadWrite / Compare_RandReadWrite: stamped writes, each read
// back and checked) and prints
//   verified_bytes=<n> written_bytes=<n> seconds=<s> verified_mibps=<MiB/s> cpu=<s> cpu_per_gib=<s>
//
//   tamblor-bench --target /dev/loop0 --compare seq --bs 131072 --qd 32 --limit-mb 2048
//                 [--read-every N] [--pattern auto|VALUE] [--seconds N]
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/wiring.h"
#include "bench/verify_run.h"
#include "platform/block_storage.h"
#include "workload/engine.h"
#include "workload/pattern.h"

namespace {

double cpu_seconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

int usage() {
    std::fprintf(stderr,
                 "usage: tamblor-bench --target PATH --rw randread|randwrite|read|write|mix [--bs BYTES] [--qd N]\n"
                 "       [--seconds N] [--range-mb N] [--write-ratio N] [--random-ratio N]\n"
                 "       [--ring interrupt|coop|defer] [--sync] [--threads N]\n"
                 "       tamblor-bench --target PATH --compare seq|rand [--bs BYTES] [--qd N] [--limit-mb N]\n"
                 "       [--seconds N] [--read-every N] [--pattern auto|VALUE] [--threads N]\n");
    return 2;
}

}  // namespace

// The write/verify loop's figures: bytes written, read back and found equal
// over the engine's run time.
int report_verify(const tb::VerifyRunFigures& f, double cpu) {
    if (f.rc != 1) {
        std::fprintf(stderr, "engine ended with %d\n", f.rc);
        return 1;
    }
    const double mib = static_cast<double>(f.verified_bytes) / 1048576.0;
    std::printf("verified_bytes=%llu written_bytes=%llu seconds=%.3f verified_mibps=%.1f cpu=%.3f cpu_per_gib=%.3f "
                "requests=%llu\n",
                static_cast<unsigned long long>(f.verified_bytes), static_cast<unsigned long long>(f.written_bytes),
                f.seconds, f.seconds > 0 ? mib / f.seconds : 0.0, cpu, mib > 0 ? cpu / (mib / 1024.0) : 0.0,
                static_cast<unsigned long long>(f.completed_requests));
    return 0;
}

int main(int argc, char** argv) {
    std::string target, rw = "randread", ring = "defer", compare, pattern = "auto";
    uint32_t read_every = 1;
    uint64_t limit_mb = 0;
    bool seconds_given = false;
    uint32_t bs = 4096, qd = 32, seconds = 10, threads = 0;
    uint64_t range_mb = 0;
    int write_ratio = -1, random_ratio = -1;
    bool sync = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : ""; };
        if (a == "--target") target = next();
        else if (a == "--rw") rw = next();
        else if (a == "--bs") bs = static_cast<uint32_t>(std::strtoul(next(), nullptr, 0));
        else if (a == "--qd") qd = static_cast<uint32_t>(std::strtoul(next(), nullptr, 0));
        else if (a == "--seconds") {
            seconds = static_cast<uint32_t>(std::strtoul(next(), nullptr, 0));
            seconds_given = true;
        }
        else if (a == "--compare") compare = next();
        else if (a == "--read-every") read_every = static_cast<uint32_t>(std::strtoul(next(), nullptr, 0));
        else if (a == "--limit-mb") limit_mb = std::strtoull(next(), nullptr, 0);
        else if (a == "--pattern") pattern = next();
        else if (a == "--range-mb") range_mb = std::strtoull(next(), nullptr, 0);
        else if (a == "--write-ratio") write_ratio = std::atoi(next());
        else if (a == "--random-ratio") random_ratio = std::atoi(next());
        else if (a == "--ring") ring = next();
        else if (a == "--threads") threads = static_cast<uint32_t>(std::strtoul(next(), nullptr, 0));
        else if (a == "--sync") sync = true;
        else return usage();
    }
    if (target.empty() || bs == 0 || qd == 0) return usage();

    tb::install_storage(true);
    tb::BlockStorage& storage = tb::block_storage();
    storage.set_completion_mode(ring == "interrupt" ? tb::CompletionMode::Interrupt
                                : ring == "coop"    ? tb::CompletionMode::Cooperative
                                                    : tb::CompletionMode::Deferred);
    tb::PathOptions options;
    options.async_queues = !sync;
    options.allow_buffered_fallback = false;
    std::string error;
    auto probe = storage.open_path(target, options, &error);
    if (!probe) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    uint64_t size = probe->size_bytes();
    uint32_t sector = probe->sector_size();
    if (range_mb == 0 || range_mb > (size >> 20)) range_mb = size >> 20;

    if (!compare.empty()) {
        if (compare != "seq" && compare != "rand") return usage();
        tb::VerifyRunSettings v;
        v.random = compare == "rand";
        v.sector_size = sector;
        v.range_mb = range_mb;
        v.request_size = bs;
        v.queue_depth = qd;
        v.pattern = pattern == "auto" ? tb::kPatternAuto : static_cast<uint32_t>(std::strtoul(pattern.c_str(), nullptr, 0));
        v.read_every = read_every;
        v.limit_mb = limit_mb;
        v.limit_sec = seconds_given || limit_mb == 0 ? seconds : 0;
        v.processors = threads;
        double cpu0 = cpu_seconds();
        tb::VerifyRunFigures f = tb::run_verify_loop(v, [&]() { return std::move(probe); });
        return report_verify(f, cpu_seconds() - cpu0);
    }

    tb::PerfParams p;
    p.cancel = nullptr;
    static std::atomic<bool> never{false};
    p.cancel = &never;
    p.open = [&]() { return std::move(probe); };
    p.sector_size = sector;
    p.write_ratio = rw == "randwrite" || rw == "write" ? 100 : rw == "mix" ? 30 : 0;
    p.random_ratio = rw == "randread" || rw == "randwrite" || rw == "mix" ? 100 : 0;
    if (write_ratio >= 0) p.write_ratio = static_cast<uint32_t>(write_ratio);
    if (random_ratio >= 0) p.random_ratio = static_cast<uint32_t>(random_ratio);
    p.range_mb = range_mb;
    p.request_size = bs;
    p.queue_depth = qd;
    p.pattern = 0x55AA33CC;
    p.limit_sec = seconds;
    p.rate = 10;
    p.processors = threads;

    tb::WorkloadResult result;
    double cpu0 = cpu_seconds();
    int rc = tb::run_performance(p, result);
    double cpu = cpu_seconds() - cpu0;
    if (rc != 1) {
        std::fprintf(stderr, "engine ended with %d\n", rc);
        return 1;
    }
    // The run's figures: every completed request over the time the workers
    // ran (the first 500 ms of a cycle included, as the engine counts them).
    double secs = static_cast<double>(result.elapsed_ms) / 1000.0;
    double ios = static_cast<double>(result.completed_requests);
    double iops = secs > 0 ? ios / secs : 0;
    double mbps = iops * bs / 1048576.0;  // MiB/s, as fio reports bandwidth
    std::printf("ios=%.0f seconds=%.3f iops=%.0f mbps=%.1f cpu=%.3f cpu_per_mio=%.3f cycles=%u\n", ios, secs, iops,
                mbps, cpu, ios > 0 ? cpu / (ios / 1e6) : 0.0, result.cycles);
    return 0;
}
